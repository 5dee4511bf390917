#include "hart/framestart.h"

std::optional<HartFrameStart> FindHartFrameStart(std::span<const uint8_t> bytes, size_t from) {
    size_t at = from;
    while (at < bytes.size() && bytes[at] != kHartPreambleByte) ++at;
    const size_t preambleAt = at;
    while (at < bytes.size() && bytes[at] == kHartPreambleByte) ++at;
    if (at == preambleAt || at >= bytes.size()) return std::nullopt;
    return HartFrameStart{preambleAt, at};
}

size_t HartFrameLength(std::span<const uint8_t> bytes, size_t delimiterAt) {
    if (delimiterAt >= bytes.size()) return 0;
    const uint8_t delimiter = bytes[delimiterAt];
    // Frame types: 1 burst, 2 master to slave, 6 slave to master; bit 7 a
    // five-byte address, bits 5-6 the count of expansion bytes.
    const uint8_t type = delimiter & 0x07;
    if ((type != 1 && type != 2 && type != 6) || (delimiter & 0x18)) return 0;
    const size_t head = 1 + ((delimiter & 0x80) ? 5 : 1) + ((delimiter >> 5) & 0x03) + 1;
    const size_t countAt = delimiterAt + head;
    if (countAt >= bytes.size()) return 0;
    const size_t length = head + 1 + bytes[countAt] + 1;
    if (delimiterAt + length > bytes.size()) return 0;
    uint8_t sum = 0;
    for (size_t i = delimiterAt; i + 1 < delimiterAt + length; ++i) sum ^= bytes[i];
    return sum == bytes[delimiterAt + length - 1] ? length : 0;
}

std::optional<HartFrameStart> FindWholeHartFrame(std::span<const uint8_t> bytes, uint8_t delimiter,
                                                 size_t from) {
    for (auto start = FindHartFrameStart(bytes, from); start;
         start = FindHartFrameStart(bytes, start->delimiterAt)) {
        if (bytes[start->delimiterAt] == delimiter && HartFrameLength(bytes, start->delimiterAt))
            return start;
    }
    return std::nullopt;
}
