#include "hart/universal.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "hart/framestart.h"
#include "hart/replies.h"
#include "hart/status.h"
#include "hart/units.h"
#include "modbus/ieee754.h"

namespace {

// From the start marker (the 0xFF before the delimiter) of a long reply.
constexpr size_t kByteCountAt = 8;
constexpr size_t kResponseCodeAt = 9;
constexpr size_t kDataAt = 11;

constexpr size_t kTagBytes = 6;
constexpr size_t kDescriptorBytes = 12;
constexpr size_t kMessageBytes = 24;
constexpr int kYearBase = 1900;

struct Named {
    int value;
    const char* text;
};

template <size_t N>
std::string NameOr(const Named (&table)[N], int value) {
    for (const Named& entry : table)
        if (entry.value == value) return entry.text;
    return std::to_string(value);
}

float FloatAt(std::span<const uint8_t> data, size_t at) {
    return HartFloat(data.subspan(at).first<4>());
}

void PutFloat(HartBytes& out, float value) {
    const auto bytes = SingleToBigEndian(value);
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// The body of a reply to `command` carried out (success or a warning) with at
// least `size` data bytes.
std::optional<HartReplyBody> Carried(std::span<const uint8_t> reply, uint8_t command,
                                     size_t size) {
    auto body = ParseHartReplyBody(reply, command);
    if (!body || !body->CarriedOut() || body->data.size() < size) return std::nullopt;
    return body;
}

std::optional<std::vector<uint8_t>> Data(std::span<const uint8_t> reply, uint8_t command,
                                         size_t size) {
    auto body = Carried(reply, command, size);
    if (!body) return std::nullopt;
    return std::move(body->data);
}

HartWriteData FloatData(float value) {
    HartWriteData out;
    PutFloat(out.data, value);
    return out;
}

bool Packable(char c) { return c >= 0x20 && c <= 0x5F; }

}  // namespace

std::optional<HartBytes> PackAscii(std::string_view text, int characters, std::string* error) {
    const auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    if (static_cast<int>(text.size()) > characters)
        return fail("is " + std::to_string(text.size()) + " characters long; at most " +
                    std::to_string(characters) + " fit");
    std::string padded(text);
    for (char& c : padded) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!Packable(c))
            return fail("holds \"" + std::string(1, c) + "\", which packed ASCII cannot carry");
    }
    padded.resize(static_cast<size_t>(characters), ' ');
    HartBytes out;
    for (size_t i = 0; i + 4 <= padded.size(); i += 4) {
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) group = group << 6 | (padded[i + k] & 0x3F);
        out.push_back(static_cast<uint8_t>(group >> 16));
        out.push_back(static_cast<uint8_t>(group >> 8));
        out.push_back(static_cast<uint8_t>(group));
    }
    return out;
}

std::string UnpackAscii(std::span<const uint8_t> bytes) {
    std::string text;
    for (size_t i = 0; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) {
            const int six = (group >> shift) & 0x3F;
            // Bit 6 of the character is the complement of bit 5.
            text.push_back(static_cast<char>(six < 0x20 ? six | 0x40 : six));
        }
    }
    return text;
}

