#include <gtest/gtest.h>

#include "modbus/request.h"

namespace {

// The window's request sends the low byte of each field (its frame as it
// always was); the tool's own reads carry the whole address and count.
TEST(ReadHoldingRegistersRequest, Frames) {
    const struct {
        const char* what;
        bool whole;  // ReadHoldingRegisters rather than the window's request
        int slave, start, count;
        ModbusRequest frame;
    } cases[] = {
        {"defaults", false, 1, 0, 10, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}},
        {"one register", false, 1, 0, 1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}},
        {"standard example", false, 0x11, 0x6B, 3, {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}},
        {"start 300", false, 1, 300, 10, {0x01, 0x03, 0x00, 0x2C, 0x00, 0x0A, 0x04, 0x04}},
        {"count 256", false, 1, 0, 256, {0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x45, 0xCA}},
        {"negatives", false, -1, -2, -256, {0xFF, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x31, 0xE4}},
        {"slave 257", false, 257, 0, 10, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD}},
        {"whole: standard example", true, 0x11, 0x6B, 3, {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03, 0x76, 0x87}},
        {"whole: start 300", true, 1, 300, 4, {0x01, 0x03, 0x01, 0x2C, 0x00, 0x04, 0x84, 0x3C}},
        {"whole: last register", true, 247, 65535, 1, {0xF7, 0x03, 0xFF, 0xFF, 0x00, 0x01, 0x90, 0xB8}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.whole ? ReadHoldingRegisters(c.slave, c.start, c.count)
                          : ReadHoldingRegistersRequest(c.slave, c.start, c.count),
                  c.frame)
            << c.what;
    }
    EXPECT_EQ(HoldingRegisterBase(9998), 40001);
    EXPECT_EQ(HoldingRegisterBase(9999), 400001) << "40001 + 9999 would be 50000, not a holding register";
}

}  // namespace
