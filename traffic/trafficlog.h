// The traffic log: every block written and received, timeouts, opening and
// closing, hang-ups, with their times; a bounded history (older events are
// dropped and counted) and the statistics of the whole session. No Qt: the
// link feeds it, handing with each event the request it belongs to, and the
// traffic panel shows it. The log has no idea of its own of what is pending.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/echofilter.h"
#include "exchange/exchangerecord.h"
#include "exchange/payloadtext.h"
#include "exchange/replygrade.h"
#include "exchange/replyverdict.h"
#include "hart/frames.h"
#include "protocol/framenotes.h"
#include "traffic/trafficstats.h"

struct TrafficTime {
    std::chrono::system_clock::time_point wall;    // shown
    std::chrono::steady_clock::time_point steady;  // measured
    static TrafficTime Now();
};

// The port and its line settings, as the log's header names them.
struct TrafficLine {
    std::string port;
    uint32_t baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    std::string stopBits = "1";
    uint32_t readIntervalMs = 0;  // quiet time after which the port delivers a block
    std::string prober;           // a service probing the device, with its fix; empty if none
    // A pseudo-terminal hands bytes over at once: no time on a line to allow for.
    bool pseudoTerminal = false;

    std::string Text() const;  // "/dev/ttyUSB0 9600 8N1"
    // Time one character of `count` bytes takes on the line.
    int64_t LineTimeMs(size_t count) const;
};

enum class TrafficKind { Sent, Received, Timeout, Retry, Opened, Closed, HangUp, Dropped, Echo };

struct TrafficEvent {
    TrafficKind kind;
    TrafficTime time;
    int code = 0;  // the request the event belongs to; 0 = none
    std::optional<int64_t> sinceRequestMs;
    std::vector<uint8_t> bytes;  // the block; for a timeout, the request's frame
    FrameNotes context;          // what the log knew when it recorded the event
    // A received block: the verdict on the reply so far, this block included.
    std::optional<ReplyVerdict> verdict;
    // What the event came to, as the Verdict column shows it. A block that
    // left its reply incomplete is graded once the reply ends for good.
    Graded graded;
};

// The Verdict column of an echo row: "echo removed", "this adapter echoes what
// it sends: echo removed" the first time, "echo differs from what was sent: ..."
std::string EchoText(EchoSplit::Verdict how);
// Back from that text; nullopt when it is none of them.
std::optional<EchoSplit::Verdict> EchoFromText(std::string_view text);

// "retry 2 of 3: no reply": a retry as the Verdict column shows it.
std::string RetryText(int attempt, int tries, std::string_view why);

// Whether `path` (resolved) names a pseudo-terminal.
bool IsPseudoTerminalPath(std::string_view path);

class TrafficLog {
public:
    static constexpr size_t kDefaultCapacity = 20000;
    explicit TrafficLog(size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    void Opened(const TrafficLine& line, TrafficTime t);
    void Closed(TrafficTime t);
    // A frame handed to the port, with the request it makes.
    void Sent(const ExchangeRecord& request, TrafficTime t);
    // A block as delivered; `request` as the link had it before this block,
    // nullptr when nothing was requested yet.
    // `responseMs` as measured when the block came (a saved log read back);
    // nullopt: measured from the request's record and the line.
    void Received(std::span<const uint8_t> bytes, const ExchangeRecord* request, TrafficTime t,
                  std::optional<int64_t> responseMs = std::nullopt);
    void TimedOut(const ExchangeRecord* request, TrafficTime t);
    // The adapter's echo of `request`'s frame, taken off what came (session/link.h).
    void Echoed(std::span<const uint8_t> echo, const ExchangeRecord* request,
                EchoSplit::Verdict how, TrafficTime t);
    // `request` goes out again, try `attempt` of `tries`, because of `why`
    // (a lost, cut or damaged reply, a refused set command).
    void Retried(const ExchangeRecord* request, int attempt, int tries, std::string_view why,
                 TrafficTime t);
    void HungUp(TrafficTime t);
    // Received blocks the window never handled: newer ones pushed them out of
    // its full backlog of `waiting` blocks.
    void Dropped(size_t count, size_t waiting, TrafficTime t);
    void Clear();
    // A log read back from a file that had dropped `count` events before its first.
    void SetDroppedBefore(uint64_t count) { dropped_ = count; }

    // Drops the oldest event when the history is full; recording does this
    // itself, a view calls it first to learn which row goes.
    void MakeRoom();
    bool Full() const { return events_.size() >= capacity_; }

    const std::deque<TrafficEvent>& events() const { return events_; }
    uint64_t dropped() const { return dropped_; }
    const TrafficStats& stats() const { return stats_; }
    const TrafficLine& line() const { return line_; }
    size_t capacity() const { return capacity_; }
    // The event an earlier record changed (a reply cut short, graded when the
    // next request went out), once; nullopt when none or already dropped.
    std::optional<size_t> TakeAmended();

private:
    struct KnownIdentity {
        HartIdentity identity;
        TrafficTime when;
    };

    // A reply that ended incomplete, its last block's event by serial number.
    struct Unfinished {
        int code;
        std::chrono::steady_clock::time_point sent;
        uint64_t serial;
        std::string reason;
    };

    TrafficEvent& Add(TrafficKind kind, TrafficTime t);
    FrameNotes TimeoutCauses(const ExchangeRecord& request) const;
    void Learn(int code, std::span<const uint8_t> reply, TrafficTime t);
    int64_t ResponseMs(const ExchangeRecord& request, size_t blockSize, int64_t sinceMs) const;
    // The request before the next one: a reply left incomplete is a fault.
    void FinishUnfinished();

    size_t capacity_;
    std::deque<TrafficEvent> events_;
    uint64_t dropped_ = 0;
    TrafficStats stats_;
    TrafficLine line_;
    std::optional<KnownIdentity> identity_;  // from the last command 0 reply
    PayloadContext payload_;                 // from the last MODBUS parameters reply
    uint64_t added_ = 0;                     // events ever added
    std::optional<Unfinished> unfinished_;
    std::optional<uint64_t> amended_;
    // The last time the line went (closed or hung up).
    std::optional<std::chrono::steady_clock::time_point> lineLost_;
};
