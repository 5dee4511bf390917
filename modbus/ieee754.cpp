#include "modbus/ieee754.h"

#include <bit>

#include "modbus/floattext.h"

float SingleFromBigEndian(std::span<const uint8_t> bytes) {
    uint32_t pattern = 0;
    for (size_t i = 0; i < 4; ++i) {
        pattern = (pattern << 8) | (i < bytes.size() ? bytes[i] : 0u);
    }
    return std::bit_cast<float>(pattern);
}

std::array<uint8_t, 4> SingleToBigEndian(float value) {
    const auto pattern = std::bit_cast<uint32_t>(value);
    return {static_cast<uint8_t>(pattern >> 24), static_cast<uint8_t>(pattern >> 16),
            static_cast<uint8_t>(pattern >> 8), static_cast<uint8_t>(pattern)};
}

std::string CalculatorText(std::span<const uint8_t> bytes, char decimalSeparator) {
    constexpr size_t kResultWidth = 10;
    const long double value = SingleFromBigEndian(bytes);
    return FormatGeneralInField(value, kResultWidth, kCalculatorPlainFrom, decimalSeparator);
}
