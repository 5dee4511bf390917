// How a 32-bit float travels in two holding registers. FF4 is the most
// significant byte of the IEEE 754 single (sign and high exponent bits), FF1
// the least; each order lists the bytes in the sequence they appear on the
// wire, first register first.
#pragma once

#include <array>
#include <cstdint>
#include <span>

struct FloatByteOrder {
    const char* pattern;  // "FF4 FF3 FF2 FF1"
    // wire[k] carries the big-endian byte at index source[k] (0 = FF4).
    std::array<uint8_t, 4> source;
};

// Orders 0 and 1 are the items of the window's byte-order lists (the numbers
// the module's "DFOT1" setting carries); 2 and 3 are the other two layouts
// MODBUS masters use, kept so a reply can be recognised whatever produced it.
inline constexpr int kFloatByteOrderCount = 4;
inline constexpr FloatByteOrder kFloatByteOrders[kFloatByteOrderCount] = {
    {"FF4 FF3 FF2 FF1", {0, 1, 2, 3}},
    {"FF2 FF1 FF4 FF3", {2, 3, 0, 1}},
    {"FF3 FF4 FF1 FF2", {1, 0, 3, 2}},
    {"FF1 FF2 FF3 FF4", {3, 2, 1, 0}},
};

// The float that four wire bytes hold in `order` (0..3).
float FloatFromWire(int order, std::span<const uint8_t, 4> wire);

// The four wire bytes of `value` in `order` (0..3).
std::array<uint8_t, 4> FloatToWire(int order, float value);
