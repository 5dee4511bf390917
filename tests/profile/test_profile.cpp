#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "exchange/replyverdict.h"
#include "profile/profile.h"
#include "profile/profilecommands.h"
#include "profile/profilesettings.h"
#include "profile/unfinishedapply.h"
#include "sim/tavrixmodule.h"

using S = ConfigSetting;

namespace {

// Every setting with a plausible value.
Profile FullProfile() {
    Profile p;
    p.toolVersion = "2.0.0";
    p.date = "2026-12-08T12:00:00Z";
    for (const ProfileSetting& s : ProfileSettings()) {
        switch (s.format) {
            case SettingFormat::Item:
                p.settings.push_back({s.setting,
                                      ConfigFieldKind::ItemIndex,
                                      static_cast<int>(s.items.size()) - 1,
                                      {}});
                break;
            case SettingFormat::Flag:
                p.settings.push_back({s.setting, ConfigFieldKind::Checked, 1, {}});
                break;
            case SettingFormat::Number:
                p.settings.push_back({s.setting, ConfigFieldKind::Text, 0, "012"});
                break;
            case SettingFormat::RangeText:
                p.settings.push_back({s.setting, ConfigFieldKind::Text, 0, "-4.5"});
                break;
            case SettingFormat::FiveChars:
                p.settings.push_back({s.setting, ConfigFieldKind::Text, 0, "1.25"});
                break;
            case SettingFormat::HexList:
                p.settings.push_back({s.setting, ConfigFieldKind::Text, 0, "01 0F"});
                break;
        }
    }
    return p;
}

// The full profile's JSON with one change made to its top-level object.
QByteArray Edited(void (*edit)(QJsonObject& top, QJsonObject& settings)) {
    QJsonObject top = QJsonDocument::fromJson(WriteProfile(FullProfile())).object();
    QJsonObject settings = top.value("settings").toObject();
    edit(top, settings);
    top.insert("settings", settings);
    return QJsonDocument(top).toJson();
}

ConfigField& Find(Profile& p, ConfigSetting setting) {
    return *std::find_if(p.settings.begin(), p.settings.end(),
                         [&](const ConfigField& f) { return f.setting == setting; });
}

void Set(Profile& p, ConfigSetting setting, const std::string& text) {
    Find(p, setting).text = text;
}

auto Is(ConfigSetting setting) {
    return [setting](const ConfigField& f) { return f.setting == setting; };
}

}  // namespace

TEST(Profile, WritesAndReadsBackEverySetting) {
    const Profile written = FullProfile();
    const auto read = ReadProfile(WriteProfile(written));
    ASSERT_TRUE(std::holds_alternative<Profile>(read)) << std::get<ProfileError>(read).problem;
    EXPECT_EQ(std::get<Profile>(read).settings, written.settings);
    // Values as the window shows them, under readable names.
    const QJsonObject settings =
        QJsonDocument::fromJson(WriteProfile(written)).object().value("settings").toObject();
    EXPECT_EQ(settings.value("rs485.baudRate").toString(), "38400");
    EXPECT_EQ(settings.value("monitoringCommand1.enable").toBool(), true);
}

