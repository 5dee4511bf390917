// The commissioning writes' steps, words and verdicts, and the loop current
// trim as a procedure: which command comes next whatever the instrument says,
// and that it always ends with command 40 with 0 once the loop was held.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "exchange/hartcommission.h"
#include "exchange/requestcodes.h"
#include "modbus/byteorder.h"
#include "modbus/crc16.h"

namespace {

const HartIdentity kId{0x5A, 0x0B, {0x12, 0x34, 0x56}};

// Where a master's long frame holds its command and its data.
size_t CommandAt(const std::string& frame) { return frame.find('\x82') + 6; }
std::string DataOf(const std::string& frame) {
    return frame.substr(CommandAt(frame) + 2, frame.size() - CommandAt(frame) - 3);
}

HartBytes Float(float v) { return HartFixedCurrentData(v); }  // a HART float

// A long-frame reply to `command` with `code` and `status`, carrying `data`.
std::string Reply(uint8_t command, const HartBytes& data, uint8_t code = 0, uint8_t status = 0) {
    HartBytes body{0x86, 0x9A, 0x0B, 0x12, 0x34, 0x56, command,
                   static_cast<uint8_t>(data.size() + 2), code, status};
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(HartChecksum(body));
    body.insert(body.begin(), 5, 0xFF);
    return std::string(body.begin(), body.end());
}

// Command 0 at polling address 0, revision 7, with `status` and `counter`.
std::string Identity(uint8_t status, uint16_t counter) {
    HartBytes data{254, 0x5A, 0x0B, 5, 7, 1, 1, 0, 0, 0x12, 0x34, 0x56, 5, 4,
                   static_cast<uint8_t>(counter >> 8), static_cast<uint8_t>(counter), 0,
                   0, 0x5A, 0, 0x5A, 1};
    HartBytes body{0x06, 0x80, 0, static_cast<uint8_t>(data.size() + 2), 0, status};
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(HartChecksum(body));
    body.insert(body.begin(), 5, 0xFF);
    return std::string(body.begin(), body.end());
}

std::string Info(uint8_t unit, float damping) {
    HartBytes d{0, 0, unit};
    for (float v : {25.0f, 0.0f, damping}) {
        const HartBytes f = Float(v);
        d.insert(d.end(), f.begin(), f.end());
    }
    d.push_back(0);
    d.push_back(250);
    return Reply(15, d);
}

HartExchange Got(std::string reply) {
    HartExchange x;
    x.reply = std::move(reply);
    return x;
}
HartExchange Refused(uint8_t code) { return {std::nullopt, code, 0, ""}; }
HartExchange Lost() {
    return {std::nullopt, std::nullopt, std::nullopt, "no reply to HART command"};
}

HartDeviceReply Device(int revision, uint16_t counter) {
    HartDeviceReply d;
    d.identity = kId;
    d.universalRevision = static_cast<uint8_t>(revision);
    if (revision >= 6) d.configChangeCounter = counter;
    return d;
}

}  // namespace

