#include "hart/replies.h"

#include <algorithm>
#include <limits>

#include "hart/framestart.h"
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
constexpr size_t kByteCountAt = 8;
constexpr size_t kFirstVariableAt = 15;  // unit code, then four float bytes
constexpr size_t kVariableSize = 5;
constexpr size_t kValueTextLength = 9;
constexpr size_t kLoopCurrentAt = 11;
// The marker is searched for only where five bytes from it fit in the reply.
constexpr size_t kShortestFrom = 5;

// Instruments send 7F A0 00 00 for "not available"; the first byte alone
// marks it.
bool NotAvailable(std::span<const uint8_t, 4> bytes) { return bytes[0] == 0x7F; }

float HartValue(std::span<const uint8_t, 4> bytes) {
    if (NotAvailable(bytes)) return std::numeric_limits<float>::quiet_NaN();
    return SingleFromBigEndian(bytes);
}

}  // namespace

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
    const auto p = FindHartStart(reply, kShortReplyDelimiter);
    if (!p || *p + kDeviceIdAt + 2 >= reply.size()) return std::nullopt;
    const auto at = reply.subspan(*p);
    HartDeviceReply device;
    device.identity.manufacturer = at[kManufacturerAt];
    device.identity.deviceType = at[kDeviceTypeAt];
    device.preambles = at[kPreamblesAt];
    device.universalRevision = at[kUniversalRevisionAt];
    device.deviceRevision = at[kDeviceRevisionAt];
    device.identity.deviceId = {at[kDeviceIdAt], at[kDeviceIdAt + 1], at[kDeviceIdAt + 2]};
    return device;
}

int HartVariableCount(uint8_t byteCount) {
    // A reply with n variables has the byte count 6 + 5n.
    int count = 1;
    for (int s = 0; s < byteCount - 11 && count < 4; s += 5) ++count;
    return count;
}

std::string HartValueText(std::span<const uint8_t, 4> bytes, char decimalSeparator) {
    if (NotAvailable(bytes)) return "00000000";
    return FormatGeneralInField(SingleFromBigEndian(bytes), kValueTextLength, kHartPlainFrom,
                                decimalSeparator);
}

std::optional<HartDynamicValues> ParseHartCommand3Values(std::span<const uint8_t> reply) {
    const auto p = FindHartStart(reply, kLongReplyDelimiter);
    // The byte count lies before the first variable, so checking for the
    // first variable covers it too.
    if (!p || *p + kFirstVariableAt + kVariableSize > reply.size()) return std::nullopt;
    const auto at = reply.subspan(*p);
    const size_t count = static_cast<size_t>(HartVariableCount(at[kByteCountAt]));
    if (kFirstVariableAt + count * kVariableSize > at.size()) return std::nullopt;

    HartDynamicValues values;
    values.loopCurrent = HartValue(at.subspan<kLoopCurrentAt, 4>());
    for (size_t i = 0; i < count; ++i) {
        const auto group = at.subspan(kFirstVariableAt + i * kVariableSize, kVariableSize);
        HartDynamicValues::Variable& variable = values.variables.emplace_back();
        std::copy_n(group.begin() + 1, 4, variable.wire.begin());
        variable.value = HartValue(variable.wire);
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
