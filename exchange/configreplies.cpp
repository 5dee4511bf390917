#include "exchange/configreplies.h"

#include <algorithm>
#include <array>
#include <span>

#include "exchange/requestcodes.h"
#include "protocol/fieldencodings.h"
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

// The same settings as profiles and reports name them.
constexpr std::array kSettingKeys = {
    "rs485.baudRate",
    "rs485.parity",
    "system.mode",
    "system.slaveAddress",
    "system.pollInterval",
    "rs485.responseTime",
    "output.var2.range4mA",
    "output.var2.range20mA",
    "output.var3.range4mA",
    "output.var3.range20mA",
    "output.var4.range4mA",
    "output.var4.range20mA",
    "output.var1Map",
    "coefficient.var1Mode",
    "coefficient.var1",
    "coefficient.var2",
    "coefficient.var3",
    "coefficient.var4",
    "hart.enable",
    "hart.mode",
    "hart.meterType",
    "hart.preambles",
    "hart.bufferClearTime",
    "modbus.floatOrder40003",
    "modbus.floatOrder40005",
    "modbus.floatOrder40007",
    "modbus.floatOrder40009",
    "parsing.shown",
    "parsing.addressBits",
    "parsing.var1.command",
    "parsing.var1.start",
    "parsing.var1.length",
    "parsing.var2.command",
    "parsing.var2.start",
    "parsing.var2.length",
    "parsing.var3.command",
    "parsing.var3.start",
    "parsing.var3.length",
    "parsing.var4.command",
    "parsing.var4.start",
    "parsing.var4.length",
    "readCommand1.enable",
    "readCommand1.bytes",
    "readCommand2.enable",
    "readCommand2.bytes",
    "monitoringCommand1.enable",
    "monitoringCommand1.bytes",
    "monitoringCommand2.enable",
    "monitoringCommand2.bytes",
    "hart.meterId",
};
static_assert(kSettingKeys.size() == kSettingNames.size());

// Field encodings of the replies: the reverse of the command encodings.
enum class Encoding {
    ItemDigit,       // one character converted as an integer, less `offset`: a list's item
    TwoCharIndex,    // two characters converted together: a list's item
    FlagDigit,       // "1" checks, anything else unchecks
    Digits,          // `width` decimal digits, copied as they stand
    Decimal,         // `width` characters of a decimal number filled with blanks, copied
    CountedHexList,  // count digits (tens, units) at `position`, then from position + 3
                     // the count's 3 x NN - 1 characters of hex byte list
};

struct FieldLayout {
    ConfigSetting setting;
    Encoding encoding;
    int position;  // from the key's first character
    int width = 1;
    int offset = 0;
    int items = 0;  // a list's items: the module sends offset .. offset + items - 1
};

struct GroupLayout {
    std::string_view key;  // '?' = position not compared
    std::span<const FieldLayout> fields;
};

using E = Encoding;

constexpr FieldLayout Item(S setting, int position, int items, int offset = 0) {
    return {setting, E::ItemDigit, position, 1, offset, items};
}
constexpr FieldLayout TwoDigitItem(S setting, int position, int items) {
    return {setting, E::TwoCharIndex, position, 2, 0, items};
}
constexpr FieldLayout Flag(S setting, int position) { return {setting, E::FlagDigit, position}; }
constexpr FieldLayout Digits(S setting, int position, int width) {
    return {setting, E::Digits, position, width};
}
constexpr FieldLayout Decimal(S setting, int position) {
    return {setting, E::Decimal, position, 5};
}
constexpr FieldLayout HexList(S setting, int position) {
    return {setting, E::CountedHexList, position};
}

// The system parameters reply (kCodeSystemQuery).
constexpr FieldLayout kBa2[] = {Item(S::Rs485BaudRate, 4, 6), Item(S::Rs485Parity, 5, 3)};
constexpr FieldLayout kMd[] = {Item(S::SystemMode, 3, 5)};
constexpr FieldLayout kAdr[] = {Digits(S::ModbusSlaveAddress, 4, 3)};
constexpr FieldLayout kJtm[] = {Digits(S::ModbusPollInterval, 4, 3)};
constexpr FieldLayout kXy1[] = {Item(S::Rs485ResponseTime, 4, 6)};
constexpr GroupLayout kSystemGroups[] = {
    {"BA2:", kBa2}, {"MD:", kMd}, {"ADR:", kAdr}, {"JTM:", kJtm}, {"XY1:", kXy1},
};

