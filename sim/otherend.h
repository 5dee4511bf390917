// What the far side of a pseudo-terminal has set its line to, as far as the
// master can tell. Kept apart from <termios.h>, which clashes with the
// kernel's termios2 header.
#pragma once

#include <cstdint>
#include <optional>

struct OtherEndLine {
    uint32_t baud = 0;
    // The pty driver clears PARENB and CSIZE on every change but keeps
    // PARODD: odd parity shows, even parity looks the same as none.
    bool parityOdd = false;
};

// The slave's line settings read through the master `fd`; nullopt when
// they cannot be read.
std::optional<OtherEndLine> ReadOtherEndLine(int fd);
