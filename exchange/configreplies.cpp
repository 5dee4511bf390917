#include "exchange/configreplies.h"

#include <algorithm>
#include <array>
#include <span>

#include "exchange/requestcodes.h"
#include "protocol/strtoint.h"

namespace {

using S = ConfigSetting;

// By ConfigSetting, in its order.
constexpr std::array kSettingNames = {
    "Rs485BaudRate",
    "Rs485Parity",
    "SystemMode",
    "ModbusSlaveAddress",
    "ModbusPollInterval",
    "Rs485ResponseTime",
    "OutputVar2Range4mA",
    "OutputVar2Range20mA",
    "OutputVar3Range4mA",
    "OutputVar3Range20mA",
    "OutputVar4Range4mA",
    "OutputVar4Range20mA",
    "OutputVar1Map",
    "CoefficientVar1Mode",
    "CoefficientVar1",
    "CoefficientVar2",
    "CoefficientVar3",
    "CoefficientVar4",
    "HartEnable",
    "HartMode",
    "HartMeterType",
    "HartPreambles",
    "HartBufferClearTime",
    "ModbusFloatOrder40003",
    "ModbusFloatOrder40005",
    "ModbusFloatOrder40007",
    "ModbusFloatOrder40009",
    "ParsingShown",
    "ParsingAddressBits",
    "ParsingVar1Command",
    "ParsingVar1Start",
    "ParsingVar1Length",
    "ParsingVar2Command",
    "ParsingVar2Start",
    "ParsingVar2Length",
    "ParsingVar3Command",
    "ParsingVar3Start",
    "ParsingVar3Length",
    "ParsingVar4Command",
    "ParsingVar4Start",
    "ParsingVar4Length",
    "ReadCommand1Enable",
    "ReadCommand1Bytes",
    "ReadCommand2Enable",
    "ReadCommand2Bytes",
    "MonitoringCommand1Enable",
    "MonitoringCommand1Bytes",
    "MonitoringCommand2Enable",
    "MonitoringCommand2Bytes",
    "HartMeterId",
};
static_assert(kSettingNames.size() == static_cast<size_t>(S::HartMeterId) + 1);

// Field encodings of the replies: the reverse of the command encodings.
enum class Encoding {
    ItemDigit,       // one character converted as an integer, less `offset`: a list's item
    TwoCharIndex,    // two characters converted together: a list's item
    FlagDigit,       // "1" checks, anything else unchecks
    Text,            // `width` characters copied as they stand
    CountedHexList,  // count digits (tens, units) at `position`, then from position + 3
                     // the count's 3 x NN - 1 characters of hex byte list
};

struct FieldLayout {
    ConfigSetting setting;
    Encoding encoding;
    int position;  // from the key's first character
    int width = 1;
    int offset = 0;
};

struct GroupLayout {
    std::string_view key;  // '?' = position not compared
    std::span<const FieldLayout> fields;
};

using E = Encoding;

// The system parameters reply (kCodeSystemQuery).
constexpr FieldLayout kBa2[] = {{S::Rs485BaudRate, E::ItemDigit, 4},
                                {S::Rs485Parity, E::ItemDigit, 5}};
constexpr FieldLayout kMd[] = {{S::SystemMode, E::ItemDigit, 3}};
constexpr FieldLayout kAdr[] = {{S::ModbusSlaveAddress, E::Text, 4, 3}};
constexpr FieldLayout kJtm[] = {{S::ModbusPollInterval, E::Text, 4, 3}};
constexpr FieldLayout kXy1[] = {{S::Rs485ResponseTime, E::ItemDigit, 4}};
constexpr GroupLayout kSystemGroups[] = {
    {"BA2:", kBa2}, {"MD:", kMd}, {"ADR:", kAdr}, {"JTM:", kJtm}, {"XY1:", kXy1},
};

// The current-output reply (kCodeCurrentOutputQuery). Positions 3 and 9 of
// the DA groups hold separators nobody checks.
constexpr FieldLayout kDa2[] = {{S::OutputVar2Range4mA, E::Text, 4, 5},
                                {S::OutputVar2Range20mA, E::Text, 10, 5}};
constexpr FieldLayout kDa3[] = {{S::OutputVar3Range4mA, E::Text, 4, 5},
                                {S::OutputVar3Range20mA, E::Text, 10, 5}};
constexpr FieldLayout kDa4[] = {{S::OutputVar4Range4mA, E::Text, 4, 5},
                                {S::OutputVar4Range20mA, E::Text, 10, 5}};
constexpr FieldLayout kYsm[] = {{S::OutputVar1Map, E::ItemDigit, 4}};
constexpr GroupLayout kCurrentOutputGroups[] = {
    {"DA2", kDa2}, {"DA3", kDa3}, {"DA4", kDa4}, {"MD:", kMd}, {"YSM", kYsm},
};

// The MODBUS parameters reply (kCodeModbusQuery), always decoded.
constexpr FieldLayout kFmw[] = {{S::CoefficientVar1Mode, E::ItemDigit, 4},
                                {S::CoefficientVar1, E::Text, 6, 5}};
constexpr FieldLayout kFmu[] = {{S::CoefficientVar2, E::Text, 4, 5},
                                {S::CoefficientVar3, E::Text, 10, 5},
                                {S::CoefficientVar4, E::Text, 16, 5}};
constexpr FieldLayout kHart[] = {
    {S::HartEnable, E::ItemDigit, 6},
    {S::HartMode, E::ItemDigit, 8},
    {S::HartMeterType, E::TwoCharIndex, 10, 2},
    {S::HartPreambles, E::ItemDigit, 13, 1, 4},  // items "4".."9"
    {S::HartBufferClearTime, E::Text, 15, 3},
    {S::ModbusFloatOrder40003, E::ItemDigit, 19},
    {S::ModbusFloatOrder40005, E::ItemDigit, 20},
    {S::ModbusFloatOrder40007, E::ItemDigit, 21},
    {S::ModbusFloatOrder40009, E::ItemDigit, 22},
};
constexpr GroupLayout kModbusGroups[] = {{"FMW:", kFmw}, {"FMU:", kFmu}, {"HART?:", kHart}};

// The MODBUS parameters reply, custom meter only.
constexpr FieldLayout kZdy[] = {
    {S::ParsingAddressBits, E::ItemDigit, 5, 1, 3},  // items "3".."9"
    {S::ParsingVar1Command, E::ItemDigit, 7},       {S::ParsingVar1Start, E::Text, 8, 2},
    {S::ParsingVar1Length, E::ItemDigit, 10},       {S::ParsingVar2Command, E::ItemDigit, 12},
    {S::ParsingVar2Start, E::Text, 13, 2},          {S::ParsingVar2Length, E::ItemDigit, 15},
    {S::ParsingVar3Command, E::ItemDigit, 17},      {S::ParsingVar3Start, E::Text, 18, 2},
    {S::ParsingVar3Length, E::ItemDigit, 20},       {S::ParsingVar4Command, E::ItemDigit, 22},
    {S::ParsingVar4Start, E::Text, 23, 2},          {S::ParsingVar4Length, E::ItemDigit, 25},
};
constexpr FieldLayout kCamd1[] = {{S::ReadCommand1Enable, E::ItemDigit, 7},
                                  {S::ReadCommand1Bytes, E::CountedHexList, 9}};
constexpr FieldLayout kCamd2[] = {{S::ReadCommand2Enable, E::ItemDigit, 7},
                                  {S::ReadCommand2Bytes, E::CountedHexList, 9}};
constexpr GroupLayout kCustomParsingGroups[] = {
    {"ZDY?:", kZdy}, {"CAMD?1:", kCamd1}, {"CAMD?2:", kCamd2}};

// The monitoring command reply (kCodeMonitoringQuery): the command number at
// position 4 picks the row.
constexpr std::string_view kRcadKey = "RCAD?:";
constexpr FieldLayout kRcad1[] = {{S::MonitoringCommand1Enable, E::FlagDigit, 6},
                                  {S::MonitoringCommand1Bytes, E::CountedHexList, 8}};
constexpr FieldLayout kRcad2[] = {{S::MonitoringCommand2Enable, E::FlagDigit, 6},
                                  {S::MonitoringCommand2Bytes, E::CountedHexList, 8}};

// A hex list's byte count: two digits, each converted on its own, so the
// count is always 0..99 and never gives a negative length.
std::optional<int> CountAt(std::string_view group, size_t position) {
    if (position + 2 > group.size()) return std::nullopt;
    const auto tens = TryStrToInt(group.substr(position, 1));
    const auto units = TryStrToInt(group.substr(position + 1, 1));
    if (!tens || !units) return std::nullopt;
    return *tens * 10 + *units;
}

// Characters from the key's first one to the last one the fields read. A list
// whose count is not a number can't say how long it is; it then counts up to
// its count, and reading the count reports the failure.
size_t GroupExtent(std::string_view group, std::span<const FieldLayout> fields) {
    size_t extent = 0;
    for (const FieldLayout& f : fields) {
        size_t end = static_cast<size_t>(f.position + f.width);
        if (f.encoding == E::CountedHexList) {
            end = static_cast<size_t>(f.position) + 2;
            if (const auto count = CountAt(group, f.position))
                end += 3 * static_cast<size_t>(*count);
        }
        extent = std::max(extent, end);
    }
    return extent;
}

class Decoder {
public:
    explicit Decoder(std::string_view reply) : reply_(reply) {}