// The current-output reply (kCodeCurrentOutputQuery). Positions 3 and 9 of
// the DA groups hold separators the decoders do not check.
constexpr FieldLayout kDa2[] = {Decimal(S::OutputVar2Range4mA, 4),
                                Decimal(S::OutputVar2Range20mA, 10)};
constexpr FieldLayout kDa3[] = {Decimal(S::OutputVar3Range4mA, 4),
                                Decimal(S::OutputVar3Range20mA, 10)};
constexpr FieldLayout kDa4[] = {Decimal(S::OutputVar4Range4mA, 4),
                                Decimal(S::OutputVar4Range20mA, 10)};
constexpr FieldLayout kYsm[] = {Item(S::OutputVar1Map, 4, 4)};
constexpr GroupLayout kCurrentOutputGroups[] = {
    {"DA2", kDa2}, {"DA3", kDa3}, {"DA4", kDa4}, {"MD:", kMd}, {"YSM", kYsm},
};

// The MODBUS parameters reply (kCodeModbusQuery), always decoded.
constexpr FieldLayout kFmw[] = {Item(S::CoefficientVar1Mode, 4, 4), Decimal(S::CoefficientVar1, 6)};
constexpr FieldLayout kFmu[] = {Decimal(S::CoefficientVar2, 4), Decimal(S::CoefficientVar3, 10),
                                Decimal(S::CoefficientVar4, 16)};
constexpr FieldLayout kHart[] = {
    Item(S::HartEnable, 6, 2),
    Item(S::HartMode, 8, 2),
    TwoDigitItem(S::HartMeterType, 10, 2),
    Item(S::HartPreambles, 13, 6, 4),  // items "4".."9"
    Digits(S::HartBufferClearTime, 15, 3),
    Item(S::ModbusFloatOrder40003, 19, 2),
    Item(S::ModbusFloatOrder40005, 20, 2),
    Item(S::ModbusFloatOrder40007, 21, 2),
    Item(S::ModbusFloatOrder40009, 22, 2),
};
constexpr GroupLayout kModbusGroups[] = {{"FMW:", kFmw}, {"FMU:", kFmu}, {"HART?:", kHart}};
// Where the HART group holds the meter type, and the type that is "custom".
constexpr size_t kMeterTypeAt = 10;
constexpr std::string_view kCustomMeterType = "00";

// The MODBUS parameters reply, custom meter only.
constexpr FieldLayout kZdy[] = {
    Item(S::ParsingAddressBits, 5, 7, 3),  // items "3".."9"
    Item(S::ParsingVar1Command, 7, 3),    Digits(S::ParsingVar1Start, 8, 2),
    Item(S::ParsingVar1Length, 10, 2),    Item(S::ParsingVar2Command, 12, 3),
    Digits(S::ParsingVar2Start, 13, 2),   Item(S::ParsingVar2Length, 15, 2),
    Item(S::ParsingVar3Command, 17, 3),   Digits(S::ParsingVar3Start, 18, 2),
    Item(S::ParsingVar3Length, 20, 2),    Item(S::ParsingVar4Command, 22, 3),
    Digits(S::ParsingVar4Start, 23, 2),   Item(S::ParsingVar4Length, 25, 2),
};
constexpr FieldLayout kCamd1[] = {Item(S::ReadCommand1Enable, 7, 2),
                                  HexList(S::ReadCommand1Bytes, 9)};
constexpr FieldLayout kCamd2[] = {Item(S::ReadCommand2Enable, 7, 2),
                                  HexList(S::ReadCommand2Bytes, 9)};
constexpr GroupLayout kCustomParsingGroups[] = {
    {"ZDY?:", kZdy}, {"CAMD?1:", kCamd1}, {"CAMD?2:", kCamd2}};

// The monitoring command reply (kCodeMonitoringQuery): the command number at
// position 4 picks the row.
constexpr std::string_view kRcadKey = "RCAD?:";
constexpr FieldLayout kRcad1[] = {Flag(S::MonitoringCommand1Enable, 6),
                                  HexList(S::MonitoringCommand1Bytes, 8)};
constexpr FieldLayout kRcad2[] = {Flag(S::MonitoringCommand2Enable, 6),
                                  HexList(S::MonitoringCommand2Bytes, 8)};

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
            case E::Digits:
            case E::Decimal:
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

// ---- the shape of a whole reply ----

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsUpperHex(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F'); }

// Printable characters as they stand, any other byte as \xNN.
std::string Quoted(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown = "'";
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[b >> 4];
            shown += kHex[b & 0xF];
        }
    }
    return shown + "'";
}