TEST(HartCommission, StepsAndChangeInWords) {
    HartDeviceInfo before;
    before.damping = 0.5f;
    before.rangeUnitCode = 12;
    const HartCommission damping{HartCommission::Kind::Damping, 2.0f};
    const HartCommission units{HartCommission::Kind::PvUnits, 0, 7};
    const HartCommission reset{HartCommission::Kind::ResetChanged};
    const HartCommission resetSeen{HartCommission::Kind::ResetChanged, 0, 0, 3};
    const struct {
        HartCommission write;
        int revision;
        const char* change;
        int code;
        std::string data;  // the frame's data bytes
        int readBack;      // its code; 0 none
    } cases[] = {
        {damping, 5, "damping 0.5 s → 2 s", kCodeHartCommand34, std::string("\x40\x00\x00\x00", 4),
         kCodeHartCommand15},
        {units, 5, "PV units kPa → bar", kCodeHartCommand44, "\x07", kCodeHartCommand15},
        // Revision 7 names the counter it resets the flag for; earlier ones send none.
        {reset, 7, "reset the configuration changed flag (change counter 9)", kCodeHartCommand38,
         std::string("\x00\x09", 2), kCodeHartCommand0},
        {resetSeen, 7, "reset the configuration changed flag (change counter 3)",
         kCodeHartCommand38, std::string("\x00\x03", 2), kCodeHartCommand0},
        {reset, 5, "reset the configuration changed flag", kCodeHartCommand38, "",
         kCodeHartCommand0},
        {{HartCommission::Kind::SelfTest}, 5, "self test", kCodeHartCommand41, "",
         kCodeHartCommand48},
        {{HartCommission::Kind::DeviceReset}, 5, "device reset", kCodeHartCommand42, "", 0},
    };
    for (const auto& c : cases) {
        const HartDeviceReply device = Device(c.revision, 9);
        EXPECT_EQ(HartCommissionChange(c.write, device, before), c.change);
        std::string error;
        const auto step = HartCommissionStep(device, c.write, &error);
        ASSERT_TRUE(step) << c.change << error;
        EXPECT_EQ(step->code, c.code) << c.change;
        EXPECT_EQ(DataOf(step->frame), c.data) << c.change;
        const auto back = HartCommissionReadBack(device, 0, c.write);
        EXPECT_EQ(back ? back->code : 0, c.readBack) << c.change;
    }
    std::string error;
    const HartCommission nan{HartCommission::Kind::Damping, NAN};
    EXPECT_FALSE(HartCommissionStep(Device(5, 0), nan, &error));
    EXPECT_FALSE(error.empty());
}

TEST(HartCommission, Verdicts) {
    using V = HartCommissionResult::Verdict;
    const HartCommission damping{HartCommission::Kind::Damping, 2.0f};
    const HartCommission units{HartCommission::Kind::PvUnits, 0, 7};
    const HartCommission reset{HartCommission::Kind::ResetChanged};
    const HartCommission selfTest{HartCommission::Kind::SelfTest};
    const struct {
        const char* name;
        HartCommission write;
        HartExchange sent, readBack;
        V verdict;
        const char* text;
    } cases[] = {
        {"damping", damping, Got(Reply(34, Float(2))), Got(Info(12, 2)), V::Done,
         "done and read back: damping 2 s"},
        {"damping differs", damping, Got(Reply(34, Float(2))), Got(Info(12, 0.5f)), V::Differs,
         "read back differs: damping 0.5 s"},
        {"write protected", damping, Refused(7), {}, V::Refused,
         "refused: response code 7 in write-protect mode"},
        // Taken as the nearest value it can: held against that, the warning said.
        {"nearest value", {HartCommission::Kind::Damping, 99}, Got(Reply(34, Float(60), 8)),
         Got(Info(12, 60)), V::Done,
         "done and read back: damping 60 s (carried out with response code 8 set to nearest "
         "possible value)"},
        {"no reply", damping, Lost(), {}, V::NoReply, "no reply: no reply to HART command"},
        {"read back lost", damping, Got(Reply(34, Float(2))), Lost(), V::NoReply,
         "carried out, but the read back got no reply: no reply to HART command"},
        {"units", units, Got(Reply(44, {7})), Got(Info(7, 0.5f)), V::Done,
         "done and read back: PV units bar"},
        {"units differ", units, Got(Reply(44, {7})), Got(Info(12, 0.5f)), V::Differs,
         "read back differs: PV units kPa"},
        {"units refused", units, Refused(12), {}, V::Refused,
         "refused: response code 12 invalid units code"},
        {"flag cleared", reset, Got(Reply(38, {0, 9})), Got(Identity(0, 9)), V::Done,
         "done and read back: configuration changed flag clear, change counter 9"},
        {"flag still set", reset, Got(Reply(38, {0, 9})), Got(Identity(0x40, 9)), V::Differs,
         "read back differs: the configuration changed flag is still set, change counter 9"},
        {"counter moved on", reset, Refused(9), {}, V::Refused,
         "refused: response code 9 configuration change counter mismatch"},
        {"self test clear", selfTest, Got(Reply(41, {})), Got(Reply(48, HartBytes(14, 0))),
         V::Done, "done; additional status all clear, device status: device OK"},
        {"self test without 48", selfTest, Got(Reply(41, {})), Refused(64), V::Done,
         "done; no additional status (response code 64 command not implemented), device status: "
         "device OK"},
        {"reset", {HartCommission::Kind::DeviceReset}, Got(Reply(42, {})), {}, V::Done,
         "done: the instrument restarts"},
    };
    for (const auto& c : cases) {
        HartExchange readBack = c.readBack;
        if (readBack.reply) readBack.deviceStatus = 0;
        const HartCommissionResult r = JudgeHartCommission(c.write, c.sent, readBack);
        EXPECT_EQ(r.verdict, c.verdict) << c.name;
        EXPECT_EQ(r.text, c.text) << c.name;
    }
}

