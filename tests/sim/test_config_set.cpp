// The simulated module learns every set command and acknowledges it.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sim/configsetresponder.h"
#include "sim/tavrixmodule.h"

namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string S(const std::optional<Bytes>& b) {
    return b ? std::string(b->begin(), b->end()) : "<none>";
}

TEST(ConfigSet, EachCommandUpdatesItsSettingsAndIsAcknowledged) {
    struct Case {
        std::string request, reply;
        std::function<void(const ModuleSettings&)> check;
    } cases[] = {
        {"QQS#MD:4#", "QQS#MD:OK#", [](auto& s) { EXPECT_EQ(s.mode, 4); }},
        {"QQS#ADR:007#", "QQS#ADR:OK#", [](auto& s) { EXPECT_EQ(s.slaveAddress, "007"); }},
        {"QQS#JTM:120#", "QQS#JTM:OK#", [](auto& s) { EXPECT_EQ(s.pollInterval, "120"); }},
        {"QQS#BA2:52#", "QQS#BA2:OK#",
         [](auto& s) {
             EXPECT_EQ(s.rs485Baud, 5);
             EXPECT_EQ(s.rs485Parity, 2);
         }},
        {"QQS#XY1:5#", "QQS#XY1:OK#", [](auto& s) { EXPECT_EQ(s.responseTime, 5); }},
        {"QQS#YSM:2#", "QQS#YSM:OK#", [](auto& s) { EXPECT_EQ(s.var1Map, 2); }},
        {"QQS#DFOT1:1010#", "QQS#DFOT1:OK#",
         [](auto& s) {
             EXPECT_EQ(s.floatOrder, (std::array<int, 4>{1, 0, 1, 0}));
         }},
        {"JXKORV#PCBSN:123456789,104#", "JXKORV#PCBSN:OK#",
         [](auto& s) {
             EXPECT_EQ(s.pcbsn, "123456789");
             EXPECT_EQ(s.inspector, "104");
         }},
        {"QQKORV#DA3:4,20#", "QQKORV#DA3:OK#",
         [](auto& s) {
             EXPECT_EQ(s.range4mA[1], "4");
             EXPECT_EQ(s.range20mA[1], "20");
             EXPECT_EQ(s.range4mA[0], "0.000");
         }},
        {"QQS#FMW:3,2    #", "QQS#FMW:OK#",
         [](auto& s) {
             EXPECT_EQ(s.coefficientMode, 3);
             EXPECT_EQ(s.coefficient1, "2");
         }},
        {"QQS#FMU:12.34,0.5  ,1.000#", "QQS#FMU:OK#",
         [](auto& s) {
             EXPECT_EQ(s.coefficients, (std::array<std::string, 3>{"12.34", "0.5", "1.000"}));
         }},
        {"QQS#HART0:1,1,01,9,005#", "QQS#HART0:OK#",
         [](auto& s) {
             EXPECT_EQ(s.hartEnable, 1);
             EXPECT_EQ(s.hartMode, 1);
             EXPECT_EQ(s.meterType, 1);
             EXPECT_EQ(s.preambles, 9);
             EXPECT_EQ(s.bufferClearTime, "005");
         }},
        {"QQS#MDBS0:5,1050,2121,0000,1991#", "QQS#MDBS0:OK#",
         [](auto& s) {
             EXPECT_EQ(s.addressBits, 5);
             EXPECT_EQ(s.parsing[0].command, 1);
             EXPECT_EQ(s.parsing[0].startAddress, 5);
             EXPECT_EQ(s.parsing[1].startAddress, 12);
             EXPECT_EQ(s.parsing[1].length, 1);
             EXPECT_EQ(s.parsing[3].startAddress, 99);
         }},
        {std::string("QQS#CAMD02:1<03,\xFF\x00\xAB", 19), "QQS#CAMD02:OK#",
         [](auto& s) {
             EXPECT_EQ(s.readCommands[1].on, 1);
             EXPECT_EQ(s.readCommands[1].bytes, (Bytes{0xFF, 0x00, 0xAB}));
             EXPECT_TRUE(s.readCommands[0].bytes.empty());
         }},
        {"QQS#WCAD01:0<01,#", "QQS#WCAD01:OK#",  // a payload byte may be '#'
         [](auto& s) { EXPECT_EQ(s.monitoringCommands[0].bytes, Bytes{'#'}); }},
        {"QQS#WCAD02:1<00,", "QQS#WCAD02:OK#",
         [](auto& s) { EXPECT_EQ(s.monitoringCommands[1].on, 1); }},
    };
    for (const Case& c : cases) {
        ModuleSettings settings;
        ConfigSetResponder responder(settings);
        EXPECT_EQ(S(responder.Answer(B(c.request))), c.reply) << c.request;
        c.check(settings);
    }
}

