#include "profile/profilecommands.h"

#include <algorithm>
#include <span>

#include "exchange/requestcodes.h"
#include "profile/profilesettings.h"
#include "protocol/configframes.h"
#include "protocol/fieldencodings.h"
#include "protocol/strtoint.h"

namespace {

using C = ConfigControl;

// A profile's values as the buttons read them from their controls.
class Values {
public:
    explicit Values(const Profile& p) : p_(p) {}
    int Item(C c) const { return Get(c).number; }
    bool Flag(C c) const { return Get(c).number != 0; }
    const std::string& Text(C c) const { return Get(c).text; }
    int Number(C c) const { return StrToInt(Text(c)); }

private:
    const ConfigField& Get(C c) const { return *p_.Find(c); }
    const Profile& p_;
};

struct SetCommand {
    const char* label;
    std::span<const C> controls;
    int code;
    std::string (*build)(const Values&);
};

// An empty list reads as no bytes and goes out as a count of 00, which
// clears the module's command; the window's buttons refuse to send it.
std::string Payload(std::string_view key, std::string onDigit, const std::string& list) {
    return PayloadFrame(key, onDigit, ReadHexList(list).bytes);
}

constexpr C kMode[] = {C::ComboBox7};
constexpr C kAddress[] = {C::Edit14};
constexpr C kPoll[] = {C::Edit6};
constexpr C kResponse[] = {C::RS485ADY};
constexpr C kMap[] = {C::YINSHE};
constexpr C kOrder[] = {C::FAMOUT3, C::FAMOUT5, C::FAMOUT7, C::FAMOUT9};
constexpr C kRange2[] = {C::D2M4, C::D2M20};
constexpr C kRange3[] = {C::D3M4, C::D3M20};
constexpr C kRange4[] = {C::D4M4, C::D4M20};
constexpr C kCoefficient1[] = {C::ComboBox18, C::Beilv};
constexpr C kCoefficients[] = {C::xishu2, C::xishu3, C::xishu4};
constexpr C kHart[] = {C::ComboBox41, C::ComboBox6,  C::ComboBox16,
                       C::ComboBox17, C::ComboBox34, C::Edit2};
constexpr C kParsing[] = {C::ComboBox41, C::ComboBox15, C::RADCOM1,  C::READADR1, C::READLG1,
                          C::RADCOM3,    C::READADR3,   C::READLG3,  C::RADCOM5,  C::READADR5,
                          C::READLG5,    C::RADCOM7,    C::READADR7, C::READLG7};
constexpr C kRead1[] = {C::ComboBox28, C::Edit4};
constexpr C kRead2[] = {C::ComboBox29, C::Edit5};
constexpr C kMonitoring1[] = {C::ONECHECK01, C::ONECMAD01};
constexpr C kMonitoring2[] = {C::ONECHECK02, C::ONECMAD02};
constexpr C kRs485[] = {C::ComboBox8, C::ComboBox9};

// In the order Apply sends them. The module changes its line on the RS485
// settings and answers that one at the old settings, so it comes last.
const SetCommand kSetCommands[] = {
    {"Operation mode", kMode, kCodeSet,
     [](const Values& v) { return ModeFrame(v.Item(C::ComboBox7)); }},
    {"MODBUS slave address", kAddress, kCodeSet,
     [](const Values& v) { return SlaveAddressFrame(v.Number(C::Edit14)); }},
    {"MODBUS polling interval", kPoll, kCodeSet,
     [](const Values& v) { return PollIntervalFrame(v.Number(C::Edit6)); }},
    {"RS485 response time", kResponse, kCodeSet,
     [](const Values& v) { return ResponseTimeFrame(v.Item(C::RS485ADY)); }},
    {"Variable 1 map", kMap, kCodeSet,
     [](const Values& v) { return Var1MapFrame(v.Item(C::YINSHE)); }},
    {"Float byte orders", kOrder, kCodeSet,
     [](const Values& v) {
         return FloatOrderFrame(
             {v.Item(C::FAMOUT3), v.Item(C::FAMOUT5), v.Item(C::FAMOUT7), v.Item(C::FAMOUT9)});
     }},
    {"Variable 2 output range", kRange2, kCodeRangeSet,
     [](const Values& v) { return RangeFrame(2, v.Text(C::D2M4), v.Text(C::D2M20)); }},
    {"Variable 3 output range", kRange3, kCodeRangeSet,
     [](const Values& v) { return RangeFrame(3, v.Text(C::D3M4), v.Text(C::D3M20)); }},
    {"Variable 4 output range", kRange4, kCodeRangeSet,
     [](const Values& v) { return RangeFrame(4, v.Text(C::D4M4), v.Text(C::D4M20)); }},
    {"Variable 1 coefficient", kCoefficient1, kCodeSet,
     [](const Values& v) { return Coefficient1Frame(v.Item(C::ComboBox18), v.Text(C::Beilv)); }},
    {"Coefficients 2 to 4", kCoefficients, kCodeSet,
     [](const Values& v) {
         return CoefficientsFrame(v.Text(C::xishu2), v.Text(C::xishu3), v.Text(C::xishu4));
     }},
    {"HART monitoring parameters", kHart, kCodeSet,
     [](const Values& v) {
         HartMonitoring p;
         p.meterIdItem = v.Item(C::ComboBox41);
         p.enableItem = v.Item(C::ComboBox6);
         p.hartModeItem = v.Item(C::ComboBox16);
         p.meterTypeItem = v.Item(C::ComboBox17);
         p.preambleItem = v.Item(C::ComboBox34);
         p.bufferClearTime = v.Number(C::Edit2);
         return HartMonitoringFrame(p);
     }},
    {"Custom parsing format", kParsing, kCodeSet,
     [](const Values& v) {
         ParsingFormat p;
         p.meterIdItem = v.Item(C::ComboBox41);
         p.addressBitsItem = v.Item(C::ComboBox15);
         // Per variable: read command, start address in its answer, data length.
         for (size_t i = 0; i < p.variables.size(); ++i) {
             const C* row = &kParsing[2 + 3 * i];
             p.variables[i] = {v.Item(row[0]), v.Number(row[1]), v.Item(row[2])};
         }
         return ParsingFormatFrame(p);
     }},
    {"Read meter command 1", kRead1, kCodeSet,
     [](const Values& v) {
         return Payload(kReadCommandKeys[0], ItemDigit(v.Item(C::ComboBox28)), v.Text(C::Edit4));
     }},
    {"Read meter command 2", kRead2, kCodeSet,
     [](const Values& v) {
         return Payload(kReadCommandKeys[1], ItemDigit(v.Item(C::ComboBox29)), v.Text(C::Edit5));
     }},
    {"Monitoring command 1", kMonitoring1, kCodeSet,
     [](const Values& v) {
         return Payload(kMonitoringCommandKeys[0], FlagDigit(v.Flag(C::ONECHECK01)),
                        v.Text(C::ONECMAD01));
     }},
    {"Monitoring command 2", kMonitoring2, kCodeSet,
     [](const Values& v) {
         return Payload(kMonitoringCommandKeys[1], FlagDigit(v.Flag(C::ONECHECK02)),
                        v.Text(C::ONECMAD02));
     }},
    {"RS485 line settings", kRs485, kCodeSet,
     [](const Values& v) { return Rs485PortFrame(v.Item(C::ComboBox8), v.Item(C::ComboBox9)); }},
};

// Present settings of `command`; the meter id, shared by two commands, only
// counts with the others.
size_t Present(const Profile& p, const SetCommand& command, const ConfigControl** firstAbsent) {
    size_t present = 0;
    *firstAbsent = nullptr;
    for (const C& c : command.controls) {
        if (p.Find(c)) {
            if (c != C::ComboBox41) ++present;
        } else if (!*firstAbsent) {
            *firstAbsent = &c;
        }
    }
    return present;
}

std::string SettingName(C control) { return std::string(FindProfileSetting(control)->name); }

// Text fields that travel with fixed widths: blanks fill them on the way back.
std::string TrimRight(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

bool SameValue(const ConfigField& a, const ConfigField& b) {
    if (a.kind != b.kind) return false;
    if (a.kind != ConfigFieldKind::Text) return a.number == b.number;
    if (FindProfileSetting(a.control)->format == SettingFormat::Number) {
        try {
            return StrToInt(a.text) == StrToInt(b.text);
        } catch (const EConvertError&) {
            return false;
        }
    }
    return TrimRight(a.text) == TrimRight(b.text);
}

}  // namespace

std::optional<std::string> MissingSetting(const Profile& profile) {
    for (const SetCommand& command : kSetCommands) {
        const ConfigControl* absent = nullptr;
        if (Present(profile, command, &absent) > 0 && absent) return SettingName(*absent);
    }
    return std::nullopt;
}

ApplyPlan PlanApply(const Profile& profile) {
    ApplyPlan plan;
    const Values values(profile);
    for (const SetCommand& command : kSetCommands) {
        const ConfigControl* absent = nullptr;
        if (Present(profile, command, &absent) == 0 || absent) continue;
        plan.steps.push_back({command.build(values), command.code, command.label});
    }
    return plan;
}

std::vector<SequenceStep> ReadModuleSteps() {
    return {
        {QueryFrame(kQueryVersion), kCodeCommunicationQuery, "Communication query"},
        {QueryFrame(kQuerySystem), kCodeSystemQuery, "System parameters query"},
        {QueryFrame(kQueryCurrentOutput), kCodeCurrentOutputQuery, "Current output query"},
        {QueryFrame(kQueryModbus), kCodeModbusQuery, "MODBUS parameters query"},
        {QueryFrame(kQueryMonitoringCommand[0]), kCodeMonitoringQuery,
         "Monitoring command 1 query"},
        {QueryFrame(kQueryMonitoringCommand[1]), kCodeMonitoringQuery,
         "Monitoring command 2 query"},
    };
}

Profile DecodeReadBack(const std::vector<std::string>& replies, int meterTypeItem) {
    Profile profile;
    auto reply = [&](size_t i) { return i < replies.size() ? std::string_view(replies[i]) : ""; };
    std::vector<ConfigField> fields;
    auto add = [&](const ConfigReply& decoded) {
        fields.insert(fields.end(), decoded.fields.begin(), decoded.fields.end());
    };
    add(DecodeSystemParameters(reply(1)));
    add(DecodeCurrentOutputParameters(reply(2)));
    add(DecodeModbusParameters(reply(3), meterTypeItem));
    add(DecodeMonitoringCommand(reply(4)));
    add(DecodeMonitoringCommand(reply(5)));
    // The meter id is the digit after "HART" in the MODBUS reply; no decoder
    // writes it, since the window's meter id list is only ever sent.
    if (const auto at = FindReplyKey(reply(3), "HART?:")) {
        const char digit = reply(3)[*at + 4];
        if (digit >= '0' && digit <= '9')
            fields.push_back({C::ComboBox41, ConfigFieldKind::ItemIndex, digit - '0', {}});
    }
    // One field per setting, in profile order; a later report wins, as in the window.
    for (const ProfileSetting& s : ProfileSettings()) {
        const auto last = std::find_if(fields.rbegin(), fields.rend(), [&](const ConfigField& f) {
            return f.control == s.control;
        });
        if (last == fields.rend()) continue;
        ConfigField field = *last;
        if (field.kind == ConfigFieldKind::Text) field.text = TrimRight(field.text);
        profile.settings.push_back(field);
    }
    std::string version(reply(0));
    if (version.starts_with("QV:")) version.erase(0, 3);
    if (version.ends_with('#')) version.pop_back();
    profile.moduleVersion = version;
    return profile;
}

std::vector<VerifyRow> VerifyProfile(const Profile& wanted, const Profile& readBack) {
    const ConfigField* type = readBack.Find(C::ComboBox17);
    const bool universalMeter = type && type->number != 0;
    std::vector<VerifyRow> rows;
    for (const ConfigField& want : wanted.settings) {
        const ProfileSetting* s = FindProfileSetting(want.control);
        VerifyRow row{std::string(s->name), SettingText(want), "(not reported)", false};
        if (const ConfigField* got = readBack.Find(want.control)) {
            row.readBack = SettingText(*got);
            row.mismatch = !SameValue(want, *got);
        } else {
            row.mismatch = !(s->customMeterOnly && universalMeter);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}