namespace {

// The module's reply to a read of registers 40003-40004 holding `value`.
std::string Registers(float value) {
    const auto w = FloatToWire(0, value);
    HartBytes f{1, 3, 4, w[0], w[1], w[2], w[3]};
    const auto crc = ModbusCrc16(f);
    f.insert(f.end(), crc.begin(), crc.end());
    return std::string(f.begin(), f.end());
}

// The instrument's echo of the trim step sent: its own data back.
std::string Echo(const SequenceStep& step) {
    const std::string data = DataOf(step.frame);
    return Reply(static_cast<uint8_t>(step.frame[CommandAt(step.frame)]),
                 HartBytes(data.begin(), data.end()));
}

// What happens at each stage of a trim, as a script: R reply as asked (the
// module's registers hold `value`), X refused with `value` as its code, L
// lost, S the engineer supplies `value`, C cancel.
struct Act {
    char what;
    double value = 0;
};

}  // namespace

TEST(HartLoopTrim, ProcedureWhateverHappens) {
    const ModuleLoopMeter meter{1, {}};
    const struct {
        const char* name;
        bool meter;
        std::vector<Act> acts;
        std::string sent;  // the commands sent, M the module's registers
        const char* failure;
        bool zero, gain, left;
        const char* summary;
    } cases[] = {
        {"the whole procedure", true,
         {{'R'}, {'R', 4.013}, {'S', 4.013}, {'R'}, {'R'}, {'R', 19.98}, {'S', 19.98}, {'R'},
          {'R'}},
         "40 M 45 40 M 46 40", "", true, true, true,
         "loop current trimmed: 4 mA read 4.013 mA, 20 mA read 19.980 mA; fixed current mode "
         "left: the loop current follows the process again"},
        {"no module settings: no registers asked", false,
         {{'R'}, {'S', 4.0}, {'R'}, {'R'}, {'S', 20.0}, {'R'}, {'R'}}, "40 45 40 46 40", "", true,
         true, true, nullptr},
        {"zero trim refused", true, {{'R'}, {'R', 4.0}, {'S', 4.5}, {'X', 9}, {'R'}},
         "40 M 45 40",
         "the zero trim was refused: response code 9 incorrect loop current mode or value",
         false, false, true, nullptr},
        {"fix refused: released all the same", true, {{'X', 11}, {'R'}}, "40 40",
         "command 40 at 4 mA refused: response code 11 in multidrop mode", false, false, true,
         nullptr},
        {"cancel at the reading", true, {{'R'}, {'R', 4.0}, {'C'}, {'R'}}, "40 M 40", "", false,
         false, true, "loop current trim cancelled; fixed current mode left: the loop current "
                      "follows the process again"},
        {"cancel at 20 mA", true,
         {{'R'}, {'L'}, {'S', 4.0}, {'R'}, {'R'}, {'R', 20.0}, {'C'}, {'R'}},
         "40 M 45 40 M 40", "", true, false, true, nullptr},
        {"gain lost, release never confirmed", true,
         {{'R'}, {'R', 4.0}, {'S', 4.0}, {'R'}, {'R'}, {'R', 20.0}, {'S', 20.0}, {'L'}, {'L'},
          {'L'}, {'L'}},
         "40 M 45 40 M 46 40 40 40", "the gain trim got no reply: no reply", true, false, false,
         nullptr},
    };
    for (const auto& c : cases) {
        HartLoopTrim trim(kId, c.meter ? std::optional(meter) : std::nullopt);
        std::string sent;
        for (const Act& a : c.acts) {
            ASSERT_FALSE(trim.finished()) << c.name;
            const auto step = trim.Step();
            if (step) {
                const auto command = static_cast<uint8_t>(step->frame[CommandAt(step->frame)]);
                sent += (sent.empty() ? "" : " ") + (step->code == kCodeModbusTest
                                                         ? std::string("M")
                                                         : std::to_string(command));
            }
            switch (a.what) {
                case 'R':
                    ASSERT_TRUE(step) << c.name;
                    trim.Took(Got(step->code == kCodeModbusTest
                                      ? Registers(static_cast<float>(a.value))
                                      : Echo(*step)));
                    if (step->code == kCodeModbusTest) {
                        EXPECT_EQ(trim.SuggestionText(),
                                  "suggested from the module's MODBUS reading: " +
                                      TrimCurrentText(a.value) + " mA")
                            << c.name;
                    }
                    break;
                case 'X':
                    trim.Took(Refused(static_cast<uint8_t>(a.value)));
                    break;
                case 'L':
                    trim.Took(Lost());
                    if (step && step->code == kCodeModbusTest) {
                        EXPECT_EQ(trim.SuggestionText(), "no suggestion: no reply to HART command");
                    }
                    break;
                case 'S':
                    ASSERT_TRUE(trim.AwaitsReading()) << c.name;
                    ASSERT_TRUE(trim.Supply(a.value, nullptr)) << c.name;
                    break;
                case 'C':
                    trim.Cancel();
                    break;
            }
        }
        EXPECT_TRUE(trim.finished()) << c.name;
        EXPECT_EQ(sent, c.sent) << c.name;
        const HartTrimReport& r = trim.report();
        EXPECT_NE(r.failure.find(c.failure), std::string::npos) << c.name << ": " << r.failure;
        EXPECT_EQ(r.zeroTrimmed, c.zero) << c.name;
        EXPECT_EQ(r.gainTrimmed, c.gain) << c.name;
        EXPECT_EQ(r.fixedLeft, c.left) << c.name;
        if (!c.left) {
            EXPECT_NE(r.exitNote.find("may still be on"), std::string::npos) << c.name;
        }
        if (c.summary) {
            EXPECT_EQ(r.Summary(), c.summary) << c.name;
        }
    }
}

TEST(HartLoopTrim, AReadingFarFromItsLevelIsAskedAgain) {
    HartLoopTrim trim(kId, std::nullopt);
    trim.Took(Got(Echo(*trim.Step())));
    ASSERT_TRUE(trim.AwaitsReading());
    EXPECT_EQ(trim.SuggestionText(),
              "no suggestion: the module's byte order and coefficient are unknown");
    std::string error;
    // 40.13 for 4.013: a slip of the decimal point, not a trim.
    EXPECT_FALSE(trim.Supply(40.13, &error));
    EXPECT_EQ(error,
              "the reading 40.13 mA is more than 1 mA from 4 mA: check the meter and its range");
    EXPECT_FALSE(trim.Supply(NAN, &error));
    EXPECT_TRUE(trim.AwaitsReading());
    EXPECT_TRUE(trim.Supply(3.2, &error));
}