    // Decodes the group of `layout` if its key occurs; false once a
    // conversion has failed and decoding must stop.
    bool Group(const GroupLayout& layout) {
        const auto at = FindReplyKey(reply_, layout.key);
        return !at || Fields(reply_.substr(*at), layout.fields);
    }

    // Reads `fields` from `group` (the reply from the key on). A group that
    // runs past the end of the reply is skipped whole, as if its key were
    // missing: half a group would leave related controls disagreeing.
    bool Fields(std::string_view group, std::span<const FieldLayout> fields) {
        if (GroupExtent(group, fields) > group.size()) return true;
        for (const FieldLayout& f : fields) {
            if (!Field(group, f)) return false;
        }
        return true;
    }

    void Add(ConfigSetting setting, ConfigFieldKind kind, int number, std::string text = {}) {
        result_.fields.push_back({setting, kind, number, std::move(text)});
    }

    ConfigReply Take() { return std::move(result_); }
    const ConfigReply& result() const { return result_; }

private:
    bool Field(std::string_view group, const FieldLayout& f) {
        const size_t pos = static_cast<size_t>(f.position);
        switch (f.encoding) {
            case E::ItemDigit:
            case E::TwoCharIndex: {
                const std::string_view digits = group.substr(pos, f.width);
                const auto value = TryStrToInt(digits);
                if (!value) return Fail(digits);
                Add(f.setting, ConfigFieldKind::ItemIndex, *value - f.offset);
                return true;
            }
            case E::FlagDigit:
                Add(f.setting, ConfigFieldKind::Checked, group[pos] == '1' ? 1 : 0);
                return true;
            case E::Text:
                Add(f.setting, ConfigFieldKind::Text, 0, std::string(group.substr(pos, f.width)));
                return true;
            case E::CountedHexList: {
                for (size_t digit = pos; digit < pos + 2; ++digit) {
                    if (!TryStrToInt(group.substr(digit, 1))) return Fail(group.substr(digit, 1));
                }
                // An empty list may end the reply right after its count.
                const int count = *CountAt(group, pos);
                Add(f.setting, ConfigFieldKind::Text, 0,
                    count == 0
                        ? std::string()
                        : std::string(group.substr(pos + 3, 3 * static_cast<size_t>(count) - 1)));
                return true;
            }
        }
        return true;
    }

