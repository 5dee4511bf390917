#include "exchange/scanplan.h"

#include <algorithm>
#include <charconv>

#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "exchange/requeststeps.h"
#include "hart/replies.h"
#include "modbus/crc16.h"
#include "protocol/configframes.h"
#include "protocol/hexbytes.h"

namespace {

using Ms = std::chrono::milliseconds;

// The longest reply each scan waits for once it has begun: the version text,
// one register, a command 0 reply with its preambles.
constexpr size_t kLongestVersionReply = 64;
constexpr size_t kOneRegisterReply = 7;
constexpr size_t kCommand0Reply = 32;

// The module passes HART frames on at 1200 baud, 11 bits a character.
const SequenceTiming kHartLeg{1200, 11, Ms(0), Ms(0)};

// The setting most likely after the factory's: MODBUS's own default (19200
// Even), then the common speeds before the slow ones, None before Even before Odd.
constexpr LineSetting kLineOrder[] = {
    {9600, LineParity::None},  {19200, LineParity::Even}, {19200, LineParity::None},
    {9600, LineParity::Even},  {38400, LineParity::None}, {38400, LineParity::Even},
    {9600, LineParity::Odd},   {19200, LineParity::Odd},  {38400, LineParity::Odd},
    {4800, LineParity::None},  {4800, LineParity::Even},  {4800, LineParity::Odd},
    {2400, LineParity::None},  {2400, LineParity::Even},  {2400, LineParity::Odd},
    {1200, LineParity::None},  {1200, LineParity::Even},  {1200, LineParity::Odd},
};

int BitsPerCharacter(LineParity parity) { return parity == LineParity::None ? 10 : 11; }

// The step's two timeouts: nothing by `quiet` (the frame's line time and the
// answer time) is silence; a reply of `replyLength` that has begun is given
// its line time besides.
void SetTimeouts(ScanCandidate& c, const SequenceTiming& timing, ScanKind kind, size_t replyLength) {
    const bool hart = kind == ScanKind::Instrument;
    SequenceStep& step = c.step;
    c.frameTime = timing.Characters(step.frame.size()) +
                  (hart ? kHartLeg.Characters(step.frame.size()) : Ms(0));
    c.replyTime = timing.Characters(replyLength) + (hart ? kHartLeg.Characters(replyLength) : Ms(0));
    c.gap = timing.InterFrame();
    c.timing = timing;
    step.quietTimeout =
        c.frameTime + timing.answerTime.value_or(DefaultScanAnswerTime(kind)) + timing.roundTrip;
    step.timeout = *step.quietTimeout + c.replyTime;
}

// Bytes that may be the candidate's own reply spoiled by the line: cut short,
// or a frame whose own check (CRC, checksum) fails. A whole frame that checks
// out and still answers nothing (another slave, a refusal) is no noise; nor,
// on the line scan, what a module at another setting sends.
bool Damaged(ScanKind kind, const ReplyVerdict& verdict, std::string_view received) {
    if (verdict.state == VerdictState::Incomplete) return true;
    switch (kind) {
        case ScanKind::Line:
            return false;
        case ScanKind::Instrument:
            return !verdict.hartResponse;
        case ScanKind::Bus:
            break;
    }
    if (received.size() < 4) return true;
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(received.data()), received.size());
    const auto crc = ModbusCrc16(bytes.first(bytes.size() - 2));
    return crc[0] != bytes[bytes.size() - 2] || crc[1] != bytes[bytes.size() - 1];
}

std::string VersionText(std::string_view reply) {
    const size_t end = reply.find('#', 3);
    return std::string(reply.substr(3, end == std::string_view::npos ? end : end - 3));
}

}  // namespace

const char* ParityName(LineParity parity) {
    switch (parity) {
        case LineParity::None:
            return "None";
        case LineParity::Odd:
            return "Odd";
        case LineParity::Even:
            return "Even";
    }
    return "?";
}

