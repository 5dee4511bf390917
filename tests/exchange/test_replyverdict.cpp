// The verdict on a reply under each request code: valid replies of real
// devices and of the simulated module, every fault each judge names, and
// every cut-off reply waiting for more.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "modbus/crc16.h"
#include "modbus/reply.h"
#include "modbus/request.h"

namespace {

using Bytes = std::vector<uint8_t>;
using S = VerdictState;

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes T(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A slave frame: five preambles, delimiter through data, checksum.
Bytes Reply(uint8_t delimiter, const Bytes& address, uint8_t command, const Bytes& data) {
    const Bytes body =
        Cat(Cat(Cat({delimiter}, address), {command, static_cast<uint8_t>(data.size())}), data);
    return Cat(Cat(Bytes(5, 0xFF), body), {HartChecksum(body)});
}
Bytes Short(uint8_t address, uint8_t command, const Bytes& data) {
    return Reply(0x06, {address}, command, data);
}
Bytes Long(const Bytes& address, uint8_t command, const Bytes& data) {
    return Reply(0x86, address, command, data);
}
Bytes BadSum(Bytes frame) {
    frame.back() ^= 0x01;
    return frame;
}
Bytes Crc(const Bytes& frame) {
    const auto crc = ModbusCrc16(frame);
    return Cat(frame, {crc[0], crc[1]});
}
Bytes Read(int slave, int start, int count) {
    const auto r = ReadHoldingRegistersRequest(slave, start, count);
    return Bytes(r.begin(), r.end());
}

// Command 0 replies, status bytes first: a HART 5 device and a HART 7 device.
Bytes Hart5(uint8_t status = 0) {
    return {0x00, status, 0xFE, 0x26, 0x06, 0x05, 0x05, 0x03, 0x02, 0x08, 0x00, 0x0A, 0x1B, 0x2C};
}
const Bytes kHart7 = {0x00, 0x00, 0xFE, 0x26, 0x06, 0x05, 0x07, 0x01, 0x02, 0x09, 0x00, 0x0A,
                      0x1B, 0x2C, 0x05, 0x04, 0x00, 0x03, 0x00, 0x00, 0x26, 0x00, 0x26, 0x01};
// Command 3: 12 mA loop current, four variables (kPa, degC, kg, %).
Bytes Dynamic(uint8_t status = 0) {
    return {0x00, status, 0x41, 0x40, 0x00, 0x00, 0x0C, 0x41, 0x48, 0x00, 0x00, 0x20, 0x40,
            0x70, 0x00,   0x00, 0x3D, 0x42, 0xCA, 0xA6, 0x66, 0x39, 0x41, 0xC8, 0x00, 0x00};
}

// The simulator's instrument; its manufacturer code has bit 6 set, which the address drops.
const HartIdentity kSim{0x5A, 0x0B, {0x12, 0x34, 0x56}};
const Bytes kSimAddress = {0x9A, 0x0B, 0x12, 0x34, 0x56};
const Bytes kC0 = HartCommand0Frame(5, kPrimaryMaster, 0);
const Bytes kC0Secondary3 = HartCommand0Frame(5, kSecondaryMaster, 3);
const Bytes kC3 = HartCommand3Frame(5, kPrimaryMaster, kSim);
const Bytes kC6 = HartCommand6Frame(5, kPrimaryMaster, kSim, 3);
const Bytes kC35 = HartLongFrame(5, kPrimaryMaster, kSim, 35, Bytes(9, 0));
const Bytes kC18 = HartLongFrame(5, kPrimaryMaster, kSim, 18, Bytes(21, 0));
const Bytes kRead1 = Read(1, 0, 1);
const Bytes kQX = T("QQQ#QX#"), kQD = T("QQQ#QD#"), kQQ = T("QQQ#QQ0#"), kQV = T("QQQ#QV#");
const Bytes kSetMode = T("QQS#MD:1#"), kRange2 = T("QQKORV#DA2:4.000,20.00#");

// The simulated module's replies at its factory settings.
const std::string kSystem = "QX#BA2:30,MD:1,ADR:001,JTM:050,XY1:3#";
const std::string kOutput = "QD#DA2:0.000,100.0,DA3:0.000,100.0,DA4:0.000,100.0,MD:1,YSM:0#";
const std::string kModbusHead = "QQ0#FMW:0,0.001;FMU:1.000,1.000,1.000;HART0:0,0,";
const std::string kCustom = "00,4,060,0000;ZDY0:8,0000,0000,0000,0000;CAMD01:1,03,01 0F 2A;";

constexpr int H0 = kCodeHartCommand0, H3 = kCodeHartCommand3, H6 = kCodeHartCommand6;
constexpr int MB = kCodeModbusTest, SET = kCodeSet;

struct Row {
    const char* name;
    int code;
    Bytes request;
    Bytes received;
    S state;
    const char* reason = "";  // a part of the reason
    bool cutsWait = false;    // a Wrong reply whose every prefix is still Incomplete
    VerdictRetry retry = VerdictRetry::No;
};

constexpr auto kDamaged = VerdictRetry::Damaged, kRefused = VerdictRetry::Refused;

const Row kRows[] = {
    {"cmd0 HART 5", H0, kC0, Short(0x80, 0, Hart5()), S::Valid},
    // Writes refused: the code named as the command gives it.
    {"cmd18 write protected", kCodeHartCommand18, kC18, Long(kSimAddress, 18, {7, 0}), S::Wrong,
     "response code 7 in write-protect mode"},
    {"cmd35 lower too high", kCodeHartCommand35, kC35, Long(kSimAddress, 35, {9, 0}), S::Wrong,
     "response code 9 lower range value too high"},
    {"cmd35 echoed", kCodeHartCommand35, kC35, Long(kSimAddress, 35, Cat({0, 0}, Bytes(9, 0))),
     S::Valid},
    {"cmd0 HART 7", H0, kC0, Short(0x80, 0, kHart7), S::Valid},
    {"cmd0 after noise", H0, kC0, Cat({0x3C, 0x00, 0x12}, Short(0x80, 0, Hart5())), S::Valid},
    {"cmd0 after a stray FF", H0, kC0, Cat({0xFF, 0x3C}, Short(0x80, 0, Hart5())), S::Valid},
    {"cmd0 burst bit", H0, kC0, Short(0xC0, 0, Hart5()), S::Valid},
    {"cmd0 secondary, address 3", H0, kC0Secondary3, Short(0x03, 0, Hart5()), S::Valid},
    {"cmd0 master bit", H0, kC0Secondary3, Short(0x83, 0, Hart5()), S::Wrong, "address", false,
     kDamaged},
    {"cmd0 polling address", H0, kC0, Short(0x81, 0, Hart5()), S::Wrong, "address", false,
     kDamaged},
    {"cmd0 long delimiter", H0, kC0, Reply(0x86, {0x80}, 0, Hart5()), S::Incomplete,
     "delimiter 86, expected 06"},
    {"cmd0 command", H0, kC0, Short(0x80, 3, Hart5()), S::Wrong, "command", false, kDamaged},
    {"cmd0 checksum", H0, kC0, BadSum(Short(0x80, 0, Hart5())), S::Wrong, "checksum", true,
     kDamaged},
    {"cmd0 byte count 1", H0, kC0, Short(0x80, 0, {0x00}), S::Wrong, "byte count", false,
     kDamaged},
    {"cmd0 not implemented", H0, kC0, Short(0x80, 0, {0x40, 0x00}), S::Wrong,
     "64 command not implemented"},
    // The device got the request damaged: worth sending again.
    {"cmd0 parity error", H0, kC0, Short(0x80, 0, {0x88, 0x00}), S::Wrong, "longitudinal parity",
     false, kRefused},
    {"cmd0 error bit alone", H0, kC0, Short(0x80, 0, {0x80, 0x00}), S::Wrong, "communication",
     false, kRefused},
    {"cmd3", H3, kC3, Long(kSimAddress, 3, Dynamic()), S::Valid},
    {"cmd3 burst bit", H3, kC3, Long({0xDA, 0x0B, 0x12, 0x34, 0x56}, 3, Dynamic()), S::Valid},
    {"cmd3 device id", H3, kC3, Long({0x9A, 0x0B, 0x12, 0x34, 0x57}, 3, Dynamic()), S::Wrong,
     "address", false, kDamaged},
    {"cmd3 manufacturer", H3, kC3, Long({0x9B, 0x0B, 0x12, 0x34, 0x56}, 3, Dynamic()), S::Wrong,
     "address", false, kDamaged},
    {"cmd3 short delimiter", H3, kC3, Short(0x80, 3, Dynamic()), S::Incomplete,
     "delimiter 06, expected 86"},
    {"cmd3 busy", H3, kC3, Long(kSimAddress, 3, {0x20, 0x00}), S::Wrong, "32 busy"},
    // A warning-class code: the command was carried out, its data holds.
    {"cmd3 warning", H3, kC3, Long(kSimAddress, 3, [] {
         Bytes data = Dynamic();
         data[0] = 0x08;
         return data;
     }()),
     S::Valid},
    {"cmd6", H6, kC6, Long(kSimAddress, 6, {0x00, 0x00, 0x03, 0x01}), S::Valid},
    {"cmd6 write protected", H6, kC6, Long(kSimAddress, 6, {0x07, 0x00}), S::Wrong,
     "7 in write-protect mode"},
    {"typed", kCodeHartTyped, kC0, Short(0x80, 0, Hart5()), S::Unknown},
    {"code 0", kCodeNone, kC0, Short(0x80, 0, Hart5()), S::Unknown},
    {"code 999", 999, kQV, T("QV:V2#"), S::Unknown},

    {"read 1", MB, kRead1, {0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84}, S::Valid},
    {"read 8", MB, Read(1, 0x12, 8), Crc(Cat({0x01, 0x03, 0x10}, Bytes(16, 0x5A))), S::Valid},
    {"CRC swapped", MB, kRead1, {0x01, 0x03, 0x02, 0x00, 0x01, 0x84, 0x79}, S::Wrong, "CRC", true,
     kDamaged},
    {"other slave", MB, kRead1, Crc({0x02, 0x03, 0x02, 0x00, 0x01}), S::Wrong, "slave", false,
     kDamaged},
    {"other function", MB, kRead1, Crc({0x01, 0x04, 0x02, 0x00, 0x01}), S::Wrong, "function",
     false, kDamaged},
    {"one register of two",
     MB,
     Read(1, 0, 2),
     {0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84},
     S::Wrong,
     "byte count",
     false,
     kDamaged},
    {"exception",
     MB,
     kRead1,
     {0x01, 0x83, 0x02, 0xC0, 0xF1},
     S::Wrong,
     "02 Illegal data address",
     true},
    {"exception CRC", MB, kRead1, {0x01, 0x83, 0x02, 0xC0, 0xF0}, S::Wrong, "CRC", false,
     kDamaged},

    {"version", kCodeCommunicationQuery, kQV, T("QV:TAVRIX HART-MODBUS V2.0 2025-02-23#"),
     S::Valid},
    {"version open", kCodeCommunicationQuery, kQV, T("QV:TAVRIX V2"), S::Incomplete},
    {"not a version", kCodeCommunicationQuery, kQV, T("ERR#"), S::Wrong, "", false, kDamaged},
    {"system", kCodeSystemQuery, kQX, T(kSystem), S::Valid},
    // A whole reply that is not in the module's shape is damaged, its first
    // character out of place named.
    {"system no MD", kCodeSystemQuery, kQX, T("QX#BA2:30,ADR:001,JTM:050,XY1:3#"), S::Wrong,
     "\"MD:\" expected after field rs485.parity, not 'ADR'", false, kDamaged},
    {"system ADR cut", kCodeSystemQuery, kQX, T("QX#BA2:30,MD:1,JTM:050,XY1:3,ADR:0#"), S::Wrong,
     "\"ADR:\" expected after field system.mode", false, kDamaged},
    {"system cut", kCodeSystemQuery, kQX, T(kSystem.substr(0, 20)), S::Incomplete,
     "groups missing: JTM: XY1:"},
    {"system after noise", kCodeSystemQuery, kQX, T("\x00\xFF#" + kSystem), S::Valid},
    {"baud rate out of its list", kCodeSystemQuery, kQX,
     T("QX#BA2:70,MD:1,ADR:001,JTM:050,XY1:3#"), S::Wrong,
     "field rs485.baudRate: '7' is not one of 0..5", false, kDamaged},
    {"baud rate lost", kCodeSystemQuery, kQX, T("QX#BA2:0,MD:1,ADR:001,JTM:050,XY1:3#"), S::Wrong,
     "field rs485.parity: ',' is not one of 0..2", false, kDamaged},
    {"address digit flipped", kCodeSystemQuery, kQX, T("QX#BA2:30,MD:1,ADR:0q1,JTM:050,XY1:3#"),
     S::Wrong, "field system.slaveAddress: '0q1' is not 3 digits", false, kDamaged},
    {"separator flipped", kCodeSystemQuery, kQX, T("QX#BA2:30,MD:1;ADR:001,JTM:050,XY1:3#"),
     S::Wrong, "',' expected after field system.mode, not ';'", false, kDamaged},
    {"response time out of its list", kCodeSystemQuery, kQX,
     T("QX#BA2:30,MD:1,ADR:001,JTM:050,XY1:6#"), S::Wrong,
     "field rs485.responseTime: '6' is not one of 0..5", false, kDamaged},
    {"no closing #", kCodeSystemQuery, kQX, T("QX#BA2:30,MD:1,ADR:001,JTM:050,XY1:3QX#"),
     S::Wrong, "'#' expected after field rs485.responseTime, not 'Q'", false, kDamaged},
    {"system no marker", kCodeSystemQuery, kQX, T(kSystem.substr(3)), S::Incomplete, "QX"},
    {"output", kCodeCurrentOutputQuery, kQD, T(kOutput), S::Valid},
    {"output no YSM", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:0.000,100.0,DA3:0.000,100.0,DA4:0.000,100.0,MD:1#"), S::Wrong,
     "',' expected after field system.mode, not '#'", false, kDamaged},
    {"output DA4 cut", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:0.000,100.0,DA3:0.000,100.0,MD:1,YSM:0,DA4:0.000#"), S::Wrong,
     "\"DA4\" expected after field output.var3.range20mA, not 'MD:'", false, kDamaged},
    {"output limit lost a digit", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:0.000,100.0,DA3:.000,100.0,DA4:0.000,100.0,MD:1,YSM:0#"), S::Wrong,
     "field output.var3.range4mA: '.000,' is not 5 characters of a number", false, kDamaged},
    {"output upper limit lost a digit", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:0.000,100.0,DA3:0.000,100.0,DA4:0.000,00.0,MD:1,YSM:0#"), S::Wrong,
     "field output.var4.range20mA: '00.0,' is not 5 characters of a number", false, kDamaged},
    {"output short limits", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:1.500,20.00,DA3:2.5  ,30.00,DA4:-1.00,40.00,MD:4,YSM:3#"), S::Valid},
    {"output blank inside a limit", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:1.5 0,20.00,DA3:2.5  ,30.00,DA4:-1.00,40.00,MD:4,YSM:3#"), S::Wrong,
     "field output.var2.range4mA: '1.5 0'", false, kDamaged},
    {"output map out of its list", kCodeCurrentOutputQuery, kQD,
     T("QD#DA2:0.000,100.0,DA3:0.000,100.0,DA4:0.000,100.0,MD:1,YSM:4#"), S::Wrong,
     "field output.var1Map: '4' is not one of 0..3", false, kDamaged},
    {"modbus custom meter", kCodeModbusQuery, kQQ, T(kModbusHead + kCustom + "CAMD02:0,00,#"),
     S::Valid},
    {"modbus universal meter", kCodeModbusQuery, kQQ, T(kModbusHead + "01,4,060,0000#"), S::Valid},
    {"modbus custom, no ZDY", kCodeModbusQuery, kQQ,
     T(kModbusHead + "00,4,060,0000;CAMD01:0,00,;CAMD02:0,00,#"), S::Wrong, "\"ZDY?:\" expected",
     false, kDamaged},
    {"modbus custom, no CAMD02", kCodeModbusQuery, kQQ, T(kModbusHead + kCustom + "#"), S::Wrong,
     "\"CAMD?2:\" expected after field readCommand1.bytes, not '#'", false, kDamaged},
    {"modbus universal meter with parsing groups", kCodeModbusQuery, kQQ,
     T(kModbusHead + "01,4,060,0000;ZDY0:8,0000,0000,0000,0000#"), S::Wrong,
     "'#' expected after field modbus.floatOrder40009, not ';'", false, kDamaged},
    {"coefficient lost a digit", kCodeModbusQuery, kQQ,
     T("QQ0#FMW:0,0.01;FMU:1.000,1.000,1.000;HART0:0,0,01,4,060,0000#"), S::Wrong,
     "field coefficient.var1: '0.01;' is not 5 characters of a number", false, kDamaged},
    {"meter type out of its list", kCodeModbusQuery, kQQ, T(kModbusHead + "02,4,060,0000#"),
     S::Wrong, "field hart.meterType: '02' is not one of 00..01", false, kDamaged},
    {"preambles out of their list", kCodeModbusQuery, kQQ, T(kModbusHead + "01,3,060,0000#"),
     S::Wrong, "field hart.preambles: '3' is not one of 4..9", false, kDamaged},
    {"float order out of its list", kCodeModbusQuery, kQQ, T(kModbusHead + "01,4,060,0020#"),
     S::Wrong, "field modbus.floatOrder40007: '2' is not one of 0..1", false, kDamaged},
    {"meter id not a digit", kCodeModbusQuery, kQQ,
     T("QQ0#FMW:0,0.001;FMU:1.000,1.000,1.000;HARTx:0,0,01,4,060,0000#"), S::Wrong,
     "\"HART?:\" expected after field coefficient.var4, not 'HARTx:'", false, kDamaged},
    {"read command bytes in lower case", kCodeModbusQuery, kQQ,
     T(kModbusHead + "00,4,060,0000;ZDY0:8,0000,0000,0000,0000;CAMD01:1,02,01 0f;CAMD02:0,00,#"),
     S::Wrong, "field readCommand1.bytes: '01 0f' is not 2 bytes in hexadecimal", false, kDamaged},
    {"read command count past the module's", kCodeModbusQuery, kQQ,
     T(kModbusHead + "00,4,060,0000;ZDY0:8,0000,0000,0000,0000;CAMD01:1,15,01;CAMD02:0,00,#"),
     S::Wrong, "field readCommand1.bytes: count '15' is not one of 00..14", false, kDamaged},
    {"parsing command out of its list", kCodeModbusQuery, kQQ,
     T(kModbusHead + "00,4,060,0000;ZDY0:8,0000,3000,0000,0000;CAMD01:0,00,;CAMD02:0,00,#"),
     S::Wrong, "field parsing.var2.command: '3' is not one of 0..2", false, kDamaged},
    {"monitoring 1", kCodeMonitoringQuery, T("QQQ#RCAD01#"), T("RCAD1:1,03,01 0F 2A#"), S::Valid},
    {"monitoring 2", kCodeMonitoringQuery, T("QQQ#RCAD02#"), T("RCAD2:0,00,#"), S::Valid},
    {"monitoring list cut", kCodeMonitoringQuery, T("QQQ#RCAD01#"), T("RCAD1:1,03,01 0F#"),
     S::Wrong, "field monitoringCommand1.bytes: '01 0F#' is not 3 bytes in hexadecimal", false,
     kDamaged},
    {"monitoring, the other row", kCodeMonitoringQuery, T("QQQ#RCAD01#"), T("RCAD2:0,00,#"),
     S::Wrong, "\"RCAD1:\" expected at the reply's start, not 'RCAD2:'", false, kDamaged},
    {"monitoring flag", kCodeMonitoringQuery, T("QQQ#RCAD02#"), T("RCAD2:7,00,#"), S::Wrong,
     "field monitoringCommand2.enable: '7' is not 0 or 1", false, kDamaged},

    {"set", SET, kSetMode, T("QQS#MD:OK#"), S::Valid},
    {"set refused", SET, kSetMode, T("QQS#MD:ERR#"), S::Wrong, "ERR", true, kRefused},
    {"set, another ack", SET, kSetMode, T("QQS#ADR:OK#"), S::Wrong, "", false, kDamaged},
    {"reset", SET, T("QQS#RESET#"), T("QQS#RESET:OK#"), S::Valid},
    {"payload", SET, T("QQS#CAMD01:1<03,\x01\x0F\x2A"), T("QQS#CAMD01:OK#"), S::Valid},
    {"range", kCodeRangeSet, kRange2, T("QQKORV#DA2:OK#"), S::Valid},
    {"range refused", kCodeRangeSet, kRange2, T("QQKORV#DA2:ERR#"), S::Wrong, "ERR", true,
     kRefused},
    {"range, other output", kCodeRangeSet, kRange2, T("QQKORV#DA3:OK#"), S::Wrong, "", false,
     kDamaged},
};

TEST(JudgeReply, Table) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const ReplyVerdict v = JudgeReply(row.code, row.request, row.received);
        EXPECT_STREQ(VerdictStateName(v.state), VerdictStateName(row.state));
        EXPECT_NE(v.reason.find(row.reason), std::string::npos) << v.reason;
        EXPECT_EQ(v.exception, std::string_view(row.name) == "exception");
        EXPECT_EQ(static_cast<int>(v.retry), static_cast<int>(row.retry));
        EXPECT_EQ(WorthAskingAgain(v), row.state == S::Incomplete || row.retry != VerdictRetry::No);
        if (row.state == S::Wrong || row.state == S::Incomplete) EXPECT_FALSE(v.reason.empty());
        if (row.state == S::Valid) EXPECT_EQ(v.reason, "");
        // The warning travels as the first note, for the grade and every output.
        if (row.state == S::Valid && v.hartResponse.value_or(0) != 0)
            EXPECT_EQ(v.notes.at(0).rfind("response code 8", 0), 0u) << row.name;
        if (row.state == S::Valid || row.cutsWait) EXPECT_EQ(v.frameEnd, row.received.size());
        if (v.complete()) EXPECT_LE(v.frameEnd, row.received.size());
        const std::string text(VerdictStateName(v.state));
        EXPECT_EQ(VerdictText(v).rfind(v.reason.empty() ? text : text + ": " + v.reason, 0), 0u);
        // The text overload judges the same bytes.
        const auto str = [](const Bytes& b) { return std::string(b.begin(), b.end()); };
        EXPECT_EQ(JudgeReply(row.code, str(row.request), str(row.received)).state, v.state);
    }
}

// Up to the frame's last byte a reply can still turn out right.
TEST(JudgeReply, EveryPrefixWaits) {
    for (const Row& row : kRows) {
        if (row.state != S::Valid && !row.cutsWait) continue;
        for (size_t n = 0; n < row.received.size(); ++n) {
            const ReplyVerdict v =
                JudgeReply(row.code, row.request, std::span(row.received).first(n));
            SCOPED_TRACE(testing::Message() << row.name << ", " << n << " bytes");
            EXPECT_STREQ(VerdictStateName(v.state), "incomplete") << v.reason;
            EXPECT_FALSE(v.reason.empty());
        }
    }
}

// A complete frame ends where its own length says, whatever follows it.
TEST(JudgeReply, FrameEndAndNotes) {
    const struct {
        const char* name;
        int code;
        Bytes request, frame;
        std::vector<std::string> notes;
    } cases[] = {
        {"cmd0", H0, kC0, Short(0x80, 0, Hart5(0x30)), {"cold start", "more status available"}},
        {"cmd3",
         H3,
         kC3,
         Long(kSimAddress, 3, Dynamic(0x81)),
         {"device malfunction", "primary variable out of limits"}},
        {"read 1", MB, kRead1, {0x01, 0x03, 0x02, 0x00, 0x01, 0x79, 0x84}, {}},
        {"set", SET, kSetMode, T("QQS#MD:OK#"), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ReplyVerdict v = JudgeReply(c.code, c.request, Cat(c.frame, T("\xFF\x01#")));
        EXPECT_STREQ(VerdictStateName(v.state), "valid");
        EXPECT_EQ(v.frameEnd, c.frame.size());
        EXPECT_EQ(v.notes, c.notes);
    }
}

TEST(JudgeReply, EveryModbusExceptionNamed) {
    for (const uint8_t code : {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x08, 0x0A, 0x0B}) {
        const ReplyVerdict v = JudgeReply(MB, kRead1, Crc({0x01, 0x83, code}));
        SCOPED_TRACE(ModbusExceptionName(code));
        EXPECT_STREQ(VerdictStateName(v.state), "wrong");
        EXPECT_TRUE(v.exception);
        EXPECT_EQ(v.frameEnd, 5u);
        EXPECT_NE(v.reason.find(ModbusExceptionName(code)), std::string::npos) << v.reason;
    }
}

}  // namespace
