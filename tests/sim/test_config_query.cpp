// The simulated module's answers to the configuration queries.
#include <gtest/gtest.h>

#include <string>

#include "sim/configqueryresponder.h"
#include "sim/tavrixmodule.h"

namespace {

std::string Ask(TavrixModule& module, const std::string& query) {
    const auto reply = module.Answer(Bytes(query.begin(), query.end()));
    return reply ? std::string(reply->begin(), reply->end()) : "<silent>";
}

TEST(ConfigQueryResponder, FactorySettings) {
    TavrixModule module;
    const struct {
        const char* query;
        const char* reply;
    } cases[] = {
        {"QQQ#QX#", "QX#BA2:30,MD:1,ADR:001,JTM:050,XY1:3#"},
        {"QQQ#QD#", "QD#DA2:0.000,100.0,DA3:0.000,100.0,DA4:0.000,100.0,MD:1,YSM:0#"},
        {"QQQ#QQ0#",
         "QQ0#FMW:0,0.001;FMU:1.000,1.000,1.000;HART0:0,0,00,4,060,0000;"
         "ZDY0:8,0000,0000,0000,0000;CAMD01:0,00,;CAMD02:0,00,#"},
        {"QQQ#RCAD01#", "RCAD1:0,00,#"},
        {"QQQ#RCAD02#", "RCAD2:0,00,#"},
        {"QQQ#QX", "<silent>"},  // incomplete query
        {"QQQ#RCAD03#", "<silent>"},
    };
    for (const auto& c : cases) EXPECT_EQ(Ask(module, c.query), c.reply) << c.query;
}

TEST(ConfigQueryResponder, ChangedSettings) {
    ModuleSettings s;
    s.rs485Baud = 5;
    s.rs485Parity = 2;
    s.mode = 4;
    s.slaveAddress = "17";  // stored short: still three characters on the line
    s.pollInterval = "1234";
    s.responseTime = 0;
    s.range4mA = {"1.500", "2.5", "-1.00"};  // a short text keeps its place
    s.range20mA = {"20.00", "30.00", "40.00"};
    s.var1Map = 3;
    s.coefficientMode = 3;
    s.meterId = 0;
    s.hartEnable = 1;
    s.hartMode = 1;
    s.meterType = 0;
    s.preambles = 9;
    s.bufferClearTime = "5";
    s.floatOrder = {1, 0, 1, 1};
    s.addressBits = 3;
    s.parsing = {{{1, 5, 1}, {2, 12, 0}, {0, 0, 0}, {1, 99, 1}}};
    s.readCommands[0] = {1, {0x01, 0x03}};
    s.readCommands[1] = {0, std::vector<uint8_t>(20, 0xAB)};  // more than the module keeps
    s.monitoringCommands[1] = {1, {0xFF, 0x00, 0x0F}};

    EXPECT_EQ(SystemParametersReply(s), "QX#BA2:52,MD:4,ADR:017,JTM:123,XY1:0#");
    EXPECT_EQ(CurrentOutputReply(s),
              "QD#DA2:1.500,20.00,DA3:2.5  ,30.00,DA4:-1.00,40.00,MD:4,YSM:3#");
    EXPECT_EQ(ModbusParametersReply(s),
              "QQ0#FMW:3,0.001;FMU:1.000,1.000,1.000;HART0:1,1,00,9,005,1011;"
              "ZDY0:3,1051,2120,0000,1991;CAMD01:1,02,01 03;"
              "CAMD02:0,14,AB AB AB AB AB AB AB AB AB AB AB AB AB AB#");
    EXPECT_EQ(MonitoringCommandReply(s, 2), "RCAD2:1,03,FF 00 0F#");

    s.meterType = 1;  // a universal meter has no parsing format to report
    EXPECT_EQ(ModbusParametersReply(s),
              "QQ0#FMW:3,0.001;FMU:1.000,1.000,1.000;HART0:1,1,01,9,005,1011#");
}

}  // namespace
