// The MODBUS RTU check: CRC-16 over a frame, in transmission order.
#pragma once

#include <array>
#include <cstdint>
#include <span>

// The two check bytes of `bytes` as they go on the wire: the low-order byte of
// the CRC first, then the high-order byte (11 03 00 6B 00 03 -> 76 87).
std::array<uint8_t, 2> ModbusCrc16(std::span<const uint8_t> bytes);