// A decimal number as the set commands carry it (digits, at most one point,
// a leading '-'), then blanks to the field's width.
bool IsFilledDecimal(std::string_view text) {
    const std::string_view number = text.substr(0, text.find(' '));
    return text.find_first_not_of(' ', number.size()) == std::string_view::npos &&
           IsModuleDecimal(number);
}

// Reads a reply from the left in the shape the module sends: every
// character in its place. Each read checks the characters present one by one
// and the whole once it is there, so a reply still arriving is cut, never
// damaged, and a damaged one ends at its first character out of place.
class ShapeReader {
public:
    ShapeReader(std::string_view reply, size_t at, char row) : reply_(reply), at_(at), row_(row) {}

    // Where reading stopped: cut (the default) or damaged.
    ConfigReplyShape stop;

    // The key of a group, its '?' a digit (the asked row, in a monitoring reply).
    bool Key(std::string_view key) {
        std::string shown(key);
        if (row_) std::replace(shown.begin(), shown.end(), '?', row_);
        const auto fits = [&](size_t i, char c) {
            if (key[i] != '?') return c == key[i];
            return row_ ? c == row_ : IsDigit(c);
        };
        return Read(
            key.size(), fits, [](std::string_view) { return true; },
            [&](std::string_view got) {
                return "\"" + shown + "\" expected " + Where() + ", not " + Quoted(got);
            });
    }

    bool Separator(char c) {
        return Read(
            1, [c](size_t, char got) { return got == c; }, [](std::string_view) { return true; },
            [&](std::string_view got) {
                return "'" + std::string(1, c) + "' expected " + Where() + ", not " + Quoted(got);
            });
    }

    bool Group(const GroupLayout& layout, size_t keyAt) {
        if (!Key(layout.key)) return false;
        for (const FieldLayout& f : layout.fields) {
            // The gap before a field: ':' right after a key without one, else ','.
            while (at_ < keyAt + static_cast<size_t>(f.position)) {
                const bool afterKey = at_ == keyAt + layout.key.size();
                if (!Separator(afterKey ? ':' : ',')) return false;
            }
            if (!Field(f)) return false;
        }
        return true;
    }

    size_t at() const { return at_; }

private:
    std::string Where() const {
        return after_.empty() ? std::string("at the reply's start") : "after " + after_;
    }

    std::string Name(const FieldLayout& f) const {
        return std::string("field ") + ConfigSettingKey(f.setting) + ": ";
    }

    bool Field(const FieldLayout& f) {
        const std::string name = Name(f);
        const auto any = [](std::string_view) { return true; };
        bool ok = true;
        switch (f.encoding) {
            case E::ItemDigit: {
                const char lo = static_cast<char>('0' + f.offset);
                const char hi = static_cast<char>(lo + f.items - 1);
                ok = Read(
                    1, [=](size_t, char c) { return c >= lo && c <= hi; }, any,
                    [&](std::string_view got) {
                        return name + Quoted(got) + " is not one of " + lo + ".." + hi;
                    });
                break;
            }
            case E::TwoCharIndex:
                ok = Read(
                    2, [](size_t, char c) { return IsDigit(c); },
                    [&](std::string_view got) { return TryStrToInt(got).value_or(-1) < f.items; },
                    [&](std::string_view got) {
                        return name + Quoted(got) + " is not one of 00.." +
                               (f.items <= 10 ? "0" : "") + std::to_string(f.items - 1);
                    });
                break;
            case E::FlagDigit:
                ok = Read(
                    1, [](size_t, char c) { return c == '0' || c == '1'; }, any,
                    [&](std::string_view got) { return name + Quoted(got) + " is not 0 or 1"; });
                break;
            case E::Digits:
                ok = Read(
                    static_cast<size_t>(f.width), [](size_t, char c) { return IsDigit(c); }, any,
                    [&](std::string_view got) {
                        return name + Quoted(got) + " is not " + std::to_string(f.width) +
                               " digits";
                    });
                break;
            case E::Decimal:
                ok = Read(
                    static_cast<size_t>(f.width),
                    [](size_t, char c) { return IsDigit(c) || c == '.' || c == '-' || c == ' '; },
                    IsFilledDecimal,
                    [&](std::string_view got) {
                        return name + Quoted(got) + " is not " + std::to_string(f.width) +
                               " characters of a number";
                    });
                break;
            case E::CountedHexList:
                ok = HexBytes(name);
                break;
        }
        if (ok) after_ = std::string("field ") + ConfigSettingKey(f.setting);
        return ok;
    }

