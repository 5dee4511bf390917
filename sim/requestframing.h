// Where a request ends when its own bytes say so, as the module's firmware
// tells: a configuration frame by its grammar, a HART master frame by its
// byte count and checksum, a MODBUS RTU request by its function's length and
// CRC. Anything else (payload frames, which carry raw bytes and no
// terminator, and noise) is framed by line silence.
#pragma once

#include <cstddef>
#include <optional>

#include "sim/responder.h"

// The length of the complete frame at the start of `bytes`, or nullopt while
// the bytes do not (yet) hold one the module can tell complete.
std::optional<size_t> CompleteRequestLength(const Bytes& bytes);
