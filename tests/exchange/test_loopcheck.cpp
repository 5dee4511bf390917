// The loop check's plan and judgement: points and tolerance as typed, the
// announcement, the steps of a point and each point's verdict from what the
// two sides read back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "exchange/loopcheck.h"
#include "exchange/requestcodes.h"
#include "modbus/byteorder.h"

namespace {

TEST(LoopPoints, AsTyped) {
    const struct {
        const char* text;
        std::vector<double> points;
        const char* error;
    } cases[] = {
        {"4,12,20", {4, 12, 20}, ""},
        {" 3.8, 20.5 ", {3.8, 20.5}, ""},
        {"12", {12}, ""},
        {"4,,20", {}, "\"\" is not a number"},
        {"", {}, "is not a number"},
        {"4,twelve", {}, "\"twelve\" is not a number"},
        {"0,12", {}, "0 mA is outside 3.5 to 22.5 mA"},
        {"4,25", {}, "25 mA is outside"},
        {"4,5,6,7,8,9,10,11,12,13,14", {}, "at most 10 loop points, 11 given"},
        {"nan", {}, "not a number"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto points = ParseLoopPoints(c.text, &error);
        if (*c.error) {
            EXPECT_FALSE(points) << c.text;
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        } else {
            ASSERT_TRUE(points) << c.text << ": " << error;
            EXPECT_EQ(*points, c.points);
        }
    }
    std::string error;
    EXPECT_EQ(ParseLoopTolerance("0.1", &error), 0.1);
    for (const char* bad : {"0", "-0.05", "3", "x", ""})
        EXPECT_FALSE(ParseLoopTolerance(bad, &error)) << bad;
}

TEST(LoopCheck, Announcement) {
    EXPECT_EQ(LoopCheckAnnouncement({4, 12, 20}),
              "the loop current will be held at 4, 12 and 20 mA: the control system will see "
              "these values");
    EXPECT_EQ(LoopCheckAnnouncement({12.5}),
              "the loop current will be held at 12.5 mA: the control system will see these values");
}

TEST(LoopCheck, PointStepsFixReadBothSidesAndLeave) {
    const HartIdentity id{0x5A, 0x0B, {0x12, 0x34, 0x56}};
    const auto steps = LoopPointSteps(id, 17, 20.0);
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].code, kCodeHartCommand40);
    EXPECT_EQ(steps[1].code, kCodeHartCommand2);
    EXPECT_EQ(steps[2].code, kCodeHartCommand3);
    EXPECT_EQ(steps[3].code, kCodeModbusTest);
    EXPECT_EQ(steps[0].label, "HART command 40 at 20 mA");
    // 20.0 as a HART float: 41 A0 00 00, the last four data bytes before the checksum.
    const std::string& fix = steps[0].frame;
    EXPECT_EQ(fix.substr(fix.size() - 5, 4), std::string("\x41\xA0\x00\x00", 4));
    // Slave 17, function 3, start 2 (40003), two registers.
    EXPECT_EQ(steps[3].frame.substr(0, 6), std::string("\x11\x03\x00\x02\x00\x02", 6));
    const SequenceStep leave = LeaveFixedCurrentStep(id);
    EXPECT_EQ(leave.code, kCodeHartCommand40);
    EXPECT_EQ(leave.frame.substr(leave.frame.size() - 5, 4), std::string(4, '\0'));
}

// Register pair of `value` in byte order `order`.
std::vector<uint16_t> Registers(float value, int order) {
    const auto w = FloatToWire(order, value);
    return {static_cast<uint16_t>(w[0] << 8 | w[1]), static_cast<uint16_t>(w[2] << 8 | w[3])};
}

TEST(LoopCheck, Judgement) {
    CrossCheckSettings plain;  // order 0, coefficient mode 0: none
    CrossCheckSettings swapped = plain;
    swapped.listOrder[0] = 1;
    CrossCheckSettings scaled = plain;
    scaled.coefficientMode = 2;
    scaled.coefficient1 = "2.5";
    CrossCheckSettings broken = scaled;
    broken.coefficient1 = "x";
    const auto replies = [](float hart, float modbus, int order = 0) {
        return LoopPointReplies{hart, HartLoopReading{hart, (hart - 4) / 16 * 100}, hart,
                                Registers(modbus, order)};
    };
    const struct {
        const char* name;
        double target;
        LoopPointReplies replies;
        CrossCheckSettings module;
        bool pass;
        const char* why;
    } cases[] = {
        {"exact", 12, replies(12, 12), plain, true, ""},
        {"within tolerance", 4, replies(4.04f, 3.96f), plain, true, ""},
        {"modbus off 0.2", 20, replies(20, 20.2f), plain, false,
         "MODBUS 40003 20.200 mA is +0.200 mA off"},
        {"hart off", 20, replies(19.9f, 20), plain, false, "HART 19.900 mA is -0.100 mA off"},
        {"words swapped as set", 12, replies(12, 12, 1), swapped, true, ""},
        {"words swapped, not set", 12, replies(12, 12, 1), plain, false, "MODBUS 40003"},
        {"coefficient", 12, replies(12, 30), scaled, true, ""},
        {"unusable coefficient", 12, replies(12, 30), broken, false, "coefficient \"x\""},
        {"no command 2",
         12,
         {12.0f, std::nullopt, 12.0f, Registers(12, 0)},
         plain,
         false,
         "command 2 gave no loop current"},
        {"loop current not available",
         12,
         {12.0f, HartLoopReading{std::nanf(""), std::nanf("")}, std::nanf(""), Registers(12, 0)},
         plain,
         false,
         "command 2 reports the loop current not available; command 3 reports the loop current "
         "not available"},
        {"register not a number", 12, replies(12, std::nanf("")), plain, false,
         "MODBUS 40003 holds no number (not available)"},
        {"no registers",
         12,
         {12.0f, HartLoopReading{12, 50}, 12.0f, {}},
         plain,
         false,
         "register 40003 was not read"},
        {"fixed elsewhere",
         12,
         {4.0f, HartLoopReading{12, 50}, 12.0f, Registers(12, 0)},
         plain,
         false,
         "the instrument fixed 4.000 mA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoopPointResult r = JudgeLoopPoint(c.target, c.replies, c.module, 0.05);
        EXPECT_EQ(r.pass, c.pass) << r.why;
        EXPECT_NE(r.why.find(c.why), std::string::npos) << r.why;
        EXPECT_EQ(LoopPointLine(r).find("nan"), std::string::npos) << LoopPointLine(r);
        EXPECT_EQ(LoopPointLine(r).find(c.pass ? ": pass" : ": FAIL ("),
                  LoopPointLine(r).find(':', 6))
            << LoopPointLine(r);
    }
    LoopPointReplies warned = replies(12, 30);
    const LoopPointResult r = JudgeLoopPoint(12, warned, scaled, 0.05);
    EXPECT_EQ(LoopPointLine(r),
              "12 mA: HART 12.000 mA (50.0 %), MODBUS 40003 12.000 mA, deviation +0.000 mA: pass");
    // A warning the replies came with is named; the values still count.
    warned.warning = "command 2: response code 8 update failure";
    EXPECT_EQ(LoopPointLine(JudgeLoopPoint(12, warned, scaled, 0.05)),
              "12 mA: HART 12.000 mA (50.0 %), MODBUS 40003 12.000 mA, deviation +0.000 mA: pass "
              "(warning: command 2: response code 8 update failure)");
}

}  // namespace
