#include "hart/replies.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "hart/framestart.h"
#include "hart/status.h"
#include "hart/units.h"
#include "modbus/floattext.h"
#include "modbus/ieee754.h"

namespace {

// Offsets from the start marker (the 0xFF before the delimiter).
constexpr size_t kManufacturerAt = 8;
constexpr size_t kDeviceTypeAt = 9;
constexpr size_t kPreamblesAt = 10;
constexpr size_t kUniversalRevisionAt = 11;
constexpr size_t kDeviceRevisionAt = 12;
constexpr size_t kDeviceIdAt = 16;
// Command 0 (a short frame): the byte count and the first data byte.
constexpr size_t kShortCountAt = 4;
constexpr size_t kShortDataAt = 7;
// Data bytes of the command 0 fields revisions 6 and 7 added.
constexpr size_t kReplyPreamblesByte = 12;
constexpr size_t kDeviceVariablesByte = 13;
constexpr size_t kChangeCounterByte = 14;
constexpr size_t kExtendedStatusByte = 16;
constexpr size_t kManufacturerCodeByte = 17;
constexpr size_t kDistributorByte = 19;
constexpr size_t kProfileByte = 21;
constexpr size_t kByteCountAt = 8;
constexpr size_t kResponseCodeAt = 9;
constexpr size_t kLoopCurrentOnly = 6;  // byte count: status, loop current
constexpr size_t kFirstVariableAt = 15;  // unit code, then four float bytes
constexpr size_t kVariableSize = 5;
constexpr size_t kValueTextLength = 9;
constexpr size_t kLoopCurrentAt = 11;
// The marker is searched for only where five bytes from it fit in the reply.
constexpr size_t kShortestFrom = 5;

// Instruments send 7F A0 00 00 for "not available"; the first byte alone
// marks it.
bool NotAvailable(std::span<const uint8_t, 4> bytes) { return bytes[0] == 0x7F; }

// The start marker of a reply with `delimiter`: the first candidate that makes
// a whole frame, else the first candidate at all, read at its fixed offsets
// as it always was.
std::optional<size_t> ReplyStart(std::span<const uint8_t> reply, uint8_t delimiter) {
    if (const auto whole = FindWholeHartFrame(reply, delimiter))
        return whole->delimiterAt - 1;
    return FindHartStart(reply, delimiter);
}

uint16_t Word(std::span<const uint8_t> data, size_t at) {
    return static_cast<uint16_t>(data[at] << 8 | data[at + 1]);
}

}  // namespace

float HartFloat(std::span<const uint8_t, 4> bytes) {
    if (NotAvailable(bytes)) return std::numeric_limits<float>::quiet_NaN();
    return SingleFromBigEndian(bytes);
}

bool HartNotAvailable(float value) { return std::isnan(value); }

std::string HartNumberText(float value) {
    if (HartNotAvailable(value)) return kHartNotAvailableText;
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
    return text;
}

std::optional<size_t> FindHartStart(std::span<const uint8_t> reply, uint8_t delimiter) {
    // A run of preambles followed by another delimiter is noise, or a frame
    // this reply is not; the search goes on after it.
    for (auto start = FindHartFrameStart(reply); start;
         start = FindHartFrameStart(reply, start->delimiterAt)) {
        if (reply[start->delimiterAt] != delimiter) continue;
        const size_t marker = start->delimiterAt - 1;
        if (marker + kShortestFrom > reply.size()) return std::nullopt;
        return marker;
    }
    return std::nullopt;
}

uint32_t HartDeviceReply::DeviceNumber() const {
    return identity.deviceId[0] * 65536u + identity.deviceId[1] * 256u + identity.deviceId[2];
}

