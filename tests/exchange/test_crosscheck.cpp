#include <gtest/gtest.h>

#include <cmath>

#include "exchange/crosscheck.h"
#include "modbus/byteorder.h"

namespace {

TEST(ModuleCoefficient, ModesAndTexts) {
    const std::array<std::string, 3> others{"2.000", "abc", " 0.5 "};
    struct Case {
        int variable, mode;
        const char* coefficient1;
        std::optional<double> factor;
    };
    const Case cases[] = {
        {1, 0, "0.001", 1.0}, {1, 1, "0.001", 3600.0}, {1, 2, "0.002", 0.002}, {1, 3, "0.002", 0.2},
        {1, 4, "0.002", {}},  {1, -1, "0.002", {}},    {1, 2, "", {}},         {2, 0, "", 2.0},
        {3, 3, "", {}},       {4, 0, "", 0.5},         {5, 0, "", {}},
    };
    for (const Case& c : cases) {
        const auto factor = ModuleCoefficient(c.variable, c.mode, c.coefficient1, others);
        ASSERT_EQ(factor.has_value(), c.factor.has_value()) << c.variable << " " << c.mode;
        if (factor) {
            EXPECT_DOUBLE_EQ(*factor, *c.factor) << c.variable << " " << c.mode;
        }
    }
}

TEST(AgreeWithin, RelativeToTheLarger) {
    EXPECT_TRUE(AgreeWithin(100, 100.1, 0.1));
    EXPECT_FALSE(AgreeWithin(100, 100.2, 0.1));
    EXPECT_TRUE(AgreeWithin(0, 0, 0));
    EXPECT_FALSE(AgreeWithin(0, 1e-30, 0.1));
    EXPECT_FALSE(AgreeWithin(std::nan(""), std::nan(""), 100));
}

// Why the two sides can't be compared, apart from a disagreement.
TEST(WhyNotComparable, EachReasonOnItsOwn) {
    CrossCheckSources base;
    base.hart = true;
    base.modbus = true;
    base.modbusVerdict.state = VerdictState::Valid;
    base.hartAgeMs = 5000;
    base.modbusAgeMs = 2000;
    const struct {
        const char* name;
        void (*change)(CrossCheckSources&);
        std::optional<std::string> why;
    } cases[] = {
        {"comparable", [](CrossCheckSources&) {}, std::nullopt},
        {"no HART", [](CrossCheckSources& s) { s.hart = false; }, "no HART command 3 reply yet"},
        {"no MODBUS", [](CrossCheckSources& s) { s.modbus = false; }, "no MODBUS reply yet"},
        {"never answered",
         [](CrossCheckSources& s) {
             s.modbus = false;
             s.modbusTimedOut = true;
         },
         "no MODBUS reply: the request timed out"},
        {"timed out since", [](CrossCheckSources& s) { s.modbusTimedOut = true; },
         "the last MODBUS request timed out: the reply kept (2 s old) is not what the module "
         "serves now"},
        {"pending", [](CrossCheckSources& s) { s.modbusPending = true; },
         "a MODBUS request still awaits its reply"},
        {"exception",
         [](CrossCheckSources& s) {
             s.modbusVerdict = JudgeReply(302, std::vector<uint8_t>{1, 3, 0, 0, 0, 10, 0xC5, 0xCD},
                                          std::vector<uint8_t>{1, 0x83, 2, 0xC0, 0xF1});
         },
         "the MODBUS reply is an exception 02 Illegal data address"},
        {"wrong slave",
         [](CrossCheckSources& s) {
             s.modbusVerdict = JudgeReply(302, std::vector<uint8_t>{1, 3, 0, 0, 0, 10, 0xC5, 0xCD},
                                          std::vector<uint8_t>{5, 3});
         },
         "the MODBUS reply is wrong: slave 5 answered; 1 was asked"},
        {"older than HART", [](CrossCheckSources& s) { s.modbusAgeMs = 65000; },
         "the MODBUS reply (1 min 5 s old) is older than the HART values (5 s old): read MODBUS "
         "again"},
    };
    for (const auto& c : cases) {
        CrossCheckSources sources = base;
        c.change(sources);
        EXPECT_EQ(WhyNotComparable(sources), c.why) << c.name;
    }
}

// A row disagrees only where both values were there; otherwise it could not compare.
TEST(CrossCheck, DisagreesOnlyWithBothValues) {
    HartDynamicValues hart;
    hart.variables.push_back({12.5f, 0, 0, {}});
    hart.variables.push_back({3.0f, 0, 0, {}});
    const auto wire = FloatToWire(0, 99.0f);
    const std::vector<uint16_t> registers = {static_cast<uint16_t>(wire[0] << 8 | wire[1]),
                                             static_cast<uint16_t>(wire[2] << 8 | wire[3])};
    CrossCheckSettings settings;
    settings.coefficientMode = 0;
    const auto rows = CrossCheck(hart, registers, 40003, settings);
    EXPECT_EQ(rows[0].state, CrossCheckState::Disagrees);
    EXPECT_EQ(rows[1].state, CrossCheckState::CouldNotCompare);  // registers not in the reply
    EXPECT_EQ(rows[2].state, CrossCheckState::CouldNotCompare);  // not in the HART reply
}

}  // namespace

// Only a read of every variable's registers stands for the module's side.
TEST(VariablesReadStart, OnlyAReadCoveringEveryVariable) {
    const struct {
        std::vector<uint8_t> request;  // CRC bytes are not looked at
        std::optional<int> start;
    } cases[] = {
        {{1, 3, 0, 0, 0, 10, 0, 0}, 40001},  // the window's MODBUS test
        {{1, 3, 0, 2, 0, 8, 0, 0}, 40003},   // exactly the variables
        {{1, 3, 0, 2, 0, 7, 0, 0}, std::nullopt},  // variable 4 cut
        {{1, 3, 0, 3, 0, 8, 0, 0}, std::nullopt},  // starts past 40003
        {{1, 3, 1, 44, 0, 4, 0, 0}, std::nullopt},  // modbus read 1 300 4
        {{1, 4, 0, 0, 0, 10, 0, 0}, std::nullopt},  // another function
        {{1, 3, 0, 0, 0, 10}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(VariablesReadStart(c.request), c.start);
}
