// The cross-check against the simulated module: its instrument's command 3
// reply and its MODBUS registers, read with the tool's own frames and
// decoders, under the faults the simulator can be told to make.
#include <gtest/gtest.h>

#include <functional>

#include "exchange/crosscheck.h"
#include "hart/frames.h"
#include "modbus/request.h"
#include "sim/tavrixmodule.h"

namespace {

std::vector<CrossCheckRow> CheckModule(TavrixModule& module, const CrossCheckSettings& settings) {
    const auto& s = module.settings();
    const HartIdentity identity{s.hart.manufacturer, s.hart.deviceType, s.hart.deviceId};
    const auto hartReply = module.Answer(HartCommand3Frame(5, kPrimaryMaster, identity));
    const ModbusRequest request = ReadHoldingRegistersRequest(1, 0, 10);
    const auto modbusReply = module.Answer(Bytes(request.begin(), request.end()));
    EXPECT_TRUE(hartReply && modbusReply);
    if (!hartReply || !modbusReply) return {};
    const auto hart = ParseHartCommand3Values(*hartReply);
    const ModbusReply modbus = DecodeModbusReply(*modbusReply);
    EXPECT_TRUE(hart && modbus.crcOk);
    if (!hart) return {};
    return CrossCheck(*hart, modbus.registers, kFirstHoldingRegister, settings);
}

struct Case {
    const char* what;
    std::function<void(ModuleSettings&, CrossCheckSettings&)> setUp;
    std::array<bool, 4> agree;
    int variable;         // 1..4: the row whose verdict is checked
    const char* verdict;  // that row's verdict
};

TEST(CrossCheck, FindsWhatTheModuleDoes) {
    const Case cases[] = {
        {"orders as listed",
         [](ModuleSettings& m, CrossCheckSettings& c) {
             m.floatOrder = {0, 1, 0, 1};
             c.listOrder = {0, 1, 0, 1};
         },
         {true, true, true, true},
         2,
         "Variable 2: agrees in byte order 1 (FF2 FF1 FF4 FF3)"},
        {"module set to another order than the list",
         [](ModuleSettings& m, CrossCheckSettings&) {
             m.floatOrder = {0, 1, 0, 0};
         },
         {true, false, true, true},
         2,
         "Variable 2: byte order 1 (FF2 FF1 FF4 FF3) matches; the list says 0"},
        {"an order the lists lack, typed text in the list",
         [](ModuleSettings& m, CrossCheckSettings& c) {
             m.modbusOrderFault[3] = 3;
             c.listOrder[3] = -1;
         },
         {true, true, true, false},
         4,
         "Variable 4: byte order 3 (FF1 FF2 FF3 FF4) matches; the list holds no order"},
        {"coefficients applied",
         [](ModuleSettings& m, CrossCheckSettings& c) {
             m.coefficientMode = c.coefficientMode = 3;
             m.coefficient1 = c.coefficient1 = "0.002";
             m.coefficients[0] = c.coefficients[0] = "2.000";
         },
         {true, true, true, true},
         1,
         "Variable 1: agrees in byte order 0 (FF4 FF3 FF2 FF1)"},
        {"window expects a coefficient the module does not apply",
         [](ModuleSettings&, CrossCheckSettings& c) { c.coefficients[0] = "2.000"; },
         {true, false, true, true},
         2,
         "Variable 2: no byte order matches 7.5; byte order 0 (FF4 FF3 FF2 FF1) matches without "
         "the coefficient 2"},
        {"a value no order explains",
         [](ModuleSettings& m, CrossCheckSettings&) { m.modbusValueFault[2] = -7; },
         {true, true, false, true},
         3,
         "Variable 3: no byte order matches 101.325"},
        {"fewer HART variables",
         [](ModuleSettings& m, CrossCheckSettings&) { m.hart.variableCount = 2; },
         {true, true, false, false},
         3,
         "Variable 3: could not compare: not in the HART reply (it carries 2 variables)"},
        {"a variable not available",
         [](ModuleSettings& m, CrossCheckSettings&) { m.hart.nanVariable = 1; },
         {true, false, true, true},
         2,
         "Variable 2: could not compare: the instrument reports the value not available"},
    };
    for (const Case& c : cases) {
        TavrixModule module;
        CrossCheckSettings settings;
        c.setUp(module.settings(), settings);
        const auto rows = CheckModule(module, settings);
        ASSERT_EQ(rows.size(), 4u) << c.what;
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(rows[i].agree, c.agree[i]) << c.what << " " << i;
        EXPECT_EQ(rows[static_cast<size_t>(c.variable - 1)].verdict, c.verdict) << c.what;
    }
}

}  // namespace
