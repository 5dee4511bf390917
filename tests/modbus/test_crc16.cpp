#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "modbus/crc16.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bit by bit, without tables: an independent check of the two tables.
std::array<uint8_t, 2> BitwiseCrc(const Bytes& bytes) {
    uint16_t crc = 0xFFFF;
    for (const uint8_t b : bytes) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
}

struct Vector {
    const char* source;
    Bytes frame;
    std::array<uint8_t, 2> check;
};

TEST(ModbusCrc16, PublishedVectors) {
    const Vector vectors[] = {
        {"MODBUS standard example", {0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, {0x76, 0x87}},
        {"one register at 0", {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, {0x84, 0x0A}},
        {"the window's defaults", {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, {0xC5, 0xCD}},
        {"Qt MODBUS client test", {0x01, 0x03, 0x00, 0x12, 0x00, 0x08}, {0xE4, 0x09}},
        {"CRC catalogue check \"123456789\"",
         {'1', '2', '3', '4', '5', '6', '7', '8', '9'},
         {0x37, 0x4B}},
        {"empty: the initial value", {}, {0xFF, 0xFF}},
    };
    for (const Vector& v : vectors) {
        EXPECT_EQ(ModbusCrc16(v.frame), v.check) << v.source;
    }
}

// Every table entry is reached by some random byte; a frame with its own
// check appended leaves a zero remainder, which is how a receiver checks it.
TEST(ModbusCrc16, MatchesBitwiseAndLeavesZeroRemainder) {
    std::mt19937 random(754);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(1, 256);
    for (int n = 0; n < 3000; ++n) {
        Bytes frame(static_cast<size_t>(length(random)));
        for (auto& b : frame) b = static_cast<uint8_t>(byte(random));
        const auto check = ModbusCrc16(frame);
        ASSERT_EQ(check, BitwiseCrc(frame)) << "frame " << n;
        frame.insert(frame.end(), check.begin(), check.end());
        ASSERT_EQ(ModbusCrc16(frame), (std::array<uint8_t, 2>{0, 0})) << "frame " << n;
    }
}

}  // namespace
