#include "exchange/requestsequence.h"

#include <algorithm>
#include <utility>

#include "exchange/requestcodes.h"

namespace {

using Kind = SequenceOutput::Kind;

// The longest reply a configuration query, a MODBUS read or a HART command
// brings back; the timeout leaves room for its line time.
constexpr size_t kLongestReply = 256;
// The module passes HART frames on to the instrument at 1200 baud, 11 bits a
// character, and back: the request and a reply of up to this many bytes.
constexpr size_t kLongestHartReply = 40;
constexpr uint32_t kHartBaud = 1200;
constexpr int kHartBitsPerCharacter = 11;

SequenceTime LineTime(size_t count, int bits, uint32_t baud) {
    if (baud == 0) return SequenceTime{0};
    const uint64_t bitsTotal = static_cast<uint64_t>(count) * static_cast<uint64_t>(bits) * 1000;
    return SequenceTime{static_cast<int64_t>((bitsTotal + baud - 1) / baud)};
}

}  // namespace

SequenceTime DefaultAnswerTime(int code) {
    const RequestCode* entry = FindRequestCode(code);
    return entry && entry->protocol == Protocol::Modbus ? SequenceTime{100} : SequenceTime{500};
}

SequenceTime SequenceTiming::AnswerTime(int code) const {
    return answerTime.value_or(DefaultAnswerTime(code)) + roundTrip;
}

SequenceTime SequenceTiming::Characters(size_t count) const {
    return LineTime(count, bitsPerCharacter, baud);
}

SequenceTime SequenceTiming::InterFrame() const {
    // Three and a half characters are seven half characters.
    return baud > 19200 ? SequenceTime{2} : LineTime(7, bitsPerCharacter, 2 * baud);
}

SequenceTime SequenceTiming::Settle() const { return InterFrame(); }

SequenceTime SequenceTiming::Silence() const { return adapterLatency + InterFrame(); }

SequenceTime SequenceTiming::Quiet(const SequenceStep& step) const {
    if (step.quietTimeout) return *step.quietTimeout;
    SequenceTime t = Characters(step.frame.size()) + AnswerTime(step.code);
    if (IsHartRequest(step.code))
        t += LineTime(step.frame.size(), kHartBitsPerCharacter, kHartBaud);
    return step.timeout ? std::min(t, *step.timeout) : t;
}

SequenceTime SequenceTiming::Timeout(const SequenceStep& step) const {
    if (step.timeout) return *step.timeout;
    SequenceTime t = Quiet(step) + Characters(kLongestReply);
    if (IsHartRequest(step.code))
        t += LineTime(kLongestHartReply, kHartBitsPerCharacter, kHartBaud);
    return t;
}

RequestSequence::RequestSequence(std::vector<SequenceStep> steps, SequenceTiming timing)
    : steps_(std::move(steps)), timing_(timing) {}

SequenceTime LineQuietAt(const LineHistory& line, const SequenceTiming& timing) {
    const SequenceTime gap = timing.InterFrame();
    // The last frame itself is still going out for its line time.
    const SequenceTime sentEnd =
        line.last.frame.empty() ? line.sent
                                : line.sent + timing.Characters(line.last.frame.size()) + gap;
    const auto afterBlock = [&](SequenceTime wait) {
        return line.lastBlock ? std::max(sentEnd, *line.lastBlock + wait) : sentEnd;
    };
    if (line.last.code == kCodeNone) return afterBlock(timing.Silence());
    if (line.received.empty())
        return std::max(afterBlock(timing.Silence()), line.sent + timing.Quiet(line.last) + gap);
    // A typed HART frame's reply is not judged for the engineer, but its frame
    // still tells whether it has ended.
    const int judgedAs = line.last.code == kCodeHartTyped ? kCodeHartCommand0 : line.last.code;
    switch (JudgeReply(judgedAs, line.last.frame, line.received).state) {
        case VerdictState::Valid:
            return afterBlock(gap);
        case VerdictState::Wrong:  // garbled bytes do not say where they end
        case VerdictState::Unknown:
            return afterBlock(timing.Silence());
        case VerdictState::Incomplete:
            break;
    }
    // Still cut at its time: whatever trails it ends by a silence too.
    return std::max(afterBlock(timing.Silence()), line.sent + timing.Timeout(line.last) + gap);
}

