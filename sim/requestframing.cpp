#include "sim/requestframing.h"

#include <array>
#include <span>
#include <string_view>

#include "hart/frames.h"
#include "hart/framestart.h"
#include "modbus/crc16.h"

namespace {

std::string_view Text(const Bytes& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// "QQQ#key#", "QQS#key:fields#", "JXKORV#...#", "QQKORV#...#": complete at
// the first '#' after the prefix. Payload frames end in raw bytes, without one.
constexpr std::array<std::string_view, 4> kConfigPrefixes{"QQQ#", "QQS#", "JXKORV#", "QQKORV#"};

// One starts the other: a configuration frame so far.
bool Begins(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix.substr(0, text.size());
}

bool LooksLikeConfigFrame(const Bytes& bytes) {
    for (const std::string_view prefix : kConfigPrefixes) {
        if (Begins(Text(bytes), prefix)) return true;
    }
    return false;
}

std::optional<size_t> ConfigFrameLength(const Bytes& bytes) {
    static constexpr std::array<std::string_view, 4> kPayloads{"QQS#CAMD01:", "QQS#CAMD02:",
                                                               "QQS#WCAD01:", "QQS#WCAD02:"};
    const std::string_view text = Text(bytes);
    for (const std::string_view payload : kPayloads) {
        if (Begins(text, payload)) return std::nullopt;
    }
    for (const std::string_view prefix : kConfigPrefixes) {
        if (text.substr(0, prefix.size()) != prefix) continue;
        const size_t end = text.find('#', prefix.size());
        if (end == std::string_view::npos) return std::nullopt;
        return end + 1;
    }
    return std::nullopt;
}

// Preambles, delimiter 0x02 or 0x82 (short or long address), address,
// expansion bytes as the delimiter counts them, command, byte count, data,
// checksum over delimiter to data.
std::optional<size_t> HartFrameLength(const Bytes& bytes) {
    const auto start = FindHartFrameStart(bytes);
    if (!start || start->LeadingBytes() != 0) return std::nullopt;
    const size_t at = start->delimiterAt;
    const uint8_t delimiter = bytes[at];
    if ((delimiter & 0x07) != 0x02) return std::nullopt;  // not a master-to-slave frame
    const size_t address = (delimiter & 0x80) ? 5 : 1;
    const size_t expansion = (delimiter >> 5) & 0x03;
    const size_t countAt = at + 1 + address + expansion + 1;
    if (bytes.size() <= countAt) return std::nullopt;
    const size_t length = countAt + 1 + bytes[countAt] + 1;
    if (bytes.size() < length) return std::nullopt;
    const std::span<const uint8_t> body(bytes.data() + at, length - 1 - at);
    if (HartChecksum(body) != bytes[length - 1]) return std::nullopt;
    return length;
}

// The request length of the common functions: fixed, or given by a byte count.
std::optional<size_t> ModbusFrameLength(const Bytes& bytes) {
    if (bytes.size() < 2) return std::nullopt;
    size_t length = 0;
    switch (bytes[1]) {
        case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
            length = 8;
            break;
        case 0x07: case 0x0B: case 0x0C: case 0x11:
            length = 4;
            break;
        case 0x16:
            length = 10;
            break;
        case 0x0F: case 0x10:
            if (bytes.size() < 7) return std::nullopt;
            length = 9 + bytes[6];
            break;
        case 0x17:
            if (bytes.size() < 11) return std::nullopt;
            length = 13 + bytes[10];
            break;
        default:
            return std::nullopt;
    }
    if (bytes.size() < length) return std::nullopt;
    const auto crc = ModbusCrc16(std::span<const uint8_t>(bytes.data(), length - 2));
    if (crc[0] != bytes[length - 2] || crc[1] != bytes[length - 1]) return std::nullopt;
    return length;
}

}  // namespace

std::optional<size_t> CompleteRequestLength(const Bytes& bytes) {
    if (bytes.empty()) return std::nullopt;
    // 'Q' and 'J' are slave addresses too: a MODBUS request parts ways by its second byte.
    if (LooksLikeConfigFrame(bytes)) return ConfigFrameLength(bytes);
    if (bytes[0] == kHartPreambleByte) return HartFrameLength(bytes);
    return ModbusFrameLength(bytes);
}
