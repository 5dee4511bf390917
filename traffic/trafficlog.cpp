#include "traffic/trafficlog.h"

#include <algorithm>
#include <utility>

#include "exchange/requestcodes.h"
#include "hart/framestart.h"
#include "hart/replies.h"
#include "traffic/trafficformat.h"

namespace {

int64_t Milliseconds(std::chrono::steady_clock::time_point from, TrafficTime to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to.steady - from).count();
}

std::string Name(int code) {
    const char* name = RequestName(code);
    return *name ? name : "request " + std::to_string(code);
}

}  // namespace

std::string EchoText(EchoSplit::Verdict how) {
    switch (how) {
        case EchoSplit::Verdict::Detected:
            return "this adapter echoes what it sends: echo removed";
        case EchoSplit::Verdict::Differs:
            return "echo differs from what was sent: the line was busy or noisy while sending";
        case EchoSplit::Verdict::Missing:
            return "no echo came back: the adapter may not echo (set echo to auto or off)";
        default:
            return "echo removed";
    }
}

std::optional<EchoSplit::Verdict> EchoFromText(std::string_view text) {
    for (EchoSplit::Verdict how : {EchoSplit::Verdict::Whole, EchoSplit::Verdict::Detected,
                                   EchoSplit::Verdict::Differs, EchoSplit::Verdict::Missing})
        if (text == EchoText(how)) return how;
    return std::nullopt;
}

std::string RetryText(int attempt, int tries, std::string_view why) {
    return "retry " + std::to_string(attempt) + " of " + std::to_string(tries) + ": " +
           std::string(why);
}

TrafficTime TrafficTime::Now() {
    return {std::chrono::system_clock::now(), std::chrono::steady_clock::now()};
}

std::string TrafficLine::Text() const {
    return port + " " + std::to_string(baud) + " " + std::to_string(dataBits) + parity + stopBits;
}

int64_t TrafficLine::LineTimeMs(size_t count) const {
    if (baud == 0) return 0;
    const int bits = 1 + dataBits + (parity == 'N' ? 0 : 1) + (stopBits == "1" ? 1 : 2);
    return static_cast<int64_t>(count) * bits * 1000 / baud;
}

bool IsPseudoTerminalPath(std::string_view path) {
    return path.starts_with("/dev/pts/") || path == "/dev/ptmx";
}

TrafficEvent& TrafficLog::Add(TrafficKind kind, TrafficTime t) {
    MakeRoom();
    events_.push_back({});
    ++added_;
    events_.back().kind = kind;
    events_.back().time = t;
    return events_.back();
}

void TrafficLog::MakeRoom() {
    while (!events_.empty() && events_.size() >= capacity_) {
        events_.pop_front();
        ++dropped_;
    }
}

std::optional<size_t> TrafficLog::TakeAmended() {
    const auto serial = std::exchange(amended_, std::nullopt);
    const uint64_t first = added_ - events_.size() + 1;  // serial of events_.front()
    if (!serial || *serial < first) return std::nullopt;
    return static_cast<size_t>(*serial - first);
}

void TrafficLog::FinishUnfinished() {
    if (!unfinished_) return;
    const Unfinished unfinished = std::move(*unfinished_);
    unfinished_.reset();
    stats_.Outcome(unfinished.code, Grade::Fault);
    const uint64_t first = added_ - events_.size() + 1;
    if (unfinished.serial < first) return;
    events_[static_cast<size_t>(unfinished.serial - first)].graded = {
        Grade::Fault, "reply incomplete: " + unfinished.reason};
    amended_ = unfinished.serial;
}

void TrafficLog::Opened(const TrafficLine& line, TrafficTime t) {
    line_ = line;
    Add(TrafficKind::Opened, t).context = {{"opened " + line.Text()}};
}

void TrafficLog::Closed(TrafficTime t) {
    FinishUnfinished();
    lineLost_ = t.steady;
    Add(TrafficKind::Closed, t).context = {{"closed " + line_.port}};
}

void TrafficLog::HungUp(TrafficTime t) {
    FinishUnfinished();
    lineLost_ = t.steady;
    stats_.HangUp();
    TrafficEvent& event = Add(TrafficKind::HangUp, t);
    event.context = {{"the device hung up: " + line_.port + " is gone", true}};
    event.graded = {Grade::Fault, "the device hung up: " + line_.port + " is gone"};
}

void TrafficLog::Dropped(size_t count, size_t waiting, TrafficTime t) {
    stats_.Dropped(count);
    TrafficEvent& event = Add(TrafficKind::Dropped, t);
    event.context = {
        {std::to_string(count) + (count == 1 ? " block" : " blocks") +
             " received but not handled: " + std::to_string(waiting) +
             " newer ones were already waiting their turn",
         true}};
    event.graded = {Grade::NotHandled, event.context.front().text};
}

