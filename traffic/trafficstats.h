// Counts of a traffic session per request kind: requests, replies, timeouts,
// and response times kept as a histogram of whole milliseconds, so a long
// session keeps a steady memory and the median stays exact.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct RequestKindStats {
    int code = 0;
    uint64_t requests = 0;
    uint64_t replies = 0;  // requests answered before their timeout
    uint64_t timeouts = 0;
    uint64_t late = 0;                       // answered after their timeout
    std::map<int64_t, uint64_t> responseMs;  // response time -> how often

    std::optional<int64_t> Min() const;
    std::optional<int64_t> Max() const;
    // The lower median: the middle value, or the lower of the two middle ones.
    std::optional<int64_t> Median() const;
};

class TrafficStats {
public:
    void Request(int code);
    void Reply(int code, int64_t responseMs);
    void Late(int code);
    void Timeout(int code);
    void HangUp() { ++hangUps_; }
    void Dropped(uint64_t blocks) { droppedBlocks_ += blocks; }
    void Clear() { *this = TrafficStats(); }

    // Kinds in the order of their first request.
    const std::vector<RequestKindStats>& kinds() const { return kinds_; }
    const RequestKindStats* Find(int code) const;
    uint64_t hangUps() const { return hangUps_; }
    uint64_t droppedBlocks() const { return droppedBlocks_; }

private:
    RequestKindStats& Kind(int code);
    std::vector<RequestKindStats> kinds_;
    uint64_t hangUps_ = 0;
    uint64_t droppedBlocks_ = 0;
};

// One line per kind ("HART Command 3: 4 requests, 3 replies, 1 timeout,
// response min/median/max 120/122/130 ms"), then the totals with hang-ups and,
// if any, the received blocks that were never handled.
std::vector<std::string> FormatTrafficStats(const TrafficStats& stats);
