// The one-exchange steps the CLI and the jobs send: HART commands through
// transparent mode and a MODBUS function 03 read, each with its request code
// and label.
#pragma once

#include "exchange/requestsequence.h"
#include "hart/frames.h"

// The window's default preamble length for HART transparent mode.
inline constexpr int kDefaultHartPreamble = 6;

// The preamble length (as the frame builders take it: P + 1 bytes 0xFF) of a
// frame to the instrument: as many bytes as its command 0 asked for, the
// default before that (command 0 itself goes with the default).
int HartPreamblesFor(const HartIdentity& identity);

SequenceStep HartCommand0Step(int pollingAddress);
SequenceStep HartCommand3Step(const HartIdentity& identity);
SequenceStep ModbusReadStep(int slave, int start, int count);
// Any universal command with a request code (exchange/requestcodes.h) in a
// long frame to the instrument, with `data`: "HART command 13".
SequenceStep HartStep(uint8_t command, const HartIdentity& identity,
                      std::span<const uint8_t> data = {});

// The warning a step's accepted reply came with, named as the verdict names
// it ("response code 8 ..."); "" when it came without one.
std::string StepWarning(const SequenceStep& step, const std::string& reply);
