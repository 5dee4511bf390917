#include "modbus/frameannotator.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "modbus/crc16.h"
#include "modbus/reply.h"
#include "protocol/hexbytes.h"

namespace {

FrameNote CrcNote(std::span<const uint8_t> received, std::span<const uint8_t> expected) {
    const bool ok = std::equal(received.begin(), received.end(), expected.begin());
    return {"CRC " + HexText(received) + (ok ? " OK" : " wrong, expected " + HexText(expected)),
            !ok};
}

}  // namespace

FrameNotes AnnotateModbusRequest(std::span<const uint8_t> frame) {
    if (frame.size() != 8)
        return {{std::to_string(frame.size()) + " bytes: not a MODBUS RTU register request", true}};
    const auto expected = ModbusCrc16(frame.first(6));
    return {
        {"slave " + std::to_string(frame[0])},
        {"function " + ModbusFunctionName(frame[1])},
        {"start register " + std::to_string(kFirstHoldingRegister + frame[2] * 256 + frame[3]) +
         ", count " + std::to_string(frame[4] * 256 + frame[5])},
        CrcNote(frame.subspan(6, 2), expected),
    };
}

FrameNotes AnnotateModbusReply(std::span<const uint8_t> bytes) {
    const ModbusReply reply = DecodeModbusReply(bytes);
    FrameNotes notes;
    if (reply.problem == ModbusReplyProblem::TooShort) {
        notes.push_back({ModbusReplyProblemText(reply.problem), true});
        return notes;
    }
    notes.push_back({"slave " + std::to_string(reply.slave)});
    if (reply.exception) {
        notes.push_back({"exception to " + ModbusFunctionName(reply.function) + ": " +
                             ModbusExceptionName(reply.exceptionCode),
                         true});
    } else {
        notes.push_back({"function " + ModbusFunctionName(reply.function)});
    }
    if (reply.hasByteCount) notes.push_back({"byte count " + std::to_string(reply.byteCount)});
    if (!reply.registers.empty()) {
        std::string text = "registers (hex)";
        for (size_t i = 0; i < reply.registers.size(); ++i) {
            char value[8];
            std::snprintf(value, sizeof value, " %04X", reply.registers[i]);
            text += value;
        }
        notes.push_back({text});
    }
    if (reply.problem != ModbusReplyProblem::None)
        notes.push_back({ModbusReplyProblemText(reply.problem), true});
    if (reply.crcPresent) notes.push_back(CrcNote(reply.crcReceived, reply.crcExpected));
    return notes;
}
