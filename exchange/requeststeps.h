// The one-exchange steps the CLI and the certificate job send: HART command 0
// and 3 through transparent mode and a MODBUS function 03 read, each with its
// request code and label.
#pragma once

#include "exchange/requestsequence.h"
#include "hart/frames.h"

// The window's default preamble length for HART transparent mode.
inline constexpr int kDefaultHartPreamble = 6;

SequenceStep HartCommand0Step(int pollingAddress);
SequenceStep HartCommand3Step(const HartIdentity& identity);
SequenceStep ModbusReadStep(int slave, int start, int count);