TEST(Profile, RefusesBadFilesNamingTheField) {
    const struct {
        const char* name;
        QByteArray json;
        const char* field;
        const char* problem = "";  // part of the problem, where it matters
    } cases[] = {
        {"not JSON", "this is not a profile", "(file)"},
        {"truncated", WriteProfile(FullProfile()).left(200), "(file)"},
        {"another JSON document", "[1, 2]", "(file)"},
        {"newer version", Edited([](QJsonObject& t, QJsonObject&) { t["formatVersion"] = 2; }),
         "formatVersion"},
        {"not our format", Edited([](QJsonObject& t, QJsonObject&) { t["format"] = "x"; }),
         "format"},
        {"unknown top field", Edited([](QJsonObject& t, QJsonObject&) { t["colour"] = 1; }),
         "colour"},
        {"unknown setting", Edited([](QJsonObject&, QJsonObject& s) { s["rs485.stopBits"] = "2"; }),
         "settings.rs485.stopBits"},
        {"item not in the list",
         Edited([](QJsonObject&, QJsonObject& s) { s["rs485.baudRate"] = "9601"; }),
         "settings.rs485.baudRate"},
        {"number too large",
         Edited([](QJsonObject&, QJsonObject& s) { s["system.slaveAddress"] = "1000"; }),
         "settings.system.slaveAddress"},
        {"not a number",
         Edited([](QJsonObject&, QJsonObject& s) { s["hart.bufferClearTime"] = "6O"; }),
         "settings.hart.bufferClearTime"},
        {"range with a letter",
         Edited([](QJsonObject&, QJsonObject& s) { s["output.var2.range4mA"] = "4e1"; }),
         "settings.output.var2.range4mA"},
        {"coefficient too long",
         Edited([](QJsonObject&, QJsonObject& s) { s["coefficient.var2"] = "1.2345"; }),
         "settings.coefficient.var2"},
        {"bad byte list",
         Edited([](QJsonObject&, QJsonObject& s) { s["readCommand1.bytes"] = "01 0g"; }),
         "settings.readCommand1.bytes"},
        {"too many bytes", Edited([](QJsonObject&, QJsonObject& s) {
             s["monitoringCommand2.bytes"] = "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F";
         }),
         "settings.monitoringCommand2.bytes", "at most 14 bytes, not 15"},
        {"flag as text",
         Edited([](QJsonObject&, QJsonObject& s) { s["monitoringCommand1.enable"] = "yes"; }),
         "settings.monitoringCommand1.enable"},
        {"half a command", Edited([](QJsonObject&, QJsonObject& s) { s.remove("rs485.parity"); }),
         "settings.rs485.parity"},
        {"broadcast address",
         Edited([](QJsonObject&, QJsonObject& s) { s["system.slaveAddress"] = "000"; }),
         "settings.system.slaveAddress", "must be a MODBUS slave address from 1 to 247, not 000"},
        {"address past 247",
         Edited([](QJsonObject&, QJsonObject& s) { s["system.slaveAddress"] = "999"; }),
         "settings.system.slaveAddress", "not 999"},
        {"no polling interval",
         Edited([](QJsonObject&, QJsonObject& s) { s["system.pollInterval"] = "000"; }),
         "settings.system.pollInterval", "from 1 to 999"},
        {"start address of three digits",
         Edited([](QJsonObject&, QJsonObject& s) { s["parsing.var4.start"] = "100"; }),
         "settings.parsing.var4.start", "from 0 to 99"},
        {"range of signs and points",
         Edited([](QJsonObject&, QJsonObject& s) { s["output.var3.range20mA"] = "--.-."; }),
         "settings.output.var3.range20mA", "must be a number"},
        {"empty range",
         Edited([](QJsonObject&, QJsonObject& s) { s["output.var4.range4mA"] = ""; }),
         "settings.output.var4.range4mA", "not empty"},
        {"two points",
         Edited([](QJsonObject&, QJsonObject& s) { s["output.var2.range4mA"] = "1.2.3"; }),
         "settings.output.var2.range4mA"},
        {"frame marks in a coefficient",
         Edited([](QJsonObject&, QJsonObject& s) { s["coefficient.var1"] = "1#2,3"; }),
         "settings.coefficient.var1", "'#', ',', ':' or ';'"},
        {"coefficient no number",
         Edited([](QJsonObject&, QJsonObject& s) { s["coefficient.var4"] = "abc"; }),
         "settings.coefficient.var4", "must be a number"},
        {"blank after the last byte",
         Edited([](QJsonObject&, QJsonObject& s) { s["monitoringCommand1.bytes"] = "01 0F "; }),
         "settings.monitoringCommand1.bytes", "two upper-case hexadecimal digits"},
        {"meter id of two digits",
         Edited([](QJsonObject&, QJsonObject& s) { s["hart.meterId"] = "10"; }),
         "settings.hart.meterId"},
    };
    for (const auto& c : cases) {
        const auto read = ReadProfile(c.json);
        ASSERT_TRUE(std::holds_alternative<ProfileError>(read)) << c.name;
        EXPECT_EQ(std::get<ProfileError>(read).field, c.field) << c.name;
        EXPECT_NE(std::get<ProfileError>(read).problem.find(c.problem), std::string::npos)
            << c.name << ": " << std::get<ProfileError>(read).problem;
    }
    EXPECT_EQ(ProfileErrorText("a.json", {"settings.rs485.baudRate", "'9601' is not an item"}),
              "a.json: field settings.rs485.baudRate: '9601' is not an item");
}