char ParityLetter(LineParity parity) { return ParityName(parity)[0]; }

std::string LineSettingText(const LineSetting& line) {
    return std::to_string(line.baud) + " " + ParityName(line.parity);
}

std::chrono::milliseconds DefaultScanAnswerTime(ScanKind kind) {
    switch (kind) {
        case ScanKind::Bus:
            // A slave answers within tens of milliseconds; a USB adapter adds
            // up to 16 ms of latency timer.
            return Ms(50);
        case ScanKind::Instrument:
            // The instrument starts its reply within 28 bit times at 1200 baud
            // (23 ms), the module passes it on as it comes; the 1200 baud leg
            // of the request is counted apart.
            return Ms(60);
        case ScanKind::Line:
            break;
    }
    // The module frames a configuration query by a short silence of its own
    // and answers the version from memory.
    return Ms(70);
}

ScanRange DefaultScanRange(ScanKind kind) {
    return kind == ScanKind::Instrument ? ScanRange{0, 15} : WidestScanRange(kind);
}

ScanRange WidestScanRange(ScanKind kind) {
    // HART 6 and 7 allow polling addresses up to 63; MODBUS slaves are 1..247.
    return kind == ScanKind::Instrument ? ScanRange{0, 63} : ScanRange{1, 247};
}

std::optional<ScanRange> ParseScanRange(ScanKind kind, std::string_view text, std::string* error) {
    const ScanRange widest = WidestScanRange(kind);
    const auto number = [&](std::string_view part, int* value) {
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), *value);
        return !part.empty() && ec == std::errc() && end == part.data() + part.size();
    };
    const size_t dash = text.find('-');
    ScanRange range;
    const bool parsed = dash == std::string_view::npos
                            ? number(text, &range.first) && ((range.last = range.first), true)
                            : number(text.substr(0, dash), &range.first) &&
                                  number(text.substr(dash + 1), &range.last);
    const std::string widestText = std::to_string(widest.first) + "-" + std::to_string(widest.last);
    if (!parsed) {
        *error = "the range \"" + std::string(text) + "\" is not A-B (e.g. " + widestText + ")";
        return std::nullopt;
    }
    if (range.first < widest.first || range.last > widest.last || range.first > range.last) {
        *error = "the range " + std::string(text) + " is not within " + widestText +
                 (range.first > range.last ? " from low to high" : "");
        return std::nullopt;
    }
    return range;
}

ScanPlan LineScanPlan(const SequenceTiming& timing, LineSetting factory) {
    std::vector<LineSetting> order{kLineOrder[0], factory};
    for (const LineSetting& line : kLineOrder) order.push_back(line);
    ScanPlan plan{ScanKind::Line, {}, true, std::nullopt};
    for (const LineSetting& line : order) {
        const bool tried = std::any_of(plan.candidates.begin(), plan.candidates.end(),
                                       [&](const ScanCandidate& c) { return c.line == line; });
        if (tried) continue;
        SequenceTiming at = timing;
        at.baud = line.baud;
        at.bitsPerCharacter = BitsPerCharacter(line.parity);
        ScanCandidate& c = plan.candidates.emplace_back();
        c.line = line;
        c.label = LineSettingText(line);
        c.step = {QueryFrame(kQueryVersion), kCodeCommunicationQuery, c.label};
        SetTimeouts(c, at, ScanKind::Line, kLongestVersionReply);
    }
    return plan;
}

namespace {

// One candidate an address: `step` builds its frame, `name` its label's word.
template <typename MakeStep>
ScanPlan AddressPlan(ScanKind kind, const SequenceTiming& timing, ScanRange range,
                     const char* name, MakeStep step, size_t replyLength) {
    ScanPlan plan{kind, {}, false, std::nullopt};
    for (int address = range.first; address <= range.last; ++address) {
        ScanCandidate& c = plan.candidates.emplace_back();
        c.address = address;
        c.label = std::string(name) + " " + std::to_string(address);
        c.step = step(address);
        c.step.label = c.label;
        SetTimeouts(c, timing, kind, replyLength);
    }
    return plan;
}

}  // namespace

