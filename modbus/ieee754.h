// IEEE 754 single precision as MODBUS registers carry it: four bytes, most
// significant (sign and high exponent bits) first.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

// The value of the first four bytes read big-endian; bytes not given count
// as zero and bytes after the fourth are ignored.
float SingleFromBigEndian(std::span<const uint8_t> bytes);

// The four bytes of `value`, most significant first.
std::array<uint8_t, 4> SingleToBigEndian(float value);

// The calculator's result text: the general 15-digit text of the value,
// widened exactly, fitted to the result field's 10 characters.
std::string CalculatorText(std::span<const uint8_t> bytes, char decimalSeparator = '.');
