// Counts of a traffic session per request kind: requests, and what each came
// to (good, warning, wrong, exception, timed out, not judged), replies and
// late replies, and response times kept as a histogram of whole milliseconds, so a long
// session keeps a steady memory and the median stays exact.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "exchange/replygrade.h"

struct RequestKindStats {
    int code = 0;
    uint64_t requests = 0;
    uint64_t replies = 0;  // requests answered before their timeout, whatever the answer
    // What the requests came to, each counted once.
    uint64_t good = 0;
    uint64_t warnings = 0;  // complete, usable, with a warning from the device
    uint64_t wrong = 0;     // wrong, broken or cut short
    uint64_t exceptions = 0;
    uint64_t timeouts = 0;
    uint64_t unjudged = 0;  // answered with a reply no judge knows (a typed HART frame)
    uint64_t late = 0;                       // answered after their timeout
    uint64_t retries = 0;                    // asked again after a lost, cut or damaged reply
    std::map<int64_t, uint64_t> responseMs;  // response time -> how often

    std::optional<int64_t> Min() const;
    std::optional<int64_t> Max() const;
    // The lower median: the middle value, or the lower of the two middle ones.
    std::optional<int64_t> Median() const;
};

class TrafficStats {
public:
    void Request(int code);
    // The first block of a reply, in time.
    void Reply(int code, int64_t responseMs);
    void Late(int code);
    void Retry(int code);
    // What a request came to; a Timeout grade counts a timeout.
    void Outcome(int code, Grade grade);
    void Timeout(int code) { Outcome(code, Grade::Timeout); }
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

// One line per kind ("HART Command 3: 4 requests, 2 good, 1 wrong, 0 exceptions,
// 1 timeout, response min/median/max 120/122/130 ms"; warnings, replies not
// judged, late ones and retries when there are any), then the totals with hang-ups and,
// if any, the received blocks that were never handled.
std::vector<std::string> FormatTrafficStats(const TrafficStats& stats);
