#include "sim/uart.h"

#include <algorithm>
#include <bit>
#include <vector>

std::optional<int> Rs485BaudIndex(int baud) {
    const auto* found = std::find(kRs485Bauds.begin(), kRs485Bauds.end(), baud);
    if (found == kRs485Bauds.end()) return std::nullopt;
    return static_cast<int>(found - kRs485Bauds.begin());
}

namespace {

// The line level bit by bit at the sender's speed, one idle bit first; the
// line stays idle (1) after the last bit.
std::vector<bool> Waveform(const Bytes& sent, Parity parity) {
    std::vector<bool> bits{true};
    for (const uint8_t byte : sent) {
        bits.push_back(false);
        for (int i = 0; i < 8; ++i) bits.push_back((byte >> i & 1) != 0);
        const bool odd = std::popcount(byte) % 2 != 0;
        if (parity == Parity::Odd) bits.push_back(!odd);
        if (parity == Parity::Even) bits.push_back(odd);
        bits.push_back(true);
    }
    return bits;
}

}  // namespace

Bytes ResampleUart(const Bytes& sent, UartFrame sender, UartFrame receiver) {
    const std::vector<bool> bits = Waveform(sent, sender.parity);
    // Time in ticks of 1 / (2 * senderBaud * receiverBaud) s keeps every bit
    // edge and every mid-bit sampling point an exact integer.
    const int64_t senderBit = 2 * static_cast<int64_t>(receiver.baud);
    const int64_t receiverBit = 2 * static_cast<int64_t>(sender.baud);
    const auto level = [&](int64_t t) {
        const int64_t bit = t / senderBit;
        return bit >= static_cast<int64_t>(bits.size()) || bits[static_cast<size_t>(bit)];
    };
    // The first 1-to-0 edge at or after `t`; edges fall on the sender's bit boundaries.
    const auto nextFallingEdge = [&](int64_t t) -> std::optional<int64_t> {
        for (int64_t bit = std::max<int64_t>(1, (t + senderBit - 1) / senderBit);
             bit < static_cast<int64_t>(bits.size()); ++bit) {
            const auto b = static_cast<size_t>(bit);
            if (bits[b - 1] && !bits[b]) return bit * senderBit;
        }
        return std::nullopt;
    };
    const int frameBits = receiver.parity == Parity::None ? 10 : 11;  // with the stop bit
    const auto middle = [&](int64_t edge, int bit) {
        return edge + bit * receiverBit + receiverBit / 2;
    };

    Bytes received;
    int64_t t = 0;
    while (const auto edge = nextFallingEdge(t)) {
        if (level(middle(*edge, 0))) {  // a glitch, not a start bit
            t = middle(*edge, 0);
            continue;
        }
        uint8_t byte = 0;
        for (int i = 0; i < 8; ++i) {
            if (level(middle(*edge, 1 + i))) byte |= static_cast<uint8_t>(1u << i);
        }
        received.push_back(byte);
        // Hunting starts again where the stop bit was sampled.
        t = middle(*edge, frameBits - 1);
    }
    return received;
}
