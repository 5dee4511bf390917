#include "hart/framestart.h"

std::optional<HartFrameStart> FindHartFrameStart(std::span<const uint8_t> bytes, size_t from) {
    size_t at = from;
    while (at < bytes.size() && bytes[at] != kHartPreambleByte) ++at;
    const size_t preambleAt = at;
    while (at < bytes.size() && bytes[at] == kHartPreambleByte) ++at;
    if (at == preambleAt || at >= bytes.size()) return std::nullopt;
    return HartFrameStart{preambleAt, at};
}
