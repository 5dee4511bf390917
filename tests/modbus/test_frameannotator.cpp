// MODBUS annotator: the test request and replies told in words, with the
// faults the log must point out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/frameannotator.h"
#include "modbus/request.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Text(const FrameNotes& notes) {
    std::string text;
    for (const FrameNote& n : notes) text += (n.problem ? "! " : "") + n.text + "\n";
    return text;
}

TEST(AnnotateModbus, RequestsAndReplies) {
    const struct {
        const char* what;
        FrameNotes notes;
        std::string expected;
    } cases[] = {
        {"the standard's request example",
         AnnotateModbusRequest(ReadHoldingRegistersRequest(0x11, 0x6B, 3)),
         "slave 17\nfunction 03 Read holding registers\nstart register 40108, count 3\nCRC 76 87 "
         "OK\n"},
        {"request with a damaged CRC",
         AnnotateModbusRequest(Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCE}),
         "slave 1\nfunction 03 Read holding registers\nstart register 40001, count 10\n"
         "! CRC C5 CE wrong, expected C5 CD\n"},
        {"the standard's reply example",
         AnnotateModbusReply(
             Bytes{0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64, 0xC8, 0xBA}),
         "slave 17\nfunction 03 Read holding registers\nbyte count 6\n"
         "registers (hex) 022B 0000 0064\nCRC C8 BA OK\n"},
        {"corrupted CRC",
         AnnotateModbusReply(
             Bytes{0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00}),
         "slave 17\nfunction 03 Read holding registers\nbyte count 6\n"
         "registers (hex) 022B 0000 0064\n! CRC 00 00 wrong, expected C8 BA\n"},
        {"exception reply", AnnotateModbusReply(Bytes{0x01, 0x83, 0x02, 0xC0, 0xF1}),
         "slave 1\n! exception to 03 Read holding registers: 02 Illegal data address\nCRC C0 F1 "
         "OK\n"},
        {"reply cut short", AnnotateModbusReply(Bytes{0x11, 0x03, 0x06, 0x02, 0x2B, 0x00, 0x00}),
         "slave 17\nfunction 03 Read holding registers\nbyte count 6\n"
         "registers (hex) 022B 0000\n! the reply ends before its CRC\n"},
        {"too short", AnnotateModbusReply(Bytes{0x01, 0x83}), "! too short for a MODBUS reply\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.notes), c.expected) << c.what;
}

}  // namespace