// The value rules are those of the file reader (the table above); these are
// the profiles no file can hold.
TEST(Profile, ValidatesBeforeAnythingIsSent) {
    const struct {
        const char* name;
        void (*edit)(Profile&);
        const char* field;    // "" when the profile can be applied
        const char* problem;  // part of it
    } cases[] = {
        {"full profile", [](Profile&) {}, "", ""},
        {"edge values",
         [](Profile& p) {
             Set(p, S::ModbusSlaveAddress, "247");
             Set(p, S::ModbusPollInterval, "1");
             Set(p, S::HartBufferClearTime, "000");
             Set(p, S::OutputVar2Range4mA, "-.5");
             Set(p, S::CoefficientVar1, "2.5  ");
             Set(p, S::MonitoringCommand1Bytes, "");
             Set(p, S::ReadCommand1Bytes, "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 23");
         },
         "", ""},
        {"no setting", [](Profile& p) { p.settings.clear(); }, "settings",
         "holds no setting: nothing to apply"},
        {"half a command", [](Profile& p) { std::erase_if(p.settings, Is(S::Rs485Parity)); },
         "settings.rs485.parity", "missing"},
        {"HART settings without the meter id",
         [](Profile& p) { std::erase_if(p.settings, Is(S::HartMeterId)); }, "settings.hart.meterId",
         "missing"},
        {"broadcast address", [](Profile& p) { Set(p, S::ModbusSlaveAddress, "000"); },
         "settings.system.slaveAddress", "must be a MODBUS slave address from 1 to 247, not 000"},
        {"item past the list", [](Profile& p) { Find(p, S::HartMeterId).number = 10; },
         "settings.hart.meterId", "no item"},
        {"text for a list", [](Profile& p) { Find(p, S::SystemMode).kind = ConfigFieldKind::Text; },
         "settings.system.mode", "must be a list item"},
        {"flag of 2", [](Profile& p) { Find(p, S::MonitoringCommand2Enable).number = 2; },
         "settings.monitoringCommand2.enable", "true or false"},
        {"given twice",
         [](Profile& p) {
             p.settings.push_back({S::ModbusSlaveAddress, ConfigFieldKind::Text, 0, "9"});
         },
         "settings.system.slaveAddress", "given twice"},
        {"not a setting",
         [](Profile& p) {
             p.settings.push_back({S::ParsingShown, ConfigFieldKind::Visible, 1, {}});
         },
         "settings", "ParsingShown"},
    };
    for (const auto& c : cases) {
        Profile p = FullProfile();
        c.edit(p);
        const auto error = ValidateProfile(p);
        if (!*c.field) {
            EXPECT_FALSE(error) << c.name << ": " << error->field << ": " << error->problem;
            continue;
        }
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(error->field, c.field) << c.name;
        EXPECT_NE(error->problem.find(c.problem), std::string::npos)
            << c.name << ": " << error->problem;
    }
}

TEST(ProfileCommands, PlanEndsWithTheLineSettingsAndClearsEmptyByteLists) {
    Profile p = FullProfile();
    Set(p, S::ReadCommand2Bytes, "");
    Set(p, S::MonitoringCommand1Bytes, "");
    const ApplyPlan plan = PlanApply(p);
    ASSERT_EQ(plan.steps.size(), 18u);
    EXPECT_EQ(plan.steps.back().frame, "QQS#BA2:52#");
    EXPECT_TRUE(plan.skipped.empty());
    // The module takes a count of 00 and no bytes as clearing the command.
    std::vector<std::string> cleared;
    for (const SequenceStep& step : plan.steps) {
        if (step.frame.ends_with("<00,")) cleared.push_back(step.frame);
    }
    EXPECT_EQ(cleared, (std::vector<std::string>{"QQS#CAMD02:1<00,", "QQS#WCAD01:1<00,"}));

    // A profile read from a universal-meter module lacks the custom parsing.
    Profile partial;
    partial.settings = {{S::Rs485BaudRate, ConfigFieldKind::ItemIndex, 3, {}},
                        {S::Rs485Parity, ConfigFieldKind::ItemIndex, 0, {}}};
    EXPECT_EQ(PlanApply(partial).steps.size(), 1u);
}