SequenceOutputs RequestSequence::Start(SequenceTime now, std::optional<SequenceTime> quietAt) {
    if (state_ != State::Ready) return {};
    state_ = State::Running;
    if (!quietAt || *quietAt <= now || steps_.empty()) return Begin(now, {});
    waitingForQuiet_ = true;
    quietLimit_ = now + timing_.Timeout(steps_.front());
    deadline_ = std::min(*quietAt, quietLimit_);
    return {};
}

SequenceOutputs RequestSequence::Begin(SequenceTime now, SequenceOutputs out) {
    if (current_ >= steps_.size()) {
        state_ = State::Finished;
        out.push_back({Kind::Finished, steps_.size(), {}});
        return out;
    }
    received_.reset();
    verdict_ = {};
    spoiled_ = false;
    const SequenceStep& step = steps_[current_];
    timeoutAt_ = now + timing_.Timeout(step);
    deadline_ = std::min(timeoutAt_, now + timing_.Quiet(step));
    out.push_back({Kind::Write, current_, steps_[current_].frame});
    return out;
}

SequenceOutputs RequestSequence::Received(SequenceTime now, std::string_view block) {
    // Outside a step (before Start, after the end) a block belongs to no one.
    if (state_ != State::Running) return {};
    if (waitingForQuiet_) {
        deadline_ = std::min(quietLimit_, std::max(deadline_, now + timing_.Silence()));
        return {};
    }
    if (!received_) received_.emplace();
    received_->append(block);
    if (spoiled_) {
        deadline_ = now + timing_.Silence();
        return {};
    }
    const SequenceStep& step = steps_[current_];
    verdict_ = JudgeReply(step.code, step.frame, *received_);
    switch (verdict_.state) {
        case VerdictState::Valid:
            deadline_ = now + timing_.Settle();
            break;
        case VerdictState::Wrong:
            // Judged wrong at its first bad byte, a garbled reply may still be
            // coming: only a silence says it has ended.
        case VerdictState::Unknown:
            deadline_ = now + timing_.Silence();
            break;
        case VerdictState::Incomplete:
            deadline_ = timeoutAt_;
            break;
    }
    return {};
}

SequenceOutputs RequestSequence::Tick(SequenceTime now) {
    if (state_ != State::Running || now < deadline_) return {};
    if (waitingForQuiet_) {
        waitingForQuiet_ = false;
        return Begin(now, {});
    }
    if (!received_) {
        state_ = State::TimedOut;
        const RequestCode* entry = FindRequestCode(steps_[current_].code);
        // A silent slave is the bus's matter, not the module's configuration:
        // its words say what to check on the bus.
        if (entry && entry->protocol == Protocol::Modbus)
            return {{Kind::TimedOut, current_,
                     "the slave did not answer within " +
                         std::to_string(timing_.Timeout(steps_[current_]).count()) +
                         " ms: check its address, the RS-485 speed and parity, and the wiring"}};
        const char* message = entry ? TimeoutMessage(entry->timeoutKind) : nullptr;
        return {{Kind::TimedOut, current_, message ? message : "Timeout!"}};
    }
    if (verdict_.state == VerdictState::Wrong || verdict_.state == VerdictState::Incomplete) {
        state_ = State::Failed;
        return {{Kind::Failed, current_, VerdictText(verdict_)}};
    }
    replies_.push_back(std::move(*received_));
    verdicts_.push_back(verdict_);
    SequenceOutputs out{{Kind::Reply, current_, replies_.back()}};
    ++current_;
    return Begin(now, std::move(out));
}

SequenceOutputs RequestSequence::Spoil(SequenceTime now, std::string why) {
    if (state_ != State::Running || waitingForQuiet_) return {};
    if (!received_) received_.emplace();
    verdict_ = {};
    verdict_.state = VerdictState::Wrong;
    verdict_.reason = std::move(why);
    verdict_.retry = VerdictRetry::Damaged;
    spoiled_ = true;
    deadline_ = now + timing_.Silence();
    return {};
}

SequenceOutputs RequestSequence::Cancel() {
    if (state_ != State::Running) return {};
    state_ = State::Cancelled;
    return {{Kind::Cancelled, current_, {}}};
}

std::optional<SequenceTime> RequestSequence::NextDeadline() const {
    if (state_ != State::Running) return std::nullopt;
    return deadline_;
}
