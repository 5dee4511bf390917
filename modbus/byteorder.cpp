#include "modbus/byteorder.h"

#include "modbus/ieee754.h"

float FloatFromWire(int order, std::span<const uint8_t, 4> wire) {
    const auto& source = kFloatByteOrders[order].source;
    std::array<uint8_t, 4> bigEndian{};
    for (size_t k = 0; k < 4; ++k) bigEndian[source[k]] = wire[k];
    return SingleFromBigEndian(bigEndian);
}

std::array<uint8_t, 4> FloatToWire(int order, float value) {
    const auto& source = kFloatByteOrders[order].source;
    const auto bigEndian = SingleToBigEndian(value);
    std::array<uint8_t, 4> wire{};
    for (size_t k = 0; k < 4; ++k) wire[k] = bigEndian[source[k]];
    return wire;
}
