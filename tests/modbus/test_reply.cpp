#include <gtest/gtest.h>

#include <vector>

#include "modbus/byteorder.h"
#include "modbus/reply.h"

namespace {

using Bytes = std::vector<uint8_t>;
using P = ModbusReplyProblem;

// CRCs from an independent bit-wise CRC-16/MODBUS in Python.
struct Case {
    const char* what;
    Bytes reply;
    P problem;
    bool crcPresent, crcOk;
    uint8_t slave, function;
    bool exception;
    std::vector<uint16_t> registers;
    std::array<uint8_t, 2> expected;
};

TEST(DecodeModbusReply, Layouts) {
    const Case cases[] = {
        {"standard example",
         {0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64, 0xC8, 0xBA},
         P::None,
         true,
         true,
         0x11,
         3,
         false,
         {0x022B, 0x0000, 0x0064},
         {0xC8, 0xBA}},
        {"exception",
         {0x01, 0x83, 0x02, 0xC0, 0xF1},
         P::None,
         true,
         true,
         1,
         3,
         true,
         {},
         {0xC0, 0xF1}},
        {"bad CRC",
         {0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00},
         P::None,
         true,
         false,
         0x11,
         3,
         false,
         {0x022B, 0x0000, 0x0064},
         {0xC8, 0xBA}},
        {"write echo",
         {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B},
         P::None,
         true,
         true,
         1,
         6,
         false,
         {},
         {0x98, 0x0B}},
        {"truncated",
         {0x11, 0x03, 0x06, 0x02, 0x2B, 0x00},
         P::Truncated,
         false,
         false,
         0x11,
         3,
         false,
         {0x022B},
         {}},
        {"trailing",
         {0x01, 0x83, 0x02, 0xC0, 0xF1, 0x55},
         P::TrailingBytes,
         true,
         true,
         1,
         3,
         true,
         {},
         {0xC0, 0xF1}},
        {"too short", {0x01, 0x83}, P::TooShort, false, false, 1, 3, true, {}, {}},
        {"odd count",
         {0x01, 0x03, 0x01, 0x07, 0x00, 0x00},
         P::OddByteCount,
         true,
         false,
         1,
         3,
         false,
         {},
         {0xB1, 0x8A}},
        {"unknown function",
         {0x01, 0x2B, 0x0E, 0x00, 0x00},
         P::UnknownFunction,
         true,
         false,
         1,
         0x2B,
         false,
         {},
         {0xBF, 0x34}},
    };
    for (const Case& c : cases) {
        const ModbusReply r = DecodeModbusReply(c.reply);
        EXPECT_EQ(r.problem, c.problem) << c.what;
        EXPECT_EQ(r.crcPresent, c.crcPresent) << c.what;
        EXPECT_EQ(r.crcOk, c.crcOk) << c.what;
        EXPECT_EQ(r.slave, c.slave) << c.what;
        EXPECT_EQ(r.function, c.function) << c.what;
        EXPECT_EQ(r.exception, c.exception) << c.what;
        EXPECT_EQ(r.registers, c.registers) << c.what;
        if (c.crcPresent) {
            EXPECT_EQ(r.crcExpected, c.expected) << c.what;
        }
    }
}

TEST(DecodeModbusReply, Names) {
    EXPECT_EQ(
        ModbusExceptionName(DecodeModbusReply(Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}).exceptionCode),
        "02 Illegal data address");
    EXPECT_EQ(ModbusExceptionName(0x0B), "0B Gateway target device failed to respond");
    EXPECT_EQ(ModbusExceptionName(0x0C), "0C Unknown exception");
    EXPECT_EQ(ModbusFunctionName(0x03), "03 Read holding registers");
    EXPECT_EQ(ModbusFunctionName(0x41), "41 Unknown function");
}

// 12.5 is 41 48 00 00 and -3.75 is C0 70 00 00 (Python's struct, '>f').
TEST(ModbusFloatPairs, EveryOrderAndOddRegistersOnly) {
    struct Order {
        int order;
        std::array<uint8_t, 4> wire;
    };
    const Order orders[] = {{0, {0x41, 0x48, 0x00, 0x00}},
                            {1, {0x00, 0x00, 0x41, 0x48}},
                            {2, {0x48, 0x41, 0x00, 0x00}},
                            {3, {0x00, 0x00, 0x48, 0x41}}};
    for (const Order& o : orders) {
        EXPECT_EQ(FloatToWire(o.order, 12.5f), o.wire) << o.order;
        EXPECT_EQ(FloatFromWire(o.order, o.wire), 12.5f) << o.order;
    }
    // Registers 40002..40006: pairs start at 40003 and 40005 only.
    const std::vector<uint16_t> registers{0x0001, 0x4148, 0x0000, 0x0000, 0xC070};
    const auto pairs = ModbusFloatPairs(registers, 40002);
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].address, 40003);
    EXPECT_EQ(pairs[0].value[0], 12.5f);
    EXPECT_EQ(pairs[1].address, 40005);
    EXPECT_EQ(pairs[1].value[1], -3.75f);
}

}  // namespace
