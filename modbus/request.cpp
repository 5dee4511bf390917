#include "modbus/request.h"

#include <span>

#include "modbus/crc16.h"

ModbusRequest ReadHoldingRegistersRequest(int slave, int start, int count) {
    constexpr uint8_t kReadHoldingRegisters = 0x03;
    ModbusRequest frame{
        static_cast<uint8_t>(slave), kReadHoldingRegisters, 0x00, static_cast<uint8_t>(start), 0x00,
        static_cast<uint8_t>(count)};
    const auto crc = ModbusCrc16(std::span(frame).first(6));
    frame[6] = crc[0];
    frame[7] = crc[1];
    return frame;
}
