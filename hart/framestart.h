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

// Bytes of the whole frame whose delimiter is at `delimiterAt` (delimiter,
// address, expansion bytes, command, byte count, data, checksum); 0 when the
// bytes there do not make one: an unknown frame type, the block ending early
// or a checksum that does not check.
size_t HartFrameLength(std::span<const uint8_t> bytes, size_t delimiterAt);

// The first candidate from `from` on whose delimiter is `delimiter` and whose
// bytes make a whole frame. Noise can hold 0xFF and a delimiter value, so a
// candidate that is no frame is passed over for the next one.
std::optional<HartFrameStart> FindWholeHartFrame(std::span<const uint8_t> bytes, uint8_t delimiter,
                                                 size_t from = 0);
