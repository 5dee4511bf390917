// One request on the line as the link keeps it: what was sent, when, and what
// has come back for it so far. The link hands it with each of its results, so
// whoever records them (the traffic log) needs no idea of its own of what is
// pending.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct ExchangeRecord {
    enum class Origin {
        Window,    // one of the window's own requests
        Sequence,  // a step of a sequence (Read Module, Apply, a poll, the CLI)
    };

    int code = 0;  // exchange/requestcodes.h
    Origin origin = Origin::Window;
    std::vector<uint8_t> frame;
    std::chrono::steady_clock::time_point sent;
    bool portOpen = false;  // when it was sent
    bool answered = false;  // a block came for it
    bool timedOut = false;  // its timeout fired
    size_t bytesSince = 0;  // received since it was sent
    std::vector<uint8_t> received;  // those bytes, the first 4 KiB of them
    // The port's read interval when it was sent: a block is delivered that
    // long after its last byte.
    std::optional<uint32_t> readIntervalMs;
};
