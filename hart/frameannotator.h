// Annotation of HART frames as they cross the module's transparent mode:
// preambles, delimiter, address, command, byte count, response code and
// device status in words, checksum and length checked (HART field
// communication protocol, data link layer; common practice command set for
// the response codes and status bits).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "hart/status.h"
#include "protocol/framenotes.h"

// The notes on `bytes` read as a HART frame: bytes before the preamble, the
// preamble, then delimiter onward. nullopt when no 0xFF preamble byte is
// followed by anything, i.e. the block is not a HART frame at all.
std::optional<FrameNotes> AnnotateHartFrame(std::span<const uint8_t> bytes);
