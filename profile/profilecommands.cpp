#include "profile/profilecommands.h"

#include <algorithm>
#include <span>

#include "exchange/requestcodes.h"
#include "profile/profilesettings.h"
#include "protocol/configframes.h"
#include "protocol/fieldencodings.h"
#include "protocol/strtoint.h"

namespace {

using S = ConfigSetting;

// A profile's values as the buttons read them from their controls.
class Values {
public:
    explicit Values(const Profile& p) : p_(p) {}
    int Item(S c) const { return Get(c).number; }
    bool Flag(S c) const { return Get(c).number != 0; }
    const std::string& Text(S c) const { return Get(c).text; }
    int Number(S c) const { return StrToInt(Text(c)); }

private:
    const ConfigField& Get(S c) const { return *p_.Find(c); }
    const Profile& p_;
};

struct SetCommand {
    const char* label;
    std::span<const S> settings;
    int code;
    std::string (*build)(const Values&);
};

// An empty list reads as no bytes and goes out as a count of 00, which
// clears the module's command; the window's buttons refuse to send it.
std::string Payload(std::string_view key, std::string onDigit, const std::string& list) {
    return PayloadFrame(key, onDigit, ReadHexList(list).bytes);
}

constexpr S kMode[] = {S::SystemMode};
constexpr S kAddress[] = {S::ModbusSlaveAddress};
constexpr S kPoll[] = {S::ModbusPollInterval};
constexpr S kResponse[] = {S::Rs485ResponseTime};
constexpr S kMap[] = {S::OutputVar1Map};
constexpr S kOrder[] = {S::ModbusFloatOrder40003, S::ModbusFloatOrder40005,
                        S::ModbusFloatOrder40007, S::ModbusFloatOrder40009};
constexpr S kRange2[] = {S::OutputVar2Range4mA, S::OutputVar2Range20mA};
constexpr S kRange3[] = {S::OutputVar3Range4mA, S::OutputVar3Range20mA};
constexpr S kRange4[] = {S::OutputVar4Range4mA, S::OutputVar4Range20mA};
constexpr S kCoefficient1[] = {S::CoefficientVar1Mode, S::CoefficientVar1};
constexpr S kCoefficients[] = {S::CoefficientVar2, S::CoefficientVar3, S::CoefficientVar4};
constexpr S kHart[] = {S::HartMeterId,   S::HartEnable,    S::HartMode,
                       S::HartMeterType, S::HartPreambles, S::HartBufferClearTime};
constexpr S kParsing[] = {S::HartMeterId,      S::ParsingAddressBits, S::ParsingVar1Command,
                          S::ParsingVar1Start, S::ParsingVar1Length,  S::ParsingVar2Command,
                          S::ParsingVar2Start, S::ParsingVar2Length,  S::ParsingVar3Command,
                          S::ParsingVar3Start, S::ParsingVar3Length,  S::ParsingVar4Command,
                          S::ParsingVar4Start, S::ParsingVar4Length};
constexpr S kRead1[] = {S::ReadCommand1Enable, S::ReadCommand1Bytes};
constexpr S kRead2[] = {S::ReadCommand2Enable, S::ReadCommand2Bytes};
constexpr S kMonitoring1[] = {S::MonitoringCommand1Enable, S::MonitoringCommand1Bytes};
constexpr S kMonitoring2[] = {S::MonitoringCommand2Enable, S::MonitoringCommand2Bytes};
constexpr S kRs485[] = {S::Rs485BaudRate, S::Rs485Parity};

// In the order Apply sends them. The module changes its line on the RS485
// settings and answers that one at the old settings, so it comes last.
const SetCommand kSetCommands[] = {
    {"Operation mode", kMode, kCodeSet,
     [](const Values& v) { return ModeFrame(v.Item(S::SystemMode)); }},
    {"MODBUS slave address", kAddress, kCodeSet,
     [](const Values& v) { return SlaveAddressFrame(v.Number(S::ModbusSlaveAddress)); }},
    {"MODBUS polling interval", kPoll, kCodeSet,
     [](const Values& v) { return PollIntervalFrame(v.Number(S::ModbusPollInterval)); }},
    {"RS485 response time", kResponse, kCodeSet,
     [](const Values& v) { return ResponseTimeFrame(v.Item(S::Rs485ResponseTime)); }},
    {"Variable 1 map", kMap, kCodeSet,
     [](const Values& v) { return Var1MapFrame(v.Item(S::OutputVar1Map)); }},
    {"Float byte orders", kOrder, kCodeSet,
     [](const Values& v) {
         return FloatOrderFrame({v.Item(S::ModbusFloatOrder40003), v.Item(S::ModbusFloatOrder40005),
                                 v.Item(S::ModbusFloatOrder40007),
                                 v.Item(S::ModbusFloatOrder40009)});
     }},
    {"Variable 2 output range", kRange2, kCodeRangeSet,
     [](const Values& v) {
         return RangeFrame(2, v.Text(S::OutputVar2Range4mA), v.Text(S::OutputVar2Range20mA));
     }},
    {"Variable 3 output range", kRange3, kCodeRangeSet,
     [](const Values& v) {
         return RangeFrame(3, v.Text(S::OutputVar3Range4mA), v.Text(S::OutputVar3Range20mA));
     }},
    {"Variable 4 output range", kRange4, kCodeRangeSet,
     [](const Values& v) {
         return RangeFrame(4, v.Text(S::OutputVar4Range4mA), v.Text(S::OutputVar4Range20mA));
     }},
    {"Variable 1 coefficient", kCoefficient1, kCodeSet,
     [](const Values& v) {
         return Coefficient1Frame(v.Item(S::CoefficientVar1Mode), v.Text(S::CoefficientVar1));
     }},
    {"Coefficients 2 to 4", kCoefficients, kCodeSet,
     [](const Values& v) {
         return CoefficientsFrame(v.Text(S::CoefficientVar2), v.Text(S::CoefficientVar3),
                                  v.Text(S::CoefficientVar4));
     }},
    {"HART monitoring parameters", kHart, kCodeSet,
     [](const Values& v) {
         HartMonitoring p;
         p.meterIdItem = v.Item(S::HartMeterId);
         p.enableItem = v.Item(S::HartEnable);
         p.hartModeItem = v.Item(S::HartMode);
         p.meterTypeItem = v.Item(S::HartMeterType);
         p.preambleItem = v.Item(S::HartPreambles);
         p.bufferClearTime = v.Number(S::HartBufferClearTime);
         return HartMonitoringFrame(p);
     }},
    {"Custom parsing format", kParsing, kCodeSet,
     [](const Values& v) {
         ParsingFormat p;
         p.meterIdItem = v.Item(S::HartMeterId);
         p.addressBitsItem = v.Item(S::ParsingAddressBits);
         // Per variable: read command, start address in its answer, data length.
         for (size_t i = 0; i < p.variables.size(); ++i) {
             const S* row = &kParsing[2 + 3 * i];
             p.variables[i] = {v.Item(row[0]), v.Number(row[1]), v.Item(row[2])};
         }
         return ParsingFormatFrame(p);
     }},
    {"Read meter command 1", kRead1, kCodeSet,
     [](const Values& v) {
         return Payload(kReadCommandKeys[0], ItemDigit(v.Item(S::ReadCommand1Enable)),
                        v.Text(S::ReadCommand1Bytes));
     }},
    {"Read meter command 2", kRead2, kCodeSet,
     [](const Values& v) {
         return Payload(kReadCommandKeys[1], ItemDigit(v.Item(S::ReadCommand2Enable)),
                        v.Text(S::ReadCommand2Bytes));
     }},
    {"Monitoring command 1", kMonitoring1, kCodeSet,
     [](const Values& v) {
         return Payload(kMonitoringCommandKeys[0], FlagDigit(v.Flag(S::MonitoringCommand1Enable)),
                        v.Text(S::MonitoringCommand1Bytes));
     }},
    {"Monitoring command 2", kMonitoring2, kCodeSet,
     [](const Values& v) {
         return Payload(kMonitoringCommandKeys[1], FlagDigit(v.Flag(S::MonitoringCommand2Enable)),
                        v.Text(S::MonitoringCommand2Bytes));
     }},
    {"RS485 line settings", kRs485, kCodeSet,
     [](const Values& v) {
         return Rs485PortFrame(v.Item(S::Rs485BaudRate), v.Item(S::Rs485Parity));
     }},
};

// Present settings of `command`; the meter id, shared by two commands, only
// counts with the others.
size_t Present(const Profile& p, const SetCommand& command, const ConfigSetting** firstAbsent) {
    size_t present = 0;
    *firstAbsent = nullptr;
    for (const S& c : command.settings) {
        if (p.Find(c)) {
            if (c != S::HartMeterId) ++present;
        } else if (!*firstAbsent) {
            *firstAbsent = &c;
        }
    }
    return present;
}

std::string SettingName(S setting) { return std::string(FindProfileSetting(setting)->name); }

// Text fields that travel with fixed widths: blanks fill them on the way back.
std::string TrimRight(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

bool SameValue(const ConfigField& a, const ConfigField& b) {
    if (a.kind != b.kind) return false;
    if (a.kind != ConfigFieldKind::Text) return a.number == b.number;
    if (FindProfileSetting(a.setting)->format == SettingFormat::Number) {
        const auto x = TryStrToInt(a.text), y = TryStrToInt(b.text);
        return x && y && *x == *y;
    }
    return TrimRight(a.text) == TrimRight(b.text);
}

}  // namespace

std::optional<std::string> MissingSetting(const Profile& profile) {
    for (const SetCommand& command : kSetCommands) {
        const ConfigSetting* absent = nullptr;
        if (Present(profile, command, &absent) > 0 && absent) return SettingName(*absent);
    }
    return std::nullopt;
}

ApplyPlan PlanApply(const Profile& profile) {
    ApplyPlan plan;
    const Values values(profile);
    for (const SetCommand& command : kSetCommands) {
        const ConfigSetting* absent = nullptr;
        if (Present(profile, command, &absent) == 0 || absent) continue;
        plan.steps.push_back({command.build(values), command.code, command.label});
    }
    return plan;
}

ApplyPlan PlanRepair(const Profile& wanted, const std::vector<VerifyRow>& rows) {
    const auto differs = [&rows](S setting) {
        const std::string_view name = FindProfileSetting(setting)->name;
        return std::any_of(rows.begin(), rows.end(),
                           [&](const VerifyRow& r) { return r.mismatch && r.setting == name; });
    };
    ApplyPlan repair;
    for (const SequenceStep& step : PlanApply(wanted).steps) {
        const SetCommand* command = std::find_if(
            std::begin(kSetCommands), std::end(kSetCommands),
            [&step](const SetCommand& c) { return step.label == c.label; });
        if (std::none_of(command->settings.begin(), command->settings.end(), differs)) continue;
        if (command->settings.data() == std::begin(kRs485)) return {};
        repair.steps.push_back(step);
    }
    return repair;
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
            fields.push_back({S::HartMeterId, ConfigFieldKind::ItemIndex, digit - '0', {}});
    }
    // One field per setting, in profile order; a later report wins, as in the window.
    for (const ProfileSetting& s : ProfileSettings()) {
        const auto last = std::find_if(fields.rbegin(), fields.rend(), [&](const ConfigField& f) {
            return f.setting == s.setting;
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
    const ConfigField* type = readBack.Find(S::HartMeterType);
    const bool universalMeter = type && type->number != 0;
    std::vector<VerifyRow> rows;
    for (const ConfigField& want : wanted.settings) {
        const ProfileSetting* s = FindProfileSetting(want.setting);
        VerifyRow row{std::string(s->name), SettingText(want), "(not reported)", false};
        if (const ConfigField* got = readBack.Find(want.setting)) {
            row.readBack = SettingText(*got);
            row.mismatch = !SameValue(want, *got);
        } else {
            row.mismatch = !(s->customMeterOnly && universalMeter);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<VerifyRow> ProfileChanges(const Profile& wanted, const Profile& now) {
    std::vector<VerifyRow> rows = VerifyProfile(wanted, now);
    std::erase_if(rows, [](const VerifyRow& r) { return !r.mismatch; });
    return rows;
}

bool MovesRs485Line(const std::vector<VerifyRow>& changes) {
    return std::any_of(changes.begin(), changes.end(), [](const VerifyRow& r) {
        return r.setting == "rs485.baudRate" || r.setting == "rs485.parity";
    });
}
