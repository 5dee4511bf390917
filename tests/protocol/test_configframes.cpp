#include <gtest/gtest.h>

#include "protocol/configframes.h"

namespace {

std::string Raw(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

TEST(ConfigFrames, EveryFrameByteForByte) {
    struct Case {
        const char* what;
        std::string frame, expected;
    } cases[] = {
        {"version query", QueryFrame(kQueryVersion), "QQQ#QV#"},
        {"system query", QueryFrame(kQuerySystem), "QQQ#QX#"},
        {"current output query", QueryFrame(kQueryCurrentOutput), "QQQ#QD#"},
        {"modbus query", QueryFrame(kQueryModbus), "QQQ#QQ0#"},
        {"monitoring query 1", QueryFrame(kQueryMonitoringCommand[0]), "QQQ#RCAD01#"},
        {"monitoring query 2", QueryFrame(kQueryMonitoringCommand[1]), "QQQ#RCAD02#"},
        {"mode default", ModeFrame(0), "QQS#MD:0#"},
        {"mode 4", ModeFrame(4), "QQS#MD:4#"},
        {"mode no selection", ModeFrame(-1), "QQS#MD:/#"},
        {"address default", SlaveAddressFrame(1), "QQS#ADR:001#"},
        {"address 7", SlaveAddressFrame(7), "QQS#ADR:007#"},
        {"address 1000", SlaveAddressFrame(1000), "QQS#ADR::00#"},
        {"address -5", SlaveAddressFrame(-5), "QQS#ADR:00+#"},
        {"polling 50", PollIntervalFrame(50), "QQS#JTM:050#"},
        {"reset", ResetFrame(), "QQS#RESET#"},
        {"rs485 default", Rs485PortFrame(3, 0), "QQS#BA2:30#"},
        {"rs485 38400 even", Rs485PortFrame(5, 2), "QQS#BA2:52#"},
        {"response default", ResponseTimeFrame(3), "QQS#XY1:3#"},
        {"map default", Var1MapFrame(0), "QQS#YSM:0#"},
        {"float order default", FloatOrderFrame({0, 0, 0, 0}), "QQS#DFOT1:0000#"},
        {"float order mixed", FloatOrderFrame({1, 0, -1, 1}), "QQS#DFOT1:10/1#"},
        {"serial default", SerialNumberFrame(0, 1), "JXKORV#PCBSN:00000000,001#"},
        {"serial 123", SerialNumberFrame(123, 104), "JXKORV#PCBSN:00000123,104#"},
        {"serial nine digits", SerialNumberFrame(123456789, 1), "JXKORV#PCBSN:123456789,001#"},
        {"range default", RangeFrame(2, "0.000", "100.0"), "QQKORV#DA2:0.000,100.0#"},
        {"range 3", RangeFrame(3, "0.000", "100.0"), "QQKORV#DA3:0.000,100.0#"},
        {"range 4", RangeFrame(4, "0.000", "100.0"), "QQKORV#DA4:0.000,100.0#"},
        {"range short", RangeFrame(2, "4", "20"), "QQKORV#DA2:4,20#"},
        {"range empty", RangeFrame(2, "", "100.0"), "QQKORV#DA2:,100.0#"},
        {"coefficient 1 default", Coefficient1Frame(0, "0.001"), "QQS#FMW:0,0.001#"},
        {"coefficient 1 *100", Coefficient1Frame(3, "0.0015"), "QQS#FMW:3,0.001#"},
        {"coefficient 1 short", Coefficient1Frame(2, "2"), "QQS#FMW:2,2    #"},
        {"coefficients default", CoefficientsFrame("1.000", "1.000", "1.000"),
         "QQS#FMU:1.000,1.000,1.000#"},
        {"coefficients long and empty", CoefficientsFrame("12.345", "", "1"),
         "QQS#FMU:12.34,     ,1    #"},
        {"hart default", HartMonitoringFrame({}), "QQS#HART0:0,0,00,4,060#"},
        {"hart changed", HartMonitoringFrame({0, 1, 1, 1, 5, 5}), "QQS#HART0:1,1,01,9,005#"},
        {"parsing zeros", ParsingFormatFrame({}), "QQS#MDBS0:8,0000,0000,0000,0000#"},
        {"parsing mixed",
         ParsingFormatFrame({0, 0, {{{1, 5, 0}, {2, 12, 1}, {0, 100, 0}, {-1, 99, -1}}}}),
         "QQS#MDBS0:3,1050,2121,0:00,/99/#"},
        {"payload single", PayloadFrame(kReadCommandKeys[0], "0", {0x0F}),
         Raw({'Q', 'Q', 'S', '#', 'C', 'A', 'M', 'D', '0', '1', ':', '0', '<', '0', '1', ',',
              0x0F})},
        {"payload two", PayloadFrame(kReadCommandKeys[0], "1", {0x01, 0x03}),
         "QQS#CAMD01:1<02," + Raw({0x01, 0x03})},
        {"payload zero byte", PayloadFrame(kMonitoringCommandKeys[0], "1", {0xFF, 0x00, 0xAB}),
         "QQS#WCAD01:1<03," + Raw({0xFF, 0x00, 0xAB})},
        {"payload 14", PayloadFrame(kMonitoringCommandKeys[1], "0", std::vector<uint8_t>(14, 7)),
         "QQS#WCAD02:0<14," + std::string(14, '\x07')},
    };
    for (const Case& c : cases) EXPECT_EQ(c.frame, c.expected) << c.what;
}

TEST(ConfigFrames, FixedLengths) {
    EXPECT_EQ(ModeFrame(0).size(), 9u);
    EXPECT_EQ(SlaveAddressFrame(1).size(), 12u);
    EXPECT_EQ(Rs485PortFrame(3, 0).size(), 11u);
    EXPECT_EQ(FloatOrderFrame({0, 0, 0, 0}).size(), 15u);
    EXPECT_EQ(Coefficient1Frame(0, "").size(), 16u);
    // Whatever the texts, "#" stays at byte 25.
    for (const char* text : {"", "1", "123456789"}) {
        const std::string frame = CoefficientsFrame(text, text, text);
        ASSERT_EQ(frame.size(), 26u) << text;
        EXPECT_EQ(frame[13], ',');
        EXPECT_EQ(frame[19], ',');
        EXPECT_EQ(frame[25], '#');
    }
    EXPECT_EQ(HartMonitoringFrame({}).size(), 23u);
    EXPECT_EQ(ParsingFormatFrame({}).size(), 32u);
}

}  // namespace
