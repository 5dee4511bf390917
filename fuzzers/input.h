// What every fuzz target starts from: the input as reply text or bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

inline std::string_view AsText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline std::span<const uint8_t> AsBytes(const uint8_t* data, size_t size) { return {data, size}; }