void TrafficLog::Sent(const ExchangeRecord& request, TrafficTime t) {
    FinishUnfinished();
    stats_.Request(request.code);
    TrafficEvent& event = Add(TrafficKind::Sent, t);
    event.code = request.code;
    event.bytes = request.frame;
    if (!request.portOpen) {
        event.context = {{"port closed: nothing went out", true}};
        event.graded = {Grade::Fault, "port closed: nothing went out"};
    }
}

int64_t TrafficLog::ResponseMs(const ExchangeRecord& request, size_t blockSize,
                               int64_t sinceMs) const {
    // The port delivers a block after its quiet time. On a serial line the
    // request's last byte left its own line time after it was handed over,
    // and the block's first byte came the block's line time before its last;
    // a pseudo-terminal moves bytes at once.
    const int64_t interval = request.readIntervalMs.value_or(line_.readIntervalMs);
    const int64_t onLine = line_.pseudoTerminal
                               ? 0
                               : line_.LineTimeMs(request.frame.size()) +
                                     line_.LineTimeMs(blockSize ? blockSize - 1 : 0);
    return std::max<int64_t>(sinceMs - interval - onLine, 0);
}

void TrafficLog::Received(std::span<const uint8_t> bytes, const ExchangeRecord* request,
                          TrafficTime t, std::optional<int64_t> responseMs) {
    TrafficEvent& event = Add(TrafficKind::Received, t);
    event.bytes.assign(bytes.begin(), bytes.end());
    if (!request) {
        event.context = {{"no request pending"}};
        event.graded = {Grade::NotHandled, "no request pending"};
        return;
    }
    const int code = request->code;
    event.code = code;
    event.sinceRequestMs = Milliseconds(request->sent, t);
    const ReplyVerdict before = JudgeReply(code, request->frame, request->received);
    std::vector<uint8_t> reply = request->received;
    reply.insert(reply.end(), bytes.begin(), bytes.end());
    event.verdict = JudgeReply(code, request->frame, reply);
    const ReplyVerdict& verdict = *event.verdict;

    const std::string summary = RequestSummary(code, request->frame);
    if (!summary.empty()) event.context.push_back({"reply to " + summary});
    const bool first = !request->answered;
    const bool late = request->timedOut;
    if (first && !late) {
        const int64_t response =
            responseMs.value_or(ResponseMs(*request, bytes.size(), *event.sinceRequestMs));
        stats_.Reply(code, response);
        event.context.push_back({"response " + std::to_string(response) +
                                 " ms from the request's last byte to the reply's first"});
    } else if (first) {
        stats_.Late(code);
        event.context.push_back({"late: after the timeout", true});
    } else if (before.complete() || before.state == VerdictState::Unknown) {
        event.context.push_back({"a further block for the same request"});
    }

    if (before.complete()) {
        event.graded = {Grade::NotHandled, "a further block after the complete reply"};
        return;
    }
    switch (verdict.state) {
        case VerdictState::Valid:
        case VerdictState::Wrong: {
            unfinished_.reset();
            event.graded = GradeVerdict(verdict);
            if (late) {
                // Its timeout was counted already; the reply still tells what came.
                if (event.graded.grade == Grade::Ok) event.graded.grade = Grade::Warning;
                event.graded.reason = "late, after the timeout" +
                                      (event.graded.reason.empty() ? "" : "; " + event.graded.reason);
            } else {
                stats_.Outcome(code, event.graded.grade);
            }
            if (verdict.state == VerdictState::Valid ||
                event.graded.grade == Grade::Warning) {
                const std::string payload = PayloadText(code, request->frame, reply, payload_);
                if (!payload.empty()) event.context.push_back({payload});
                Learn(code, reply, t);
            }
            break;
        }
        case VerdictState::Incomplete:
            event.graded = {Grade::None, "incomplete so far: " + verdict.reason};
            if (!late) unfinished_ = Unfinished{code, request->sent, added_, verdict.reason};
            break;
        case VerdictState::Unknown:
            if (first && !late) stats_.Outcome(code, Grade::None);
            break;
    }
}

void TrafficLog::Learn(int code, std::span<const uint8_t> reply, TrafficTime t) {
    if (code == kCodeHartCommand0) {
        if (const auto device = ParseHartCommand0Reply(reply)) identity_ = {device->identity, t};
    } else if (code == kCodeModbusQuery) {
        const PayloadContext context = PayloadContextFromModbusParameters(
            std::string_view(reinterpret_cast<const char*>(reply.data()), reply.size()));
        if (context.ordersKnown) payload_ = context;
    }
}

