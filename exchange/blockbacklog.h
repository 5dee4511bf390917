// Received blocks waiting for the receive handler, oldest first. The backlog
// is bounded so that a device flooding the line can neither grow memory nor
// delay the replies behind it without end: beyond the limit the oldest
// waiting block is dropped and counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

class BlockBacklog {
public:
    explicit BlockBacklog(size_t limit) : limit_(limit == 0 ? 1 : limit) {}

    // Returns how many older blocks this one pushed out (0 or 1).
    size_t Push(std::string block);
    std::optional<std::string> Pop();
    // Empties the backlog; returns how many blocks were discarded.
    size_t Clear();

    size_t size() const { return blocks_.size(); }
    bool empty() const { return blocks_.empty(); }
    size_t limit() const { return limit_; }
    uint64_t accepted() const { return accepted_; }
    uint64_t acceptedBytes() const { return acceptedBytes_; }
    uint64_t dropped() const { return dropped_; }
    uint64_t discarded() const { return discarded_; }

private:
    size_t limit_;
    std::deque<std::string> blocks_;
    uint64_t accepted_ = 0;
    uint64_t acceptedBytes_ = 0;
    uint64_t dropped_ = 0;    // pushed out by newer blocks
    uint64_t discarded_ = 0;  // cleared, for example when the port closed
};
