#include "exchange/configreplies.h"

#include <algorithm>
#include <array>
#include <span>

#include "exchange/requestcodes.h"
#include "protocol/strtoint.h"

namespace {

using C = ConfigControl;

constexpr std::array kControlNames = {
    "ComboBox8",  "ComboBox9",  "ComboBox7", "Edit14",     "Edit6",     "RS485ADY",   "D2M4",
    "D2M20",      "D3M4",       "D3M20",     "D4M4",       "D4M20",     "YINSHE",     "ComboBox18",
    "Beilv",      "xishu2",     "xishu3",    "xishu4",     "ComboBox6", "ComboBox16", "ComboBox17",
    "ComboBox34", "Edit2",      "FAMOUT3",   "FAMOUT5",    "FAMOUT7",   "FAMOUT9",    "GroupBox13",
    "ComboBox15", "RADCOM1",    "READADR1",  "READLG1",    "RADCOM3",   "READADR3",   "READLG3",
    "RADCOM5",    "READADR5",   "READLG5",   "RADCOM7",    "READADR7",  "READLG7",    "ComboBox28",
    "Edit4",      "ComboBox29", "Edit5",     "ONECHECK01", "ONECMAD01", "ONECHECK02", "ONECMAD02",
    "ComboBox41",
};
static_assert(kControlNames.size() == static_cast<size_t>(C::ComboBox41) + 1);

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
    ConfigControl control;
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
constexpr FieldLayout kBa2[] = {{C::ComboBox8, E::ItemDigit, 4}, {C::ComboBox9, E::ItemDigit, 5}};
constexpr FieldLayout kMd[] = {{C::ComboBox7, E::ItemDigit, 3}};
constexpr FieldLayout kAdr[] = {{C::Edit14, E::Text, 4, 3}};
constexpr FieldLayout kJtm[] = {{C::Edit6, E::Text, 4, 3}};
constexpr FieldLayout kXy1[] = {{C::RS485ADY, E::ItemDigit, 4}};
constexpr GroupLayout kSystemGroups[] = {
    {"BA2:", kBa2}, {"MD:", kMd}, {"ADR:", kAdr}, {"JTM:", kJtm}, {"XY1:", kXy1},
};

// The current-output reply (kCodeCurrentOutputQuery). Positions 3 and 9 of
// the DA groups hold separators nobody checks.
constexpr FieldLayout kDa2[] = {{C::D2M4, E::Text, 4, 5}, {C::D2M20, E::Text, 10, 5}};
constexpr FieldLayout kDa3[] = {{C::D3M4, E::Text, 4, 5}, {C::D3M20, E::Text, 10, 5}};
constexpr FieldLayout kDa4[] = {{C::D4M4, E::Text, 4, 5}, {C::D4M20, E::Text, 10, 5}};
constexpr FieldLayout kYsm[] = {{C::YINSHE, E::ItemDigit, 4}};
constexpr GroupLayout kCurrentOutputGroups[] = {
    {"DA2", kDa2}, {"DA3", kDa3}, {"DA4", kDa4}, {"MD:", kMd}, {"YSM", kYsm},
};

// The MODBUS parameters reply (kCodeModbusQuery), always decoded.
constexpr FieldLayout kFmw[] = {{C::ComboBox18, E::ItemDigit, 4}, {C::Beilv, E::Text, 6, 5}};
constexpr FieldLayout kFmu[] = {
    {C::xishu2, E::Text, 4, 5}, {C::xishu3, E::Text, 10, 5}, {C::xishu4, E::Text, 16, 5}};
constexpr FieldLayout kHart[] = {
    {C::ComboBox6, E::ItemDigit, 6},
    {C::ComboBox16, E::ItemDigit, 8},
    {C::ComboBox17, E::TwoCharIndex, 10, 2},
    {C::ComboBox34, E::ItemDigit, 13, 1, 4},  // items "4".."9"
    {C::Edit2, E::Text, 15, 3},
    {C::FAMOUT3, E::ItemDigit, 19},
    {C::FAMOUT5, E::ItemDigit, 20},
    {C::FAMOUT7, E::ItemDigit, 21},
    {C::FAMOUT9, E::ItemDigit, 22},
};
constexpr GroupLayout kModbusGroups[] = {{"FMW:", kFmw}, {"FMU:", kFmu}, {"HART?:", kHart}};

// The MODBUS parameters reply, custom meter only.
constexpr FieldLayout kZdy[] = {
    {C::ComboBox15, E::ItemDigit, 5, 1, 3},  // items "3".."9"
    {C::RADCOM1, E::ItemDigit, 7},          {C::READADR1, E::Text, 8, 2},
    {C::READLG1, E::ItemDigit, 10},         {C::RADCOM3, E::ItemDigit, 12},
    {C::READADR3, E::Text, 13, 2},          {C::READLG3, E::ItemDigit, 15},
    {C::RADCOM5, E::ItemDigit, 17},         {C::READADR5, E::Text, 18, 2},
    {C::READLG5, E::ItemDigit, 20},         {C::RADCOM7, E::ItemDigit, 22},
    {C::READADR7, E::Text, 23, 2},          {C::READLG7, E::ItemDigit, 25},
};
constexpr FieldLayout kCamd1[] = {{C::ComboBox28, E::ItemDigit, 7},
                                  {C::Edit4, E::CountedHexList, 9}};
constexpr FieldLayout kCamd2[] = {{C::ComboBox29, E::ItemDigit, 7},
                                  {C::Edit5, E::CountedHexList, 9}};
constexpr GroupLayout kCustomParsingGroups[] = {
    {"ZDY?:", kZdy}, {"CAMD?1:", kCamd1}, {"CAMD?2:", kCamd2}};

// The monitoring command reply (kCodeMonitoringQuery): the command number at
// position 4 picks the row.
constexpr std::string_view kRcadKey = "RCAD?:";
constexpr FieldLayout kRcad1[] = {{C::ONECHECK01, E::FlagDigit, 6},
                                  {C::ONECMAD01, E::CountedHexList, 8}};
constexpr FieldLayout kRcad2[] = {{C::ONECHECK02, E::FlagDigit, 6},
                                  {C::ONECMAD02, E::CountedHexList, 8}};

// The standard text-to-integer conversion, without the exception.
std::optional<int> ToInt(std::string_view text) {
    try {
        return StrToInt(text);
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

// A hex list's byte count: two digits, each converted on its own, so the
// count is always 0..99 and never gives a negative length.
std::optional<int> CountAt(std::string_view group, size_t position) {
    if (position + 2 > group.size()) return std::nullopt;
    const auto tens = ToInt(group.substr(position, 1));
    const auto units = ToInt(group.substr(position + 1, 1));
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

    void Add(ConfigControl control, ConfigFieldKind kind, int number, std::string text = {}) {
        result_.fields.push_back({control, kind, number, std::move(text)});
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
                const auto value = ToInt(digits);
                if (!value) return Fail(digits);
                Add(f.control, ConfigFieldKind::ItemIndex, *value - f.offset);
                return true;
            }
            case E::FlagDigit:
                Add(f.control, ConfigFieldKind::Checked, group[pos] == '1' ? 1 : 0);
                return true;
            case E::Text:
                Add(f.control, ConfigFieldKind::Text, 0, std::string(group.substr(pos, f.width)));
                return true;
            case E::CountedHexList: {
                for (size_t digit = pos; digit < pos + 2; ++digit) {
                    if (!ToInt(group.substr(digit, 1))) return Fail(group.substr(digit, 1));
                }
                // An empty list may end the reply right after its count.
                const int count = *CountAt(group, pos);
                Add(f.control, ConfigFieldKind::Text, 0,
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

const char* ConfigControlName(ConfigControl control) {
    const auto index = static_cast<size_t>(control);
    return index < kControlNames.size() ? kControlNames[index] : "?";
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
        return f.control == C::ComboBox17;
    });
    const bool customMeter = (decoded != fields.rend() ? decoded->number : meterTypeItem) == 0;

    decoder.Add(C::GroupBox13, ConfigFieldKind::Visible, customMeter ? 1 : 0);
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
