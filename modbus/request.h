// The MODBUS RTU test request: function 03, Read Holding Registers.
#pragma once

#include <array>
#include <cstdint>

using ModbusRequest = std::array<uint8_t, 8>;

// slave, 03, 00, start, 00, count, CRC low, CRC high. Only the low eight bits
// of each value are sent (two's complement for negatives), so start address
// and count range over 0..255 with zero high bytes.
ModbusRequest ReadHoldingRegistersRequest(int slave, int start, int count);