    // "NN," and NN bytes as upper-case hex pairs, one blank between.
    bool HexBytes(const std::string& name) {
        int count = 0;
        const bool counted = Read(
            2, [](size_t, char c) { return IsDigit(c); },
            [&](std::string_view got) {
                count = TryStrToInt(got).value_or(-1);
                return count <= kMaxHexListBytes;
            },
            [&](std::string_view got) {
                return name + "count " + Quoted(got) + " is not one of 00.." +
                       std::to_string(kMaxHexListBytes);
            });
        if (!counted || !Separator(',')) return false;
        if (count == 0) return true;
        return Read(
            3 * static_cast<size_t>(count) - 1,
            [](size_t i, char c) { return i % 3 == 2 ? c == ' ' : IsUpperHex(c); },
            [](std::string_view) { return true; },
            [&](std::string_view got) {
                return name + Quoted(got) + " is not " + std::to_string(count) +
                       " bytes in hexadecimal";
            });
    }

    // The next `n` characters: `fits` for each one present, `whole` once all
    // are; `reason` names what came when either fails.
    template <typename Fits, typename Whole, typename Reason>
    bool Read(size_t n, Fits fits, Whole whole, Reason reason) {
        const size_t have = std::min(n, reply_.size() - at_);
        for (size_t i = 0; i < have; ++i) {
            if (fits(i, reply_[at_ + i])) continue;
            // Shown whole once it is all there; until then up to the culprit.
            const size_t shown = have == n ? n : i + 1;
            return Damaged(shown, reason(reply_.substr(at_, shown)));
        }
        if (have < n) return false;  // cut
        if (!whole(reply_.substr(at_, n))) return Damaged(n, reason(reply_.substr(at_, n)));
        at_ += n;
        return true;
    }

    bool Damaged(size_t length, std::string reason) {
        stop = ConfigReplyShape{ConfigReplyShape::State::Damaged, at_ + length, std::move(reason)};
        return false;
    }

    std::string_view reply_;
    size_t at_;
    char row_;
    std::string after_;  // the last field read, for the reasons
};

// The reply's groups after its head, each followed by `separator` or, the
// last one, by '#'.
bool ReadGroups(ShapeReader& reader, std::span<const GroupLayout> groups, char separator,
                bool more) {
    for (size_t i = 0; i < groups.size(); ++i) {
        if (!reader.Group(groups[i], reader.at())) return false;
        if ((i + 1 < groups.size() || more) && !reader.Separator(separator)) return false;
    }
    return true;
}

}  // namespace

const char* ConfigSettingName(ConfigSetting setting) {
    const auto index = static_cast<size_t>(setting);
    return index < kSettingNames.size() ? kSettingNames[index] : "?";
}

const char* ConfigSettingKey(ConfigSetting setting) {
    const auto index = static_cast<size_t>(setting);
    return index < kSettingKeys.size() ? kSettingKeys[index] : "?";
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

ConfigReplyShape CheckConfigReplyShape(ConfigReplyKind kind, std::string_view reply, char row) {
    static constexpr std::string_view kHeads[] = {"QX#", "QD#", "QQ0#", "RCAD"};
    const std::string_view head = kHeads[static_cast<size_t>(kind)];
    // Noise may come ahead of the reply; the reply is the first head on.
    const auto at = FindReplyKey(reply, head);
    if (!at) return {};
    const bool monitoring = kind == ConfigReplyKind::Monitoring;
    ShapeReader reader(reply, monitoring ? *at : *at + head.size(), monitoring ? row : 0);
    bool read = false;
    switch (kind) {
        case ConfigReplyKind::System:
            read = ReadGroups(reader, kSystemGroups, ',', false);
            break;
        case ConfigReplyKind::CurrentOutput:
            read = ReadGroups(reader, kCurrentOutputGroups, ',', false);
            break;
        case ConfigReplyKind::Modbus: {
            read = ReadGroups(reader, kModbusGroups, ';', false);
            if (!read) break;
            // Only a custom meter's reply carries its parsing groups.
            const size_t hart = reader.at() - kHart[std::size(kHart) - 1].position - 1;
            if (reply.substr(hart + kMeterTypeAt, 2) == kCustomMeterType) {
                read =
                    reader.Separator(';') && ReadGroups(reader, kCustomParsingGroups, ';', false);
            }
            break;
        }
        case ConfigReplyKind::Monitoring: {
            const bool second = row == '2' || (!row && reply.substr(*at + 4, 1) == "2");
            read = reader.Group({kRcadKey, second ? kRcad2 : kRcad1}, reader.at());
            break;
        }
    }
    if (!read || !reader.Separator('#')) return reader.stop;
    return {ConfigReplyShape::State::Whole, reader.at(), {}};
}