TEST(ConfigSet, MalformedFieldsAreRefusedAndChangeNothing) {
    const std::string requests[] = {
        "QQS#MD:/#",        // no selection
        "QQS#MD:5#",        // no such mode
        "QQS#ADR::00#",     // address 1000
        "QQS#ADR:00+#",     // address -5
        "QQS#JTM:05#",      // short
        "QQS#BA2:3#",       // parity missing
        "QQS#DFOT1:0020#",  // no third order
        "QQS#MD:1#x",       // trailing byte
        "QQS#FMW:0,1.0#",   // field not five characters
        "QQS#HART0:0,0,02,4,060#",
        "QQS#MDBS0:8,0:00,0000,0000,0000#",  // start address 100
        "QQKORV#DA5:1,2#",
        "JXKORV#PCBSN:12a,001#",
        std::string("QQS#CAMD01:0<02,\x01", 17),      // fewer bytes than counted
        std::string("QQS#CAMD01:0<01,\x01\x02", 18),  // more bytes than counted
    };
    for (const std::string& request : requests) {
        ModuleSettings settings;
        settings.floatOrder = {1, 1, 1, 1};
        ConfigSetResponder responder(settings);
        const std::string reply = S(responder.Answer(B(request)));
        EXPECT_EQ(reply.substr(reply.size() - 4), "ERR#") << request;
        ModuleSettings untouched;
        untouched.floatOrder = {1, 1, 1, 1};
        EXPECT_EQ(settings.mode, untouched.mode) << request;
        EXPECT_EQ(settings.slaveAddress, untouched.slaveAddress) << request;
        EXPECT_EQ(settings.floatOrder, untouched.floatOrder) << request;
        EXPECT_EQ(settings.meterType, untouched.meterType) << request;
        EXPECT_EQ(settings.parsing[0].startAddress, 0) << request;
        EXPECT_EQ(settings.range4mA, untouched.range4mA) << request;
        EXPECT_EQ(settings.pcbsn, untouched.pcbsn) << request;
        EXPECT_TRUE(settings.readCommands[0].bytes.empty()) << request;
    }
}

TEST(ConfigSet, ResetRestoresFactoryValuesButKeepsFactoryData) {
    ModuleSettings settings;
    settings.otherModules = {17, 200};  // the line's other modules are not reset with it
    ConfigSetResponder responder(settings);
    for (const char* request : {"QQS#MD:4#", "QQS#ADR:099#", "JXKORV#PCBSN:00000042,007#",
                                "QQKORV#DA2:4,20#", "QQS#YSM:3#"}) {
        const std::string reply = S(responder.Answer(B(request)));
        ASSERT_EQ(reply.substr(reply.size() - 3), "OK#") << request;
    }
    EXPECT_EQ(S(responder.Answer(B("QQS#RESET#"))), "QQS#RESET:OK#");
    const ModuleSettings factory;
    EXPECT_EQ(settings.mode, factory.mode);
    EXPECT_EQ(settings.slaveAddress, factory.slaveAddress);
    EXPECT_EQ(settings.var1Map, factory.var1Map);
    EXPECT_EQ(settings.pcbsn, "00000042");
    EXPECT_EQ(settings.inspector, "007");
    EXPECT_EQ(settings.range4mA[0], "4");
    EXPECT_EQ(settings.otherModules, (std::vector<int>{17, 200}));
}

TEST(ConfigSet, QueriesAndOtherTrafficAreLeftToOthers) {
    ModuleSettings settings;
    ConfigSetResponder responder(settings);
    for (const std::string request :
         {"QQQ#QV#", "QQQ#QX#", "QQQ#RCAD01#", "", "QQS#", "\xFF\xFF\x02\x80\x00\x00\x82"}) {
        EXPECT_FALSE(responder.Answer(B(request))) << request;
    }
}

TEST(ConfigSet, TheModuleAnswersSetCommands) {
    TavrixModule module;
    EXPECT_EQ(S(module.Answer(B("QQS#MD:2#"))), "QQS#MD:OK#");
    EXPECT_EQ(S(module.Answer(B("QQS#BA2:41#"))), "QQS#BA2:OK#");
    EXPECT_EQ(S(module.Answer(B(std::string("QQS#WCAD01:1<02,\x00\x03", 18)))), "QQS#WCAD01:OK#");
    EXPECT_EQ(module.settings().mode, 2);
    EXPECT_EQ(module.settings().rs485Baud, 4);
    EXPECT_EQ(module.settings().rs485Parity, 1);
    EXPECT_EQ(module.settings().monitoringCommands[0].bytes, (Bytes{0x00, 0x03}));
}

}  // namespace
