#include "traffic/trafficlog.h"

#include <algorithm>

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

TrafficEvent& TrafficLog::Add(TrafficKind kind, TrafficTime t) {
    MakeRoom();
    events_.push_back({});
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

void TrafficLog::Opened(const TrafficLine& line, TrafficTime t) {
    line_ = line;
    Add(TrafficKind::Opened, t).context = {{"opened " + line.Text()}};
}

void TrafficLog::Closed(TrafficTime t) {
    Add(TrafficKind::Closed, t).context = {{"closed " + line_.port}};
}

void TrafficLog::HungUp(TrafficTime t) {
    stats_.HangUp();
    Add(TrafficKind::HangUp, t).context = {
        {"the device hung up: " + line_.port + " is gone", true}};
}

void TrafficLog::Dropped(size_t count, size_t waiting, TrafficTime t) {
    stats_.Dropped(count);
    Add(TrafficKind::Dropped, t).context = {
        {std::to_string(count) + (count == 1 ? " block" : " blocks") +
             " received but not handled: " + std::to_string(waiting) +
             " newer ones were already waiting their turn",
         true}};
}

void TrafficLog::Sent(const ExchangeRecord& request, TrafficTime t) {
    stats_.Request(request.code);
    TrafficEvent& event = Add(TrafficKind::Sent, t);
    event.code = request.code;
    event.bytes = request.frame;
    if (!request.portOpen) event.context = {{"port closed: nothing went out", true}};
}

void TrafficLog::Received(std::span<const uint8_t> bytes, const ExchangeRecord* request,
                          TrafficTime t) {
    TrafficEvent& event = Add(TrafficKind::Received, t);
    event.bytes.assign(bytes.begin(), bytes.end());
    if (!request) {
        event.context = {{"no request pending"}};
        return;
    }
    event.code = request->code;
    event.sinceRequestMs = Milliseconds(request->sent, t);
    std::vector<uint8_t> reply = request->received;
    reply.insert(reply.end(), bytes.begin(), bytes.end());
    event.verdict = JudgeReply(request->code, request->frame, reply);
    if (!request->answered && !request->timedOut) {
        // The port delivers a block after its quiet time; the first byte came
        // the block's own time on the line before the last one.
        const int64_t response = *event.sinceRequestMs - line_.readIntervalMs -
                                 line_.LineTimeMs(bytes.empty() ? 0 : bytes.size() - 1);
        stats_.Reply(request->code, response);
        event.context = {{"response " + std::to_string(std::max<int64_t>(response, 0)) +
                          " ms to the first byte"}};
    } else if (!request->answered) {
        stats_.Late(request->code);
        event.context = {{"late: after the timeout", true}};
    } else {
        event.context = {{"a further block for the same request"}};
    }
    if (request->code == kCodeHartCommand0) LearnIdentity(bytes, t);
}

void TrafficLog::LearnIdentity(std::span<const uint8_t> reply, TrafficTime t) {
    if (const auto device = ParseHartCommand0Reply(reply)) identity_ = {device->identity, t};
}

void TrafficLog::TimedOut(const ExchangeRecord* request, TrafficTime t) {
    TrafficEvent& event = Add(TrafficKind::Timeout, t);
    if (!request) {
        event.context = {{"timeout with no request pending"}};
        return;
    }
    stats_.Timeout(request->code);
    event.code = request->code;
    event.sinceRequestMs = Milliseconds(request->sent, t);
    event.bytes = request->frame;
    event.context = TimeoutCauses(*request);
}

FrameNotes TrafficLog::TimeoutCauses(const ExchangeRecord& request) const {
    FrameNotes notes{{"no reply to " + Name(request.code) + " (" +
                      std::to_string(request.frame.size()) + " bytes sent)"}};
    if (!request.portOpen)
        notes.push_back({"the port was closed when the request was made", true});
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
}
