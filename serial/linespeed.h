// The line's speed through the kernel's termios2 interface, which carries any
// rate in bits per second, not only those with a Bxxxx constant.
#pragma once

#include <cstdint>
#include <optional>

// Sets input and output to exactly `baud` (BOTHER); false when `baud` is 0
// (which would hang up the line) or the driver does not keep that rate.
bool SetExactSpeed(int fd, uint32_t baud);

// The output speed the driver reports; nullopt when it cannot be read.
std::optional<uint32_t> LineSpeed(int fd);