void TrafficLog::TimedOut(const ExchangeRecord* request, TrafficTime t) {
    TrafficEvent& event = Add(TrafficKind::Timeout, t);
    if (!request) {
        event.context = {{"timeout with no request pending"}};
        event.graded = {Grade::Timeout, "no request pending"};
        return;
    }
    event.code = request->code;
    event.sinceRequestMs = Milliseconds(request->sent, t);
    event.bytes = request->frame;
    event.context = TimeoutCauses(*request);
    const ReplyVerdict so = JudgeReply(request->code, request->frame, request->received);
    if (request->bytesSince > 0 && so.state == VerdictState::Incomplete) {
        event.graded = {Grade::Fault, "reply incomplete at the timeout: " + so.reason};
        // The reply's last block shows it too, and the request counts once.
        if (unfinished_ && unfinished_->sent == request->sent) {
            FinishUnfinished();
        } else {
            stats_.Outcome(request->code, Grade::Fault);
        }
        return;
    }
    if (unfinished_ && unfinished_->sent == request->sent) unfinished_.reset();
    const bool lost = lineLost_ && *lineLost_ >= request->sent;
    event.graded = {Grade::Timeout,
                    lost ? std::string("the port went while the reply was awaited")
                         : "no reply in " + std::to_string(*event.sinceRequestMs) + " ms"};
    stats_.Timeout(request->code);
}

void TrafficLog::Echoed(std::span<const uint8_t> echo, const ExchangeRecord* request,
                        EchoSplit::Verdict how, TrafficTime t) {
    TrafficEvent& event = Add(TrafficKind::Echo, t);
    event.bytes.assign(echo.begin(), echo.end());
    const std::string text = EchoText(how);
    event.graded = {Grade::None, text};
    if (!request) return;
    event.code = request->code;
    event.sinceRequestMs = Milliseconds(request->sent, t);
    event.context = {{"the adapter's echo of " + Name(request->code)}};
}

void TrafficLog::Retried(const ExchangeRecord* request, int attempt, int tries,
                         std::string_view why, TrafficTime t) {
    // Its reply is over: one left incomplete is graded now.
    FinishUnfinished();
    TrafficEvent& event = Add(TrafficKind::Retry, t);
    const std::string text = RetryText(attempt, tries, why);
    event.graded = {Grade::None, text};
    if (!request) return;
    event.code = request->code;
    event.sinceRequestMs = Milliseconds(request->sent, t);
    event.context = {{Name(request->code) + " goes out again"}};
    stats_.Retry(request->code);
}

FrameNotes TrafficLog::TimeoutCauses(const ExchangeRecord& request) const {
    FrameNotes notes{{"no reply to " + Name(request.code) + " (" +
                      std::to_string(request.frame.size()) + " bytes sent)"}};
    if (!request.portOpen)
        notes.push_back({"the port was closed when the request was made", true});
    else if (lineLost_ && *lineLost_ >= request.sent)
        notes.push_back({"the port closed or the device hung up after the request: no reply "
                         "could come",
                         true});
    else if (request.bytesSince == 0)
        notes.push_back(
            {"nothing received at all: check the cable, the module's power and the "
             "line settings (" +
                 line_.Text() + ")",
             true});
    else
        notes.push_back({std::to_string(request.bytesSince) +
                             " bytes received since the request, matching no decoder",
                         true});

    if (!line_.prober.empty()) notes.push_back({line_.prober, true});
    if (request.code == kCodeModbusTest && !request.frame.empty()) {
        notes.push_back({"MODBUS slave address " + std::to_string(request.frame[0]) +
                         ": the module answers only its own slave address"});
        return notes;
    }
    const auto start = FindHartFrameStart(request.frame);
    const auto d = start ? std::optional<size_t>(start->delimiterAt) : std::nullopt;
    if (!d || !IsHartRequest(request.code)) return notes;
    const std::span<const uint8_t> frame(request.frame);
    const uint8_t delimiter = frame[*d];
    if (!(delimiter & 0x80)) {
        if (*d + 1 < frame.size())
            notes.push_back({"short frame to polling address " +
                             std::to_string(frame[*d + 1] & 0x3F) +
                             ": the instrument may use another polling address"});
        return notes;
    }
    if (*d + 6 > frame.size()) return notes;
    const auto address = frame.subspan(*d + 1, 5);
    const std::string used = "long address " + HexText(address);
    if (request.code == kCodeHartTyped) {
        notes.push_back({used + " as typed"});
    } else if (identity_) {
        const auto known = HartLongAddress(address[0] & 0x80, identity_->identity);
        if (std::equal(known.begin(), known.end(), address.begin()))
            notes.push_back(
                {used + " from the command 0 reply at " + ClockText(identity_->when.wall)});
        else
            notes.push_back({used + " differs from the command 0 reply at " +
                                 ClockText(identity_->when.wall) + " (" + HexText(known) + ")",
                             true});
    } else if ((address[0] & 0x3F) == 0 &&
               std::all_of(address.begin() + 1, address.end(), [](uint8_t b) { return b == 0; })) {
        notes.push_back({used + " is all zero: no command 0 reply was read this session; run the "
                                "HART identity query first",
                         true});
    } else {
        notes.push_back({used + " kept from a command 0 reply read before this log began"});
    }
    return notes;
}

void TrafficLog::Clear() {
    // The port and the identity stay as they are: only the record starts over.
    events_.clear();
    dropped_ = 0;
    stats_.Clear();
    unfinished_.reset();
    amended_.reset();
}