ScanPlan BusScanPlan(const SequenceTiming& timing, ScanRange range) {
    return AddressPlan(ScanKind::Bus, timing, range, "slave",
                       [](int slave) { return ModbusReadStep(slave, 0, 1); }, kOneRegisterReply);
}

ScanPlan InstrumentScanPlan(const SequenceTiming& timing, ScanRange range) {
    return AddressPlan(ScanKind::Instrument, timing, range, "polling address", HartCommand0Step,
                       kCommand0Reply);
}

std::string ScanFind::Text() const {
    switch (kind) {
        case ScanKind::Line:
            return LineSettingText(line) + ": " + version;
        case ScanKind::Bus:
            return "slave " + std::to_string(slave) +
                   (exception.empty() ? "" : " (answered with exception " + exception + ")");
        case ScanKind::Instrument:
            return "polling address " + std::to_string(pollingAddress) + ": " +
                   HartIdentityText(device) + ", device revision " +
                   std::to_string(deviceRevision);
    }
    return {};
}

namespace {

// The find a valid (or, on the bus, exception) reply to candidate `index`
// makes; nullopt when the bytes answer it no such way.
std::optional<ScanFind> FindFor(const ScanPlan& plan, size_t index, const std::string& received) {
    const ScanCandidate& c = plan.candidates.at(index);
    const ReplyVerdict verdict = JudgeReply(c.step.code, c.step.frame, received);
    const bool exception = plan.kind == ScanKind::Bus && verdict.exception;
    if (verdict.state != VerdictState::Valid && !exception) return std::nullopt;

    ScanFind find;
    find.kind = plan.kind;
    find.candidate = index;
    find.line = c.line;
    switch (plan.kind) {
        case ScanKind::Line:
            find.version = VersionText(received);
            break;
        case ScanKind::Bus:
            find.slave = c.address;
            if (exception) find.exception = verdict.reason.substr(verdict.reason.find(' ') + 1);
            break;
        case ScanKind::Instrument: {
            const auto bytes = std::span(reinterpret_cast<const uint8_t*>(received.data()),
                                         received.size());
            const auto device = ParseHartCommand0Reply(bytes);
            if (!device) return std::nullopt;
            find.pollingAddress = c.address;
            find.identity = device->identity;
            find.universalRevision = device->universalRevision;
            find.deviceRevision = device->deviceRevision;
            find.device = *device;
            break;
        }
    }
    return find;
}

}  // namespace

bool BeganTooSoon(const ScanPlan& plan, size_t index, const ReplyArrival& arrival) {
    const ScanCandidate& c = plan.candidates.at(index);
    if (!plan.lineTakesTime) return arrival.after < kShortestPtyAnswer;
    // The first block's bytes were all on the line before it was delivered.
    const Ms blockTime = c.timing.Characters(arrival.bytes);
    return arrival.after - blockTime < c.frameTime + c.gap;
}

