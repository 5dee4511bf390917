#include "traffic/trafficlog.h"

#include <algorithm>

#include "exchange/requestcodes.h"
#include "hart/replies.h"
#include "traffic/trafficformat.h"

namespace {

constexpr int kCodeHartDeviceQuery = 100;
constexpr int kCodeHartTyped = 104;
constexpr int kCodeModbusTest = 302;

int64_t Milliseconds(TrafficTime from, TrafficTime to) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(to.steady - from.steady).count();
}

std::string Name(int code) {
    const char* name = RequestName(code);
    return *name ? name : "request " + std::to_string(code);
}

// The delimiter's offset in a frame: the first byte after a run of 0xFF.
std::optional<size_t> HartDelimiterAt(std::span<const uint8_t> frame) {
    auto ff = std::find(frame.begin(), frame.end(), uint8_t{0xFF});
    auto after = std::find_if(ff, frame.end(), [](uint8_t b) { return b != 0xFF; });
    if (ff == frame.end() || after == frame.end()) return std::nullopt;
    return static_cast<size_t>(after - frame.begin());
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
    portOpen_ = true;
    Add(TrafficKind::Opened, t).context = {{"opened " + line.Text()}};
}

void TrafficLog::Closed(TrafficTime t) {
    portOpen_ = false;
    Add(TrafficKind::Closed, t).context = {{"closed " + line_.port}};
}

void TrafficLog::HungUp(TrafficTime t) {
    portOpen_ = false;
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

void TrafficLog::Sent(std::span<const uint8_t> bytes, TrafficTime t) {
    // A new frame ends the log's interest in the previous request; the
    // request this one makes follows through Requested.
    pending_.reset();
    TrafficEvent& event = Add(TrafficKind::Sent, t);
    event.bytes.assign(bytes.begin(), bytes.end());
    if (!portOpen_) event.context = {{"port closed: nothing went out", true}};
}

std::optional<size_t> TrafficLog::Requested(int code, TrafficTime t) {
    stats_.Request(code);
    pending_ = Pending{code, t, {}, portOpen_};
    if (events_.empty() || events_.back().kind != TrafficKind::Sent || events_.back().code != 0)
        return std::nullopt;
    TrafficEvent& sent = events_.back();
    sent.code = code;
    pending_->sent = sent.time;
    pending_->frame = sent.bytes;
    return events_.size() - 1;
}

void TrafficLog::Received(std::span<const uint8_t> bytes, TrafficTime t) {
    TrafficEvent& event = Add(TrafficKind::Received, t);
    event.bytes.assign(bytes.begin(), bytes.end());
    if (!pending_) {
        event.context = {{"no request pending"}};
        return;
    }
    Pending& request = *pending_;
    event.code = request.code;
    event.sinceRequestMs = Milliseconds(request.sent, t);
    if (!request.answered && !request.timedOut) {
        // The port delivers a block after its quiet time; the first byte came
        // the block's own time on the line before the last one.
        const int64_t response = *event.sinceRequestMs - line_.readIntervalMs -
                                 line_.LineTimeMs(bytes.empty() ? 0 : bytes.size() - 1);
        stats_.Reply(request.code, response);
        event.context = {{"response " + std::to_string(std::max<int64_t>(response, 0)) +
                          " ms to the first byte"}};
    } else if (!request.answered) {
        stats_.Late(request.code);
        event.context = {{"late: after the timeout", true}};
    } else {
        event.context = {{"a further block for the same request"}};
    }
    request.answered = true;
    request.bytesSince += bytes.size();
    if (request.code == kCodeHartDeviceQuery) LearnIdentity(bytes, t);
}

void TrafficLog::LearnIdentity(std::span<const uint8_t> reply, TrafficTime t) {
    if (const auto device = ParseHartCommand0Reply(reply)) identity_ = {device->identity, t};
}

void TrafficLog::TimedOut(TrafficTime t) {
    TrafficEvent& event = Add(TrafficKind::Timeout, t);
    if (!pending_) {
        event.context = {{"timeout with no request pending"}};
        return;
    }
    Pending& request = *pending_;
    request.timedOut = true;
    stats_.Timeout(request.code);
    event.code = request.code;
    event.sinceRequestMs = Milliseconds(request.sent, t);
    event.bytes = request.frame;
    event.context = TimeoutCauses(request);
}

FrameNotes TrafficLog::TimeoutCauses(const Pending& request) const {
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

    if (request.code == kCodeModbusTest && !request.frame.empty()) {
        notes.push_back({"MODBUS slave address " + std::to_string(request.frame[0]) +
                         ": the module answers only its own slave address"});
        return notes;
    }
    const auto d = HartDelimiterAt(request.frame);
    const RequestCode* entry = FindRequestCode(request.code);
    if (!d || !entry || entry->timeoutKind != kTimeoutHart) return notes;
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
    pending_.reset();
}
