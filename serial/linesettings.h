// Line settings of TComm mapped onto termios, without a device, so the mapping
// is testable on its own.
//
// What termios cannot express is stored by TComm but has no effect here: DSR
// output flow and DSR sensitivity, DTR handshake, TxContinueOnXoff, the XON and
// XOFF limits, ReplaceWhenParityError and ReplacedChar (with INPCK a byte with
// a parity error always reads as 0), IgnoreNullChar. CTS output flow and RTS
// handshake are the one flag CRTSCTS.
#pragma once

#include <termios.h>

#include <cstdint>

#include "serial/tcomm.h"

struct TLineSettings {
    uint32_t baudRate = 9600;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    bool parityCheck = false;
    bool hardwareFlow = false;  // CTS output flow or RTS handshake
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    char xonChar = 0x11;
    char xoffChar = 0x13;
};

// false for a rate without a Bxxxx constant (14400, 56000, ...).
bool SpeedForBaud(uint32_t baud, speed_t* speed);

// Raw bytes both ways, no modem control, and a read returns as soon as one
// byte is there: VMIN 0 would make an idle line read 0 bytes, which looks
// like a hang-up.
void MakeRaw(termios& t);

// MakeRaw plus the settings. A rate without a constant (set by number
// through termios2 instead, see linespeed.h), 1.5 stop bits (not
// available on Linux) or a parity or byte size outside its enumeration keeps
// what t held for that field.
void EncodeLineSettings(const TLineSettings& s, termios& t);

// true when the driver kept everything EncodeLineSettings asked for.
bool SameLineSettings(const termios& a, const termios& b);