CandidateOutcome JudgeCandidate(const ScanPlan& plan, size_t index,
                                const std::optional<std::string>& received,
                                std::optional<ReplyArrival> arrival) {
    if (!received || received->empty()) return {};
    const bool tooSoon = arrival && BeganTooSoon(plan, index, *arrival);
    if (tooSoon) {
        const std::string why = "began " + std::to_string(arrival->after.count()) +
                                " ms after the request, too soon to answer it";
        // The line scan's port heard a late reply at the setting just left.
        const size_t from = plan.kind == ScanKind::Line ? (index ? index - 1 : index) : 0;
        for (size_t back = index; back-- > from;) {
            if (auto find = FindFor(plan, back, *received))
                return {CandidateResult::Found, std::move(find),
                        "a late reply to " + plan.candidates[back].label + ": " + why};
        }
        return {CandidateResult::Garbage, std::nullopt,
                HexTextTrailingBlank(received->substr(0, 16)) +
                    (received->size() > 16 ? "... " : "") + "(" + why + ")",
                true};
    }
    if (auto find = FindFor(plan, index, *received))
        return {CandidateResult::Found, std::move(find), {}};
    // Each address answers only its own request: a whole reply to an
    // earlier one is that address answering late (a slow slave, a busy
    // adapter), not noise, and it would otherwise be missed.
    if (plan.kind != ScanKind::Line) {
        for (size_t back = 1; back <= index; ++back) {
            if (auto find = FindFor(plan, index - back, *received))
                return {CandidateResult::Found, std::move(find),
                        "a late reply to " + plan.candidates[index - back].label};
        }
    }
    const ScanCandidate& c = plan.candidates.at(index);
    const ReplyVerdict verdict = JudgeReply(c.step.code, c.step.frame, *received);
    return {CandidateResult::Garbage, std::nullopt,
            HexTextTrailingBlank(received->substr(0, 16)) + (received->size() > 16 ? "... " : "") +
                "(" + VerdictText(verdict) + ")",
            Damaged(plan.kind, verdict, *received)};
}

std::optional<size_t> ScanTally::Next() const {
    if (over_ || next_ >= plan_->candidates.size()) return std::nullopt;
    return next_;
}

ScanTally::Recorded ScanTally::Record(const std::optional<std::string>& received,
                                      std::optional<ReplyArrival> arrival,
                                      const std::string& spoiled) {
    Recorded r;
    if (!Next()) return r;
    const size_t index = next_;
    r.outcome = spoiled.empty()
                    ? JudgeCandidate(*plan_, index, received, arrival)
                    : CandidateOutcome{CandidateResult::Garbage, std::nullopt, spoiled, true};
    if (r.outcome.result == CandidateResult::Garbage && r.outcome.damaged &&
        tries_ < plan_->retries) {
        ++tries_;
        ++retries_;
        r.again = true;
        return r;
    }
    ++next_;
    tries_ = 0;
    switch (r.outcome.result) {
        case CandidateResult::Found: {
            const size_t found = r.outcome.find->candidate;
            r.newFind = std::none_of(finds_.begin(), finds_.end(),
                                     [&](const ScanFind& f) { return f.candidate == found; });
            if (!r.newFind) break;
            finds_.push_back(*r.outcome.find);
            // A late find was given up as garbage when it was asked: it is
            // no longer a candidate noise may have hidden.
            garbage_.erase(std::remove_if(garbage_.begin(), garbage_.end(),
                                          [&](const Note& n) { return n.candidate == found; }),
                           garbage_.end());
            over_ = plan_->stopAtFirstFind;
            break;
        }
        case CandidateResult::Garbage:
            garbage_.push_back({index, r.outcome.note, r.outcome.damaged});
            break;
        case CandidateResult::Silent:
            break;
    }
    return r;
}

size_t ScanTally::noisy() const {
    if (plan_->stopAtFirstFind && !finds_.empty()) return 0;
    return static_cast<size_t>(
        std::count_if(garbage_.begin(), garbage_.end(), [](const Note& n) { return n.damaged; }));
}

std::chrono::milliseconds ScanFloor(const ScanPlan& plan, const std::vector<size_t>& found,
                                    const std::vector<size_t>& garbage) {
    const auto has = [](const std::vector<size_t>& list, size_t i) {
        return std::find(list.begin(), list.end(), i) != list.end();
    };
    Ms total{0};
    for (size_t i = 0; i < plan.candidates.size(); ++i) {
        const ScanCandidate& c = plan.candidates[i];
        const bool isFound = has(found, i);
        const Ms quiet = c.step.quietTimeout.value_or(Ms(0));
        total += (isFound           ? quiet + c.replyTime
                  : has(garbage, i) ? c.frameTime
                                    : quiet) +
                 c.gap;
        if (isFound && plan.stopAtFirstFind) break;
    }
    return total;
}