TEST(ProfileCommands, VerifyComparesValuesAsTheModuleReportsThem) {
    Profile wanted;
    wanted.settings = {{S::ModbusSlaveAddress, ConfigFieldKind::Text, 0, "1"},
                       {S::CoefficientVar1, ConfigFieldKind::Text, 0, "1.5"},
                       {S::Rs485BaudRate, ConfigFieldKind::ItemIndex, 3, {}},
                       {S::ParsingVar1Command, ConfigFieldKind::ItemIndex, 1, {}},
                       {S::MonitoringCommand1Bytes, ConfigFieldKind::Text, 0, "01"}};
    Profile read;
    read.settings = {{S::ModbusSlaveAddress, ConfigFieldKind::Text, 0, "001"},
                     {S::CoefficientVar1, ConfigFieldKind::Text, 0, "1.5  "},
                     {S::Rs485BaudRate, ConfigFieldKind::ItemIndex, 4, {}},
                     {S::HartMeterType, ConfigFieldKind::ItemIndex, 1, {}}};
    const auto rows = VerifyProfile(wanted, read);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_FALSE(rows[0].mismatch) << "001 is the address 1";
    EXPECT_FALSE(rows[1].mismatch) << "blanks fill a five-character field";
    EXPECT_TRUE(rows[2].mismatch);
    EXPECT_EQ(rows[2].readBack, "19200");
    EXPECT_FALSE(rows[3].mismatch) << "a universal meter does not report its custom parsing";
    EXPECT_TRUE(rows[4].mismatch);
    EXPECT_EQ(rows[4].readBack, "(not reported)");
}

// What differs goes again, by its command; never the line settings, which
// the module answers at only once they hold.
TEST(ProfileCommands, RepairSendsTheCommandsOfWhatDiffers) {
    Profile wanted;
    wanted.settings = {{S::ModbusSlaveAddress, ConfigFieldKind::Text, 0, "5"},
                       {S::ModbusPollInterval, ConfigFieldKind::Text, 0, "50"},
                       {S::Rs485BaudRate, ConfigFieldKind::ItemIndex, 4, {}},
                       {S::Rs485Parity, ConfigFieldKind::ItemIndex, 2, {}}};
    const auto row = [](const char* setting, bool mismatch) {
        return VerifyRow{setting, "", "", mismatch};
    };
    const auto labels = [&](std::vector<VerifyRow> rows) {
        std::vector<std::string> out;
        for (const SequenceStep& step : PlanRepair(wanted, rows).steps) out.push_back(step.label);
        return out;
    };
    EXPECT_TRUE(labels({row("system.slaveAddress", false)}).empty());
    EXPECT_EQ(labels({row("system.slaveAddress", true), row("system.pollInterval", false)}),
              std::vector<std::string>{"MODBUS slave address"});
    EXPECT_TRUE(labels({row("system.slaveAddress", true), row("rs485.parity", true)}).empty());
}