std::string TrimPacked(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

HartWriteData HartMessageData(std::string_view message) {
    HartWriteData out;
    std::string why;
    if (auto packed = PackAscii(message, kHartMessageChars, &why))
        out.data = std::move(*packed);
    else
        out.error = "The message " + why;
    return out;
}

HartWriteData HartTagData(const HartTagRecord& record) {
    HartWriteData out;
    std::string why;
    const auto tag = PackAscii(record.tag, kHartTagChars, &why);
    if (!tag) return {{}, "The tag " + why};
    const auto descriptor = PackAscii(record.descriptor, kHartDescriptorChars, &why);
    if (!descriptor) return {{}, "The descriptor " + why};
    const HartDate& d = record.date;
    if (d.day < 1 || d.day > 31 || d.month < 1 || d.month > 12 || d.year < kYearBase ||
        d.year > kYearBase + 255)
        return {{}, "The date must be a day 1-31, a month 1-12 and a year 1900-2155"};
    out.data = *tag;
    out.data.insert(out.data.end(), descriptor->begin(), descriptor->end());
    out.data.push_back(static_cast<uint8_t>(d.day));
    out.data.push_back(static_cast<uint8_t>(d.month));
    out.data.push_back(static_cast<uint8_t>(d.year - kYearBase));
    return out;
}

HartWriteData HartRangeData(const HartRange& range) {
    if (!std::isfinite(range.upper) || !std::isfinite(range.lower))
        return {{}, "The range values must be numbers"};
    if (range.upper == range.lower) return {{}, "The upper and lower range values must differ"};
    HartWriteData out;
    out.data.push_back(range.unitCode);
    PutFloat(out.data, range.upper);
    PutFloat(out.data, range.lower);
    return out;
}

HartBytes HartFixedCurrentData(float milliamperes) {
    HartBytes data;
    PutFloat(data, milliamperes);
    return data;
}

HartWriteData HartDampingData(float seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return {{}, "The damping must be a number of seconds, 0 or more"};
    return FloatData(seconds);
}

HartBytes HartPvUnitsData(uint8_t unitCode) { return {unitCode}; }

HartWriteData HartTrimCurrentData(float milliamperes) {
    if (!std::isfinite(milliamperes) || milliamperes <= 0)
        return {{}, "The measured loop current must be a number of milliamperes above 0"};
    return FloatData(milliamperes);
}

HartBytes HartResetConfigChangedData(int revision, uint16_t changeCounter) {
    if (revision < 7) return {};
    return {static_cast<uint8_t>(changeCounter >> 8), static_cast<uint8_t>(changeCounter)};
}

HartBytes HartPollingAddressData(int address, int revision, bool loopCurrentEnabled) {
    HartBytes data{static_cast<uint8_t>(address)};
    if (revision >= 6) data.push_back(loopCurrentEnabled ? 1 : 0);
    return data;
}

bool HartReplyBody::CarriedOut() const {
    return HartResponseCodeClass(responseCode, -1) != HartResponseClass::Error;
}

std::optional<HartReplyBody> ParseHartReplyBody(std::span<const uint8_t> reply, uint8_t command) {
    // Every candidate with a whole frame, until one answers `command`.
    auto start = FindWholeHartFrame(reply, kLongReplyDelimiter);
    while (start && (reply[start->delimiterAt + 6] != command ||
                     reply[start->delimiterAt + 7] < 2))
        start = FindWholeHartFrame(reply, kLongReplyDelimiter, start->delimiterAt);
    if (!start) return std::nullopt;
    const auto at = reply.subspan(start->delimiterAt - 1);
    const size_t count = at[kByteCountAt];
    HartReplyBody body;
    body.responseCode = at[kResponseCodeAt];
    body.deviceStatus = at[kResponseCodeAt + 1];
    body.data.assign(at.begin() + kDataAt, at.begin() + kDataAt + (count - 2));
    return body;
}

std::optional<HartPrimaryVariable> ParseHartCommand1(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartReadPrimaryVariable, 5);
    if (!b) return std::nullopt;
    const auto& d = b->data;
    return HartPrimaryVariable{d[0], UnitItemForCode(d[0]), FloatAt(d, 1), b->responseCode};
}

std::optional<HartLoopReading> ParseHartCommand2(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartReadLoopCurrent, 8);
    if (!b) return std::nullopt;
    return HartLoopReading{FloatAt(b->data, 0), FloatAt(b->data, 4), b->responseCode};
}

std::optional<std::string> ParseHartMessage(std::span<const uint8_t> reply, uint8_t command) {
    const auto d = Data(reply, command, kMessageBytes);
    if (!d) return std::nullopt;
    return TrimPacked(UnpackAscii(std::span(*d).first(kMessageBytes)));
}

