// The MODBUS RTU test request: function 03, Read Holding Registers.
#pragma once

#include <array>
#include <cstdint>

using ModbusRequest = std::array<uint8_t, 8>;

// slave, 03, 00, start, 00, count, CRC low, CRC high. Only the low eight bits
// of each value are sent (two's complement for negatives), so start address
// and count range over 0..255 with zero high bytes.
ModbusRequest ReadHoldingRegistersRequest(int slave, int start, int count);

// The same request with the full 16-bit start address (0..65535) and count
// (1..125), high byte first, for the tool's own reads.
ModbusRequest ReadHoldingRegisters(int slave, int start, int count);

// What the conventional number of holding register address A is counted
// from (number = base + A) in a read up to address `last`: 40001 while five
// digits name every register, else 400001 for all of them, so one read is
// never numbered in two ways.
int HoldingRegisterBase(int last);