namespace {

std::string Ask(TavrixModule& module, const std::string& frame) {
    const auto reply = module.Answer(Bytes(frame.begin(), frame.end()));
    return reply ? std::string(reply->begin(), reply->end()) : "(silent)";
}

// A module read as Read Module reads it; each reply is judged whole and in shape.
Profile ReadModule(TavrixModule& module) {
    std::vector<std::string> replies;
    for (const SequenceStep& step : ReadModuleSteps()) {
        replies.push_back(Ask(module, step.frame));
        EXPECT_EQ(VerdictText(JudgeReply(step.code, step.frame, replies.back())), "valid")
            << step.frame << " answered " << replies.back();
    }
    return DecodeReadBack(replies, 0);
}

using Settings = void (*)(ModuleSettings&);

void Factory(ModuleSettings&) {}

// Every setting away from its factory value; a universal meter reports no
// custom parsing.
void Commissioned(ModuleSettings& s) {
    s.mode = 4;
    s.slaveAddress = "247";
    s.pollInterval = "999";
    s.rs485Baud = 5;
    s.rs485Parity = 2;
    s.responseTime = 0;
    s.range4mA = {"-99.9", "4", ".5"};
    s.range20mA = {"20", "99999", "-0.5"};
    s.var1Map = 3;
    s.floatOrder = {1, 0, 1, 1};
    s.coefficientMode = 3;
    s.coefficient1 = "-2.5";
    s.coefficients = {"0.1", "10.00", "3"};
    s.meterId = 3;
    s.hartEnable = 1;
    s.hartMode = 1;
    s.meterType = 1;
    s.preambles = 9;
    s.bufferClearTime = "000";
    s.monitoringCommands = {
        {{1, {0x0A, '#', 0x00}}, {1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x0A, 0x0B, 0x0C, 0xFF}}}};
}

void CustomMeter(ModuleSettings& s) {
    s.meterId = 9;
    s.addressBits = 3;
    s.parsing = {{{2, 99, 1}, {1, 0, 0}, {0, 50, 1}, {2, 7, 0}}};
    s.readCommands = {{{1, {0x01, 0x03, ',', ':'}}, {0, {0xFF}}}};
    s.monitoringCommands[1] = {0, {0x02}};
}

}  // namespace

// What Read Module gives can be applied back: it validates, every frame of
// its plan is acknowledged, and the module then reads back the same.
TEST(ProfileCommands, EveryReadProfileAppliesAndVerifies) {
    const struct {
        const char* name;
        Settings source;
        Settings target;
        size_t steps;
    } cases[] = {
        {"factory to factory", Factory, Factory, 18},
        {"commissioned to factory", Commissioned, Factory, 15},
        {"custom meter to factory", CustomMeter, Factory, 18},
        {"factory to a commissioned module", Factory, Commissioned, 18},
        {"factory to a custom meter", Factory, CustomMeter, 18},
        {"custom meter to a commissioned module", CustomMeter, Commissioned, 18},
        {"commissioned to a custom meter", Commissioned, CustomMeter, 15},
    };
    for (const auto& c : cases) {
        TavrixModule source;
        c.source(source.settings());
        const Profile profile = ReadModule(source);
        if (const auto error = ValidateProfile(profile)) {
            ADD_FAILURE() << c.name << ": " << error->field << ": " << error->problem;
            continue;
        }
        TavrixModule target;
        c.target(target.settings());
        const ApplyPlan plan = PlanApply(profile);
        EXPECT_EQ(plan.steps.size(), c.steps) << c.name;
        for (const SequenceStep& step : plan.steps) {
            EXPECT_TRUE(Ask(target, step.frame).ends_with(":OK#")) << c.name << ": " << step.frame;
        }
        const Profile again = ReadModule(target);
        for (const VerifyRow& row : VerifyProfile(profile, again)) {
            EXPECT_FALSE(row.mismatch)
                << c.name << ": " << row.setting << " " << row.wanted << " read " << row.readBack;
        }
        EXPECT_EQ(again.settings, profile.settings) << c.name;
    }
    // The meter id reads as the digit the module reports.
    TavrixModule module;
    CustomMeter(module.settings());
    const Profile read = ReadModule(module);
    ASSERT_NE(read.Find(S::HartMeterId), nullptr);
    EXPECT_EQ(SettingText(*read.Find(S::HartMeterId)), "9");
}