std::optional<HartDeviceReply> ParseHartCommand0Reply(std::span<const uint8_t> reply) {
    const auto p = ReplyStart(reply, kShortReplyDelimiter);
    if (!p || *p + kDeviceIdAt + 2 >= reply.size()) return std::nullopt;
    const auto at = reply.subspan(*p);
    HartDeviceReply device;
    device.identity.manufacturer = at[kManufacturerAt];
    device.identity.deviceType = at[kDeviceTypeAt];
    device.preambles = at[kPreamblesAt];
    device.identity.preambles = device.preambles;
    device.universalRevision = at[kUniversalRevisionAt];
    device.deviceRevision = at[kDeviceRevisionAt];
    device.identity.deviceId = {at[kDeviceIdAt], at[kDeviceIdAt + 1], at[kDeviceIdAt + 2]};
    device.manufacturerCode = at[kManufacturerAt];
    device.expandedDeviceType = at[kDeviceTypeAt];
    if (device.universalRevision < 6) return device;

    // The data bytes both the byte count and the reply hold.
    const size_t counted = at[kShortCountAt] > 2 ? at[kShortCountAt] - 2u : 0u;
    const auto data = at.subspan(kShortDataAt, std::min(counted, at.size() - kShortDataAt));
    const auto has = [&data](size_t byte, size_t size) { return byte + size <= data.size(); };
    if (device.universalRevision >= 7) {
        if (!has(kManufacturerCodeByte, 2)) return std::nullopt;
        device.manufacturerCode = Word(data, kManufacturerCodeByte);
        device.expandedDeviceType = Word(data, 1);
        if (has(kDistributorByte, 2)) device.distributorCode = Word(data, kDistributorByte);
        if (has(kProfileByte, 1)) device.deviceProfile = data[kProfileByte];
    }
    if (has(kReplyPreamblesByte, 1)) device.replyPreambles = data[kReplyPreamblesByte];
    if (has(kDeviceVariablesByte, 1)) device.deviceVariables = data[kDeviceVariablesByte];
    if (has(kChangeCounterByte, 2)) device.configChangeCounter = Word(data, kChangeCounterByte);
    if (has(kExtendedStatusByte, 1)) device.extendedStatus = data[kExtendedStatusByte];
    return device;
}

std::string HartIdentityText(const HartDeviceReply& device) {
    char text[96];
    std::snprintf(text, sizeof text, "manufacturer 0x%04X, device type 0x%0*X, id %u, HART %u",
                  unsigned{device.manufacturerCode}, device.universalRevision >= 7 ? 4 : 2,
                  unsigned{device.expandedDeviceType}, unsigned{device.DeviceNumber()},
                  unsigned{device.universalRevision});
    return text;
}

int HartVariableCount(uint8_t byteCount) {
    // A reply with n variables has the byte count 6 + 5n.
    if (byteCount <= kLoopCurrentOnly) return 0;
    return std::min(4, (byteCount - static_cast<int>(kLoopCurrentOnly) + 4) / 5);
}

std::string HartValueText(std::span<const uint8_t, 4> bytes, char decimalSeparator) {
    if (NotAvailable(bytes)) return "00000000";
    return FormatGeneralInField(SingleFromBigEndian(bytes), kValueTextLength, kHartPlainFrom,
                                decimalSeparator);
}

std::optional<HartDynamicValues> ParseHartCommand3Values(std::span<const uint8_t> reply) {
    const auto p = ReplyStart(reply, kLongReplyDelimiter);
    // The loop current ends where the first variable begins.
    if (!p || *p + kFirstVariableAt > reply.size()) return std::nullopt;
    const auto at = reply.subspan(*p);
    // A shorter byte count holds no loop current: its bytes would be another
    // frame's, or none.
    if (at[kByteCountAt] < kLoopCurrentOnly) return std::nullopt;
    const uint8_t code = at[kResponseCodeAt];
    if (code != 0 && HartResponseCodeClass(code, 3) != HartResponseClass::Warning)
        return std::nullopt;
    const size_t count = static_cast<size_t>(HartVariableCount(at[kByteCountAt]));
    if (kFirstVariableAt + count * kVariableSize > at.size()) return std::nullopt;

    HartDynamicValues values;
    values.responseCode = code;
    values.loopCurrent = HartFloat(at.subspan<kLoopCurrentAt, 4>());
    for (size_t i = 0; i < count; ++i) {
        const auto group = at.subspan(kFirstVariableAt + i * kVariableSize, kVariableSize);
        HartDynamicValues::Variable& variable = values.variables.emplace_back();
        std::copy_n(group.begin() + 1, 4, variable.wire.begin());
        variable.value = HartFloat(variable.wire);
        variable.unitCode = group[0];
        variable.unitItem = UnitItemForCode(group[0]);
    }
    return values;
}

std::optional<std::vector<HartVariable>> ParseHartCommand3Reply(std::span<const uint8_t> reply,
                                                                char decimalSeparator) {
    const auto values = ParseHartCommand3Values(reply);
    if (!values) return std::nullopt;
    std::vector<HartVariable> variables;
    for (const HartDynamicValues::Variable& v : values->variables)
        variables.push_back({HartValueText(v.wire, decimalSeparator), v.unitItem});
    return variables;
}
