// Decoding of a MODBUS RTU reply: the module's answer to the test request, or
// any slave frame seen on the line. Bytes in, fields out; nothing is read past
// the reply given, and a damaged reply still yields every field it holds.
//
// Frame layouts (MODBUS application protocol, RTU framing):
//   exception        slave, function | 0x80, code, CRC            (5 bytes)
//   01 02 03 04 17   slave, function, byte count, data..., CRC    (5 + count)
//   05 06 0F 10      slave, function, four bytes echoed, CRC      (8 bytes)
// The CRC is CRC-16/MODBUS, low-order byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Register numbers as the module's labels give them: offset 0 is 40001.
inline constexpr int kFirstHoldingRegister = 40001;

enum class ModbusReplyProblem {
    None,
    TooShort,         // under 5 bytes: no room for slave, function, one byte and a CRC
    Truncated,        // ends before the CRC its layout places
    TrailingBytes,    // bytes follow the CRC
    OddByteCount,     // register read with an odd byte count: half a register
    UnknownFunction,  // layout unknown: the CRC is taken as the last two bytes
};

// One line naming the problem ("the reply ends before its CRC"); "" for None.
const char* ModbusReplyProblemText(ModbusReplyProblem problem);

struct ModbusReply {
    ModbusReplyProblem problem = ModbusReplyProblem::None;
    uint8_t slave = 0;
    uint8_t function = 0;  // without the exception bit
    bool exception = false;
    uint8_t exceptionCode = 0;  // exception replies only
    bool hasByteCount = false;  // functions 01-04 and 17
    uint8_t byteCount = 0;
    std::vector<uint8_t> data;        // the data bytes that arrived (byte count's or echoed)
    std::vector<uint16_t> registers;  // functions 03, 04: data as registers, high byte first
    size_t frameLength = 0;           // slave through CRC, as the layout places them
    bool crcPresent = false;          // the reply reaches the CRC's position
    bool crcOk = false;
    std::array<uint8_t, 2> crcReceived{};  // wire order, low-order byte first
    std::array<uint8_t, 2> crcExpected{};  // what the bytes before it call for
};

// Decodes whatever `reply` holds; never fails, see `problem` and `crcOk`.
ModbusReply DecodeModbusReply(std::span<const uint8_t> reply);

// "03 Read holding registers"; "41 Unknown function" for codes without a name.
std::string ModbusFunctionName(uint8_t function);

// The standard's exception name: "02 Illegal data address";
// "0C Unknown exception" for codes it does not define.
std::string ModbusExceptionName(uint8_t code);

// Two registers read as a float in each byte order of modbus/byteorder.h.
struct ModbusFloatPair {
    int address = 0;              // register number of the first register: 40003
    std::array<uint8_t, 4> wire;  // the four bytes as received
    std::array<float, 4> value;   // value[order]
};

// The register pairs of `registers`, the first of which has the register
// number `firstAddress`, that begin at an odd register number (40001, 40003,
// ...): that is where the module keeps its four floats (40003 to 40009).
std::vector<ModbusFloatPair> ModbusFloatPairs(std::span<const uint16_t> registers,
                                              int firstAddress);