    bool Fail(std::string_view text) {
        result_.failedText = std::string(text);
        return false;
    }

    std::string_view reply_;
    ConfigReply result_;
};

bool DecodeGroups(Decoder& decoder, std::span<const GroupLayout> groups) {
    for (const GroupLayout& group : groups) {
        if (!decoder.Group(group)) return false;
    }
    return true;
}

// The check of one group's key in `reply`.
ConfigKeyCheck CheckGroup(std::string_view reply, const GroupLayout& layout, bool customOnly) {
    const auto at = FindReplyKey(reply, layout.key);
    ConfigKeyState state = ConfigKeyState::Missing;
    std::string_view group;
    if (at) {
        const size_t extent = GroupExtent(reply.substr(*at), layout.fields);
        state = extent > reply.size() - *at ? ConfigKeyState::CutShort : ConfigKeyState::Found;
        group = reply.substr(*at, extent);
    }
    return {layout.key, state, customOnly, group};
}

ConfigKeyCheck CheckMarker(std::string_view reply, std::string_view marker) {
    const auto at = FindReplyKey(reply, marker);
    return {marker, at ? ConfigKeyState::Found : ConfigKeyState::Missing, false,
            at ? reply.substr(*at, marker.size()) : std::string_view()};
}

void CheckGroups(std::vector<ConfigKeyCheck>& checks, std::string_view reply,
                 std::span<const GroupLayout> groups, bool customOnly = false) {
    for (const GroupLayout& group : groups) checks.push_back(CheckGroup(reply, group, customOnly));
}

}  // namespace

