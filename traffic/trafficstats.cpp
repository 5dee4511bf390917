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

void TrafficStats::Retry(int code) { ++Kind(code).retries; }

void TrafficStats::Outcome(int code, Grade grade) {
    RequestKindStats& kind = Kind(code);
    switch (grade) {
        case Grade::Ok:
            ++kind.good;
            break;
        case Grade::Warning:
            ++kind.warnings;
            break;
        case Grade::Fault:
        case Grade::NotHandled:
            ++kind.wrong;
            break;
        case Grade::Exception:
            ++kind.exceptions;
            break;
        case Grade::Timeout:
            ++kind.timeouts;
            break;
        case Grade::None:
            ++kind.unjudged;
            break;
    }
}

namespace {

std::string Plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

namespace {

// "2 good, 1 wrong, 0 exceptions, 1 timeout", with warnings and replies not
// judged only when there are any.
std::string Outcomes(const RequestKindStats& k) {
    std::string text = std::to_string(k.good) + " good";
    if (k.warnings) text += ", " + Plural(k.warnings, "warning", "warnings");
    text += ", " + std::to_string(k.wrong) + " wrong, " +
            Plural(k.exceptions, "exception", "exceptions") + ", " +
            Plural(k.timeouts, "timeout", "timeouts");
    if (k.unjudged) text += ", " + std::to_string(k.unjudged) + " not judged";
    return text;
}

}  // namespace

std::vector<std::string> FormatTrafficStats(const TrafficStats& stats) {
    std::vector<std::string> lines;
    RequestKindStats total;
    for (const RequestKindStats& kind : stats.kinds()) {
        total.requests += kind.requests;
        total.good += kind.good;
        total.warnings += kind.warnings;
        total.wrong += kind.wrong;
        total.exceptions += kind.exceptions;
        total.timeouts += kind.timeouts;
        total.unjudged += kind.unjudged;
        total.retries += kind.retries;
        const char* name = RequestName(kind.code);
        std::string line = (*name ? std::string(name) : "Request " + std::to_string(kind.code)) +
                           ": " + Plural(kind.requests, "request", "requests") + ", " +
                           Outcomes(kind);
        if (kind.late) line += ", " + std::to_string(kind.late) + " late";
        if (kind.retries) line += ", " + Plural(kind.retries, "retry", "retries");
        if (kind.Min()) {
            line += ", response min/median/max " + std::to_string(*kind.Min()) + "/" +
                    std::to_string(*kind.Median()) + "/" + std::to_string(*kind.Max()) + " ms";
        }
        lines.push_back(std::move(line));
    }
    lines.push_back("Total: " + Plural(total.requests, "request", "requests") + ", " +
                    Outcomes(total) + ", " + Plural(stats.hangUps(), "hang-up", "hang-ups"));
    if (total.retries) lines.back() += ", " + Plural(total.retries, "retry", "retries");
    if (stats.droppedBlocks()) {
        lines.back() += ", " + Plural(stats.droppedBlocks(), "block", "blocks") + " not handled";
    }
    return lines;
}
