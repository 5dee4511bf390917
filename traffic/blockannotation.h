// Picks the annotator for a block by the request it belongs to: HART frames
// for the transparent-mode requests, MODBUS RTU for the test request, the
// key check for configuration replies.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/framenotes.h"

// Notes on a block written (`sent`) or received under request `code`.
FrameNotes AnnotateBlock(int code, bool sent, std::span<const uint8_t> bytes);
