#include "modbus/reply.h"

#include <algorithm>

#include "modbus/byteorder.h"
#include "modbus/crc16.h"
#include "protocol/hexbytes.h"

namespace {

constexpr uint8_t kExceptionBit = 0x80;
constexpr size_t kHeader = 2;  // slave, function
constexpr size_t kCrcSize = 2;
constexpr size_t kEchoSize = 4;  // address and value or quantity

struct NamedCode {
    uint8_t code;
    const char* name;
};

// Public function codes of the MODBUS application protocol.
constexpr NamedCode kFunctions[] = {
    {0x01, "Read coils"},
    {0x02, "Read discrete inputs"},
    {0x03, "Read holding registers"},
    {0x04, "Read input registers"},
    {0x05, "Write single coil"},
    {0x06, "Write single register"},
    {0x0F, "Write multiple coils"},
    {0x10, "Write multiple registers"},
    {0x17, "Read/write multiple registers"},
};

// Exception codes of the MODBUS application protocol.
constexpr NamedCode kExceptions[] = {
    {0x01, "Illegal function"},
    {0x02, "Illegal data address"},
    {0x03, "Illegal data value"},
    {0x04, "Server device failure"},
    {0x05, "Acknowledge"},
    {0x06, "Server device busy"},
    {0x08, "Memory parity error"},
    {0x0A, "Gateway path unavailable"},
    {0x0B, "Gateway target device failed to respond"},
};

std::string Named(std::span<const NamedCode> table, uint8_t code, const char* unknown) {
    const std::string hex = ByteToHex(code);
    for (const NamedCode& entry : table) {
        if (entry.code == code) return hex + " " + entry.name;
    }
    return hex + " " + unknown;
}

bool HasByteCount(uint8_t function) {
    return (function >= 0x01 && function <= 0x04) || function == 0x17;
}

bool EchoesRequest(uint8_t function) {
    return function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10;
}

bool CarriesRegisters(uint8_t function) { return function == 0x03 || function == 0x04; }

}  // namespace

const char* ModbusReplyProblemText(ModbusReplyProblem problem) {
    switch (problem) {
        case ModbusReplyProblem::None:
            return "";
        case ModbusReplyProblem::TooShort:
            return "too short for a MODBUS reply";
        case ModbusReplyProblem::Truncated:
            return "the reply ends before its CRC";
        case ModbusReplyProblem::TrailingBytes:
            return "bytes follow the CRC";
        case ModbusReplyProblem::OddByteCount:
            return "odd byte count: half a register";
        case ModbusReplyProblem::UnknownFunction:
            return "unknown function: the last two bytes taken as the CRC";
    }
    return "";
}

std::string ModbusFunctionName(uint8_t function) {
    return Named(kFunctions, function, "Unknown function");
}

std::string ModbusExceptionName(uint8_t code) {
    return Named(kExceptions, code, "Unknown exception");
}

ModbusReply DecodeModbusReply(std::span<const uint8_t> reply) {
    ModbusReply r;
    if (reply.size() < kHeader + 1 + kCrcSize) {
        r.problem = ModbusReplyProblem::TooShort;
        if (!reply.empty()) r.slave = reply[0];
        if (reply.size() > 1) {
            r.function = reply[1] & ~kExceptionBit;
            r.exception = (reply[1] & kExceptionBit) != 0;
        }
        return r;
    }
    r.slave = reply[0];
    r.function = reply[1] & ~kExceptionBit;
    r.exception = (reply[1] & kExceptionBit) != 0;

    size_t dataAt = kHeader;
    size_t dataSize = 0;
    if (r.exception) {
        r.exceptionCode = reply[2];
        dataAt = kHeader + 1;
    } else if (HasByteCount(r.function)) {
        r.hasByteCount = true;
        r.byteCount = reply[2];
        dataAt = kHeader + 1;
        dataSize = r.byteCount;
    } else if (EchoesRequest(r.function)) {
        dataSize = kEchoSize;
    } else {
        r.problem = ModbusReplyProblem::UnknownFunction;
        dataSize = reply.size() - kHeader - kCrcSize;
    }
    r.frameLength = dataAt + dataSize + kCrcSize;

    const size_t arrived = std::min(dataSize, reply.size() - dataAt);
    r.data.assign(reply.begin() + dataAt, reply.begin() + dataAt + arrived);
    if (CarriesRegisters(r.function) && !r.exception) {
        for (size_t i = 0; i + 1 < r.data.size(); i += 2) {
            r.registers.push_back(static_cast<uint16_t>(r.data[i] << 8 | r.data[i + 1]));
        }
        if (r.byteCount % 2 != 0) r.problem = ModbusReplyProblem::OddByteCount;
    }

    if (reply.size() < r.frameLength) {
        r.problem = ModbusReplyProblem::Truncated;
        return r;
    }
    r.crcPresent = true;
    const size_t crcAt = r.frameLength - kCrcSize;
    r.crcReceived = {reply[crcAt], reply[crcAt + 1]};
    r.crcExpected = ModbusCrc16(reply.first(crcAt));
    r.crcOk = r.crcReceived == r.crcExpected;
    if (reply.size() > r.frameLength && r.problem == ModbusReplyProblem::None) {
        r.problem = ModbusReplyProblem::TrailingBytes;
    }
    return r;
}

std::vector<ModbusFloatPair> ModbusFloatPairs(std::span<const uint16_t> registers,
                                              int firstAddress) {
    std::vector<ModbusFloatPair> pairs;
    for (size_t i = 0; i + 1 < registers.size(); ++i) {
        const int address = firstAddress + static_cast<int>(i);
        if ((address - kFirstHoldingRegister) % 2 != 0) continue;
        ModbusFloatPair pair;
        pair.address = address;
        pair.wire = {static_cast<uint8_t>(registers[i] >> 8), static_cast<uint8_t>(registers[i]),
                     static_cast<uint8_t>(registers[i + 1] >> 8),
                     static_cast<uint8_t>(registers[i + 1])};
        for (int order = 0; order < kFloatByteOrderCount; ++order) {
            pair.value[static_cast<size_t>(order)] = FloatFromWire(order, pair.wire);
        }
        pairs.push_back(pair);
    }
    return pairs;
}
