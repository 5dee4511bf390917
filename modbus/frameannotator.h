// Annotation of MODBUS RTU frames as the log shows them: the test request the
// tool sends, and the reply, read by the reply decoder and told in words
// (slave, function, byte count, registers, exception, CRC with the expected
// value on a mismatch).
#pragma once

#include <cstdint>
#include <span>

#include "protocol/framenotes.h"

// The tool's read holding registers request: slave, function, start, count, CRC.
FrameNotes AnnotateModbusRequest(std::span<const uint8_t> frame);

// A slave's reply, whatever it holds.
FrameNotes AnnotateModbusReply(std::span<const uint8_t> reply);
