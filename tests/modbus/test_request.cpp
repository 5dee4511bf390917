#include <gtest/gtest.h>

#include "modbus/request.h"

namespace {

struct Case {
    const char* what;
    int slave, start, count;
    ModbusRequest frame;
};

TEST(ReadHoldingRegistersRequest, Frames) {
    const Case cases[] = {
        {"defaults", 1, 0, 10, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}},
        {"one register", 1, 0, 1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}},
        {"standard example", 0x11, 0x6B, 3, {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}},
        // Only the low byte of each value goes out; the high bytes stay zero.
        {"start 300", 1, 300, 10, {0x01, 0x03, 0x00, 0x2C, 0x00, 0x0A, 0x04, 0x04}},
        {"count 256", 1, 0, 256, {0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x45, 0xCA}},
        {"negatives", -1, -2, -256, {0xFF, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x31, 0xE4}},
        {"slave 257", 257, 0, 10, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadHoldingRegistersRequest(c.slave, c.start, c.count), c.frame) << c.what;
    }
}

// The tool's own reads carry the whole address and count, high byte first.
TEST(ReadHoldingRegisters, SixteenBitFields) {
    const Case cases[] = {
        {"standard example", 0x11, 0x6B, 3, {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}},
        {"start 300", 1, 300, 4, {0x01, 0x03, 0x01, 0x2C, 0x00, 0x04, 0x84, 0x3C}},
        {"last register", 247, 65535, 1, {0xF7, 0x03, 0xFF, 0xFF, 0x00, 0x01, 0x90, 0xB8}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadHoldingRegisters(c.slave, c.start, c.count), c.frame) << c.what;
    }
    EXPECT_EQ(HoldingRegisterBase(9998), 40001);
    EXPECT_EQ(HoldingRegisterBase(9999), 400001) << "40001 + 9999 would be 50000, not a holding register";
}

}  // namespace