std::optional<HartTagRecord> ParseHartTag(std::span<const uint8_t> reply, uint8_t command) {
    const auto d = Data(reply, command, kTagBytes + kDescriptorBytes + 3);
    if (!d) return std::nullopt;
    const std::span<const uint8_t> data(*d);
    HartTagRecord record;
    record.tag = TrimPacked(UnpackAscii(data.first(kTagBytes)));
    record.descriptor = TrimPacked(UnpackAscii(data.subspan(kTagBytes, kDescriptorBytes)));
    const size_t date = kTagBytes + kDescriptorBytes;
    record.date = {data[date], data[date + 1], kYearBase + data[date + 2]};
    return record;
}

std::optional<HartDeviceInfo> ParseHartCommand15(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartReadDeviceInfo, 16);
    if (!b) return std::nullopt;
    const auto* d = &b->data;
    HartDeviceInfo info;
    info.responseCode = b->responseCode;
    info.alarmSelection = (*d)[0];
    info.transferFunction = (*d)[1];
    info.rangeUnitCode = (*d)[2];
    info.rangeUnitItem = UnitItemForCode((*d)[2]);
    info.upper = FloatAt(*d, 3);
    info.lower = FloatAt(*d, 7);
    info.damping = FloatAt(*d, 11);
    info.writeProtect = (*d)[15];
    return info;
}

std::optional<HartRange> ParseHartCommand35(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartWriteRange, 9);
    if (!b) return std::nullopt;
    const auto& d = b->data;
    return HartRange{d[0], FloatAt(d, 1), FloatAt(d, 5), b->responseCode};
}

std::optional<float> ParseHartCommand40(std::span<const uint8_t> reply) {
    const auto echo = ParseHartCommand40Reply(reply);
    if (!echo) return std::nullopt;
    return echo->value;
}

namespace {

std::optional<HartEcho> Echo(std::span<const uint8_t> reply, uint8_t command) {
    const auto b = Carried(reply, command, 4);
    if (!b) return std::nullopt;
    return HartEcho{FloatAt(b->data, 0), b->responseCode};
}

}  // namespace

std::optional<HartEcho> ParseHartCommand40Reply(std::span<const uint8_t> reply) {
    return Echo(reply, kHartFixCurrent);
}

std::optional<HartEcho> ParseHartCommand34(std::span<const uint8_t> reply) {
    return Echo(reply, kHartWriteDamping);
}

std::optional<HartEcho> ParseHartTrimReply(std::span<const uint8_t> reply, uint8_t command) {
    if (command != kHartTrimLoopZero && command != kHartTrimLoopGain) return std::nullopt;
    return Echo(reply, command);
}

std::optional<HartPollingAddress> ParseHartCommand6(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartWritePollingAddress, 1);
    if (!b) return std::nullopt;
    HartPollingAddress out{b->data[0], std::nullopt, b->responseCode};
    if (b->data.size() >= 2) out.loopCurrentMode = b->data[1];
    return out;
}

std::optional<HartConfigChangedReply> ParseHartCommand38(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartResetConfigChanged, 0);
    if (!b) return std::nullopt;
    HartConfigChangedReply out{std::nullopt, b->responseCode};
    if (b->data.size() >= 2) out.changeCounter = static_cast<uint16_t>(b->data[0] << 8 | b->data[1]);
    return out;
}

std::optional<HartUnitsReply> ParseHartCommand44(std::span<const uint8_t> reply) {
    const auto b = Carried(reply, kHartWritePvUnits, 1);
    if (!b) return std::nullopt;
    return HartUnitsReply{b->data[0], UnitItemForCode(b->data[0]), b->responseCode};
}

std::optional<uint8_t> ParseHartCarriedOut(std::span<const uint8_t> reply, uint8_t command) {
    const auto b = Carried(reply, command, 0);
    if (!b) return std::nullopt;
    return b->responseCode;
}

std::optional<std::vector<uint8_t>> ParseHartCommand48(std::span<const uint8_t> reply) {
    auto d = Data(reply, kHartReadMoreStatus, 1);
    if (!d) return std::nullopt;
    if (d->size() > 25) d->resize(25);
    return d;
}

