// Where a HART frame begins in a block as it crossed the line: bytes that are
// not the frame's (noise, the tail of an earlier block), the run of preamble
// bytes 0xFF, then the delimiter. The reply decoders, the frame annotator and
// the traffic log all find the frame with this one scan, so they never
// disagree about where it starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

inline constexpr uint8_t kHartPreambleByte = 0xFF;

struct HartFrameStart {
    size_t preambleAt = 0;   // first byte of the preamble run
    size_t delimiterAt = 0;  // first byte after the run: the delimiter

    // Bytes of the block before the preamble run.
    size_t LeadingBytes() const { return preambleAt; }
    // Preamble bytes in the run, at least one.
    size_t Preambles() const { return delimiterAt - preambleAt; }

    bool operator==(const HartFrameStart&) const = default;
};

// The first run of 0xFF at or after `from` with a byte after it; nullopt when
// there is no 0xFF from `from` on, or the run reaches the end of `bytes`.
// Calling again with `from` = delimiterAt gives the next candidate frame.
std::optional<HartFrameStart> FindHartFrameStart(std::span<const uint8_t> bytes, size_t from = 0);
