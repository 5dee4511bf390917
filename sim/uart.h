// The module's RS485 line as a UART sees it: the speeds and parities it
// offers, and what a receiver set to other settings makes of its bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sim/responder.h"

// The speeds of the module's baud setting, by index 0..5.
inline constexpr std::array<int, 6> kRs485Bauds{1200, 2400, 4800, 9600, 19200, 38400};
// The index of `baud` in that list, or nullopt for a speed the module lacks.
std::optional<int> Rs485BaudIndex(int baud);

enum class Parity { None = 0, Odd = 1, Even = 2 };  // as the module's parity setting

struct UartFrame {
    int baud = 9600;
    Parity parity = Parity::None;  // 8 data bits and one stop bit either way
};

// The bytes a receiver framed as `receiver` reads while `sent` goes out
// back to back framed as `sender`. The receiver waits for a falling edge,
// takes the start bit back if it is high again in its middle, samples every
// bit in its middle and delivers the 8 data bits whatever its parity and
// stop bits hold (a raw port checks neither), then waits for the next
// falling edge. Same framing gives `sent` back.
Bytes ResampleUart(const Bytes& sent, UartFrame sender, UartFrame receiver);
