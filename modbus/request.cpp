#include "modbus/request.h"

#include <span>

#include "modbus/crc16.h"

namespace {

constexpr uint8_t kReadHoldingRegisters = 0x03;

ModbusRequest WithCrc(ModbusRequest frame) {
    const auto crc = ModbusCrc16(std::span(frame).first(6));
    frame[6] = crc[0];
    frame[7] = crc[1];
    return frame;
}

}  // namespace

ModbusRequest ReadHoldingRegistersRequest(int slave, int start, int count) {
    return WithCrc({static_cast<uint8_t>(slave), kReadHoldingRegisters, 0x00,
                    static_cast<uint8_t>(start), 0x00, static_cast<uint8_t>(count)});
}

ModbusRequest ReadHoldingRegisters(int slave, int start, int count) {
    return WithCrc({static_cast<uint8_t>(slave), kReadHoldingRegisters,
                    static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start),
                    static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)});
}

int HoldingRegisterBase(int last) { return last < 9999 ? 40001 : 400001; }