const char* ConfigSettingName(ConfigSetting setting) {
    const auto index = static_cast<size_t>(setting);
    return index < kSettingNames.size() ? kSettingNames[index] : "?";
}

std::optional<size_t> FindReplyKey(std::string_view reply, std::string_view key) {
    if (key.empty() || key.size() > reply.size()) return std::nullopt;
    for (size_t start = 0; start + key.size() <= reply.size(); ++start) {
        bool match = true;
        for (size_t i = 0; i < key.size() && match; ++i) {
            match = key[i] == '?' || key[i] == reply[start + i];
        }
        if (match) return start;
    }
    return std::nullopt;
}

ConfigReply DecodeSystemParameters(std::string_view reply) {
    Decoder decoder(reply);
    if (FindReplyKey(reply, "QX")) DecodeGroups(decoder, kSystemGroups);
    return decoder.Take();
}

ConfigReply DecodeCurrentOutputParameters(std::string_view reply) {
    Decoder decoder(reply);
    DecodeGroups(decoder, kCurrentOutputGroups);
    return decoder.Take();
}

ConfigReply DecodeModbusParameters(std::string_view reply, int meterTypeItem) {
    Decoder decoder(reply);
    if (!FindReplyKey(reply, "QQ") || !DecodeGroups(decoder, kModbusGroups)) return decoder.Take();

    // The meter type just decoded wins over the one the window showed. Only
    // index 0 selects the first item; any other value selects another item or none.
    const auto& fields = decoder.result().fields;
    const auto decoded = std::find_if(fields.rbegin(), fields.rend(), [](const ConfigField& f) {
        return f.setting == S::HartMeterType;
    });
    const bool customMeter = (decoded != fields.rend() ? decoded->number : meterTypeItem) == 0;

    decoder.Add(S::ParsingShown, ConfigFieldKind::Visible, customMeter ? 1 : 0);
    if (customMeter) DecodeGroups(decoder, kCustomParsingGroups);
    return decoder.Take();
}

ConfigReply DecodeMonitoringCommand(std::string_view reply) {
    Decoder decoder(reply);
    const auto at = FindReplyKey(reply, kRcadKey);
    if (!at) return decoder.Take();
    const std::string_view group = reply.substr(*at);
    switch (group[4]) {
        case '1':
            decoder.Fields(group, kRcad1);
            break;
        case '2':
            decoder.Fields(group, kRcad2);
            break;
        default:
            break;  // another command number: not a row of this window
    }
    return decoder.Take();
}

std::vector<ConfigKeyCheck> CheckConfigReplyKeys(ConfigReplyKind kind, std::string_view reply) {
    std::vector<ConfigKeyCheck> checks;
    switch (kind) {
        case ConfigReplyKind::System:
            checks.push_back(CheckMarker(reply, "QX"));
            CheckGroups(checks, reply, kSystemGroups);
            break;
        case ConfigReplyKind::CurrentOutput:
            CheckGroups(checks, reply, kCurrentOutputGroups);
            break;
        case ConfigReplyKind::Modbus:
            checks.push_back(CheckMarker(reply, "QQ"));
            CheckGroups(checks, reply, kModbusGroups);
            CheckGroups(checks, reply, kCustomParsingGroups, true);
            break;
        case ConfigReplyKind::Monitoring: {
            // Both rows share one key; its group's length depends on the row.
            const auto at = FindReplyKey(reply, kRcadKey);
            const bool second = at && reply[*at + 4] == '2';
            checks.push_back(CheckGroup(reply, {kRcadKey, second ? kRcad2 : kRcad1}, false));
            break;
        }
    }
    return checks;
}

std::optional<ConfigReplyKind> ConfigReplyKindOf(int requestCode) {
    switch (requestCode) {
        case kCodeSystemQuery:
            return ConfigReplyKind::System;
        case kCodeCurrentOutputQuery:
            return ConfigReplyKind::CurrentOutput;
        case kCodeModbusQuery:
            return ConfigReplyKind::Modbus;
        case kCodeMonitoringQuery:
            return ConfigReplyKind::Monitoring;
        default:
            return std::nullopt;
    }
}