// The record of an apply under way comes back as written; a damaged one is
// refused whole rather than read as a warning with gaps; two ports never
// share a file.
TEST(UnfinishedApply, ReadsBackWhatWasWrittenAndRefusesDamage) {
    UnfinishedApply apply;
    apply.port = "/dev/serial/by-id/usb-FTDI_1";
    apply.started = "2026-12-10T06:00:00Z";
    apply.profileFile = "plan.json";
    apply.backup = "/state/backup.json";
    apply.lineBefore = {9600, 0};
    apply.lineAfter = UnfinishedLine{19200, 2};
    apply.Sent("Operation mode", false);
    apply.Sent("Operation mode", false);  // retried: once in the record
    apply.Sent("RS485 line settings", true);
    const QByteArray json = UnfinishedApplyJson(apply);
    const auto back = ReadUnfinishedApply(json);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->sent, (std::vector<std::string>{"Operation mode", "RS485 line settings"}));
    EXPECT_TRUE(back->rs485Sent);
    EXPECT_EQ(back->lineAfter, apply.lineAfter);
    EXPECT_EQ(back->lineBefore, apply.lineBefore);
    EXPECT_EQ(back->backup, apply.backup);

    for (const QByteArray& damaged :
         {json.left(json.size() / 2), QByteArray("[]"), QByteArray("{\"port\": \"/dev/x\"}"),
          QByteArray(json).replace("\"parity\": 0", "\"parity\": 7")}) {
        EXPECT_FALSE(ReadUnfinishedApply(damaged)) << damaged.toStdString();
    }
    EXPECT_EQ(UnfinishedApplyFileName("/dev/ttyUSB0"), "_2Fdev_2FttyUSB0.json");
    EXPECT_NE(UnfinishedApplyFileName("/dev/a_b"), UnfinishedApplyFileName("/dev/a/b"));
}

// Every value a profile may carry for each setting, applied to a module with
// a custom meter: every frame is taken, and every reply the module then gives
// is judged in shape (ReadModule), so no legal state reads as damaged.
TEST(ProfileCommands, EveryLegalValueOfEverySettingReadsBackInShape) {
    const auto text = [](std::vector<std::string> texts) {
        std::vector<ConfigField> fields;
        for (std::string& t : texts)
            fields.push_back({S{}, ConfigFieldKind::Text, 0, std::move(t)});
        return fields;
    };
    for (const ProfileSetting& s : ProfileSettings()) {
        EXPECT_EQ(s.name, ConfigSettingKey(s.setting)) << "reasons name it as profiles do";
        std::vector<ConfigField> values;
        switch (s.format) {
            case SettingFormat::Item:
                for (size_t i = 0; i < s.items.size(); ++i)
                    values.push_back(
                        {s.setting, ConfigFieldKind::ItemIndex, static_cast<int>(i), {}});
                break;
            case SettingFormat::Flag:
                values = {{s.setting, ConfigFieldKind::Checked, 0, {}},
                          {s.setting, ConfigFieldKind::Checked, 1, {}}};
                break;
            case SettingFormat::Number:
                values = text({std::to_string(s.min), std::to_string(s.max), "07"});
                break;
            case SettingFormat::RangeText:
                values = text({"-99.9", "4", ".5", "99999", "-0"});
                break;
            case SettingFormat::FiveChars:
                values = text({"-2.5", "1", "0.001", "12345", "7.   "});
                break;
            case SettingFormat::HexList:
                values = text({"", "00 FF", "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E"});
                break;
        }
        for (ConfigField& value : values) {
            value.setting = s.setting;
            const std::string shown = std::string(s.name) + " = " + SettingText(value);
            SCOPED_TRACE(shown);
            TavrixModule module;
            CustomMeter(module.settings());
            Profile profile = ReadModule(module);
            const auto at =
                std::find_if(profile.settings.begin(), profile.settings.end(), Is(s.setting));
            if (at == profile.settings.end()) {
                profile.settings.push_back(value);
            } else {
                *at = value;
            }
            if (const auto error = ValidateProfile(profile)) {
                ADD_FAILURE() << error->field << ": " << error->problem;
                continue;
            }
            for (const SequenceStep& step : PlanApply(profile).steps)
                EXPECT_TRUE(Ask(module, step.frame).ends_with(":OK#")) << step.frame;
            ReadModule(module);
        }
    }
}
