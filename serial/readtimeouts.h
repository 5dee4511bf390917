// Read timeouts shared with the reader, which sees changes at its next wake.
#pragma once

#include <atomic>
#include <cstdint>

struct TReadTimeouts {
    std::atomic<uint32_t> interval{
        0};  // ms of silence after a byte that completes a block; 0 = none
    std::atomic<uint32_t> multiplier{0};  // ms per byte asked for, counted from the read's start
    std::atomic<uint32_t> constant{0};    // ms added to that total; total 0 = no limit
};