namespace {

constexpr Named kExtendedStatus[] = {
    {0x01, "maintenance required"},   {0x02, "device variable alert"},
    {0x04, "critical power failure"}, {0x08, "failure"},
    {0x10, "outside its limits"},     {0x20, "function check"},
};
constexpr Named kStandardized0[] = {
    {0x01, "simulation active"},
    {0x02, "non-volatile memory defect"},
    {0x04, "volatile memory defect"},
    {0x08, "watchdog reset executed"},
    {0x10, "power supply conditions out of range"},
    {0x20, "environmental conditions out of range"},
    {0x40, "electronic defect"},
    {0x80, "device configuration locked"},
};
constexpr Named kStandardized1[] = {
    {0x01, "status simulation active"},
    {0x02, "discrete variable simulation active"},
    {0x04, "event notification overflow"},
};
constexpr Named kAnalogChannels[] = {
    {0x01, "analog channel 1"}, {0x02, "analog channel 2"}, {0x04, "analog channel 3"},
    {0x08, "analog channel 4"}, {0x10, "analog channel 5"}, {0x20, "analog channel 6"},
    {0x40, "analog channel 7"}, {0x80, "analog channel 8"},
};

std::vector<std::string> Bits(std::span<const Named> table, uint8_t value) {
    std::vector<std::string> names;
    for (const Named& entry : table)
        if (value & entry.value) names.emplace_back(entry.text);
    return names;
}

std::vector<std::string> UnnamedBits(uint8_t value) {
    std::vector<std::string> names;
    for (int bit = 7; bit >= 0; --bit)
        if (value & (1 << bit)) names.push_back("bit " + std::to_string(bit));
    return names;
}

}  // namespace

std::vector<HartStatusByte> HartAdditionalStatus(std::span<const uint8_t> bytes) {
    // The bytes the standard gives a meaning, with their bit names where common.
    struct Known {
        size_t index;
        const char* what;
        std::span<const Named> bits;  // empty: bits by number
    };
    static constexpr Known kKnown[] = {
        {6, "extended device status", kExtendedStatus},
        {7, "device operating mode", {}},
        {8, "standardized status 0", kStandardized0},
        {9, "standardized status 1", kStandardized1},
        {10, "analog channel saturated", kAnalogChannels},
        {11, "standardized status 2", {}},
        {12, "standardized status 3", {}},
        {13, "analog channel fixed", kAnalogChannels},
    };
    std::vector<HartStatusByte> out;
    for (size_t i = 0; i < bytes.size() && i < 25; ++i) {
        HartStatusByte b;
        b.index = static_cast<int>(i);
        b.value = bytes[i];
        const auto known = std::find_if(std::begin(kKnown), std::end(kKnown),
                                        [i](const Known& k) { return k.index == i; });
        const std::span<const Named> names =
            known != std::end(kKnown) ? known->bits : std::span<const Named>();
        b.what = known != std::end(kKnown)
                     ? std::string(known->what)
                     : "device-specific status " + std::to_string(i < 6 ? i : i - 8);
        b.setBits = names.empty() ? UnnamedBits(b.value) : Bits(names, b.value);
        out.push_back(std::move(b));
    }
    return out;
}

std::string HartAlarmSelectionText(uint8_t code) {
    static constexpr Named kAlarm[] = {
        {0, "high"},       {1, "low"},    {239, "hold last output value"},
        {250, "not used"}, {251, "none"}, {252, "unknown"},
        {253, "special"}};
    return NameOr(kAlarm, code);
}

std::string HartTransferFunctionText(uint8_t code) {
    static constexpr Named kTransfer[] = {{0, "linear"},
                                          {1, "square root"},
                                          {2, "square root third power"},
                                          {3, "square root fifth power"},
                                          {4, "special curve"},
                                          {5, "square"},
                                          {6, "square root with cut-off"},
                                          {230, "discrete"},
                                          {250, "not used"},
                                          {251, "none"},
                                          {252, "unknown"},
                                          {253, "special"}};
    return NameOr(kTransfer, code);
}

std::string HartWriteProtectText(uint8_t code) {
    static constexpr Named kProtect[] = {{0, "no"}, {1, "yes"}, {250, "not used"}};
    return NameOr(kProtect, code);
}
