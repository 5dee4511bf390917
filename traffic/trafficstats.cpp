#include "traffic/trafficstats.h"

#include <algorithm>

#include "exchange/requestcodes.h"

std::optional<int64_t> RequestKindStats::Min() const {
    if (responseMs.empty()) return std::nullopt;
    return responseMs.begin()->first;
}

std::optional<int64_t> RequestKindStats::Max() const {
    if (responseMs.empty()) return std::nullopt;
    return responseMs.rbegin()->first;
}

std::optional<int64_t> RequestKindStats::Median() const {
    uint64_t total = 0;
    for (const auto& [ms, count] : responseMs) total += count;
    if (total == 0) return std::nullopt;
    const uint64_t middle = (total - 1) / 2;  // index of the lower median
    uint64_t seen = 0;
    for (const auto& [ms, count] : responseMs) {
        seen += count;
        if (seen > middle) return ms;
    }
    return std::nullopt;
}

RequestKindStats& TrafficStats::Kind(int code) {
    for (RequestKindStats& kind : kinds_) {
        if (kind.code == code) return kind;
    }
    kinds_.push_back({});
    kinds_.back().code = code;
    return kinds_.back();
}

const RequestKindStats* TrafficStats::Find(int code) const {
    const auto it = std::find_if(kinds_.begin(), kinds_.end(),
                                 [code](const RequestKindStats& k) { return k.code == code; });
    return it == kinds_.end() ? nullptr : &*it;
}

void TrafficStats::Request(int code) { ++Kind(code).requests; }

void TrafficStats::Reply(int code, int64_t responseMs) {
    RequestKindStats& kind = Kind(code);
    ++kind.replies;
    ++kind.responseMs[std::max<int64_t>(responseMs, 0)];
}

void TrafficStats::Late(int code) { ++Kind(code).late; }

void TrafficStats::Timeout(int code) { ++Kind(code).timeouts; }

namespace {

std::string Plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::vector<std::string> FormatTrafficStats(const TrafficStats& stats) {
    std::vector<std::string> lines;
    uint64_t requests = 0, replies = 0, timeouts = 0;
    for (const RequestKindStats& kind : stats.kinds()) {
        requests += kind.requests;
        replies += kind.replies;
        timeouts += kind.timeouts;
        const char* name = RequestName(kind.code);
        std::string line = (*name ? std::string(name) : "Request " + std::to_string(kind.code)) +
                           ": " + Plural(kind.requests, "request", "requests") + ", " +
                           Plural(kind.replies, "reply", "replies") + ", " +
                           Plural(kind.timeouts, "timeout", "timeouts");
        if (kind.late) line += ", " + std::to_string(kind.late) + " late";
        if (kind.Min()) {
            line += ", response min/median/max " + std::to_string(*kind.Min()) + "/" +
                    std::to_string(*kind.Median()) + "/" + std::to_string(*kind.Max()) + " ms";
        }
        lines.push_back(std::move(line));
    }
    lines.push_back("Total: " + Plural(requests, "request", "requests") + ", " +
                    Plural(replies, "reply", "replies") + ", " +
                    Plural(timeouts, "timeout", "timeouts") + ", " +
                    Plural(stats.hangUps(), "hang-up", "hang-ups"));
    if (stats.droppedBlocks()) {
        lines.back() += ", " + Plural(stats.droppedBlocks(), "block", "blocks") + " not handled";
    }
    return lines;
}
