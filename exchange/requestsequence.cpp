#include "exchange/requestsequence.h"

#include <utility>

#include "exchange/requestcodes.h"

namespace {

using Kind = SequenceOutput::Kind;

// After its block: the window's 200 ms wait, then for replies it decodes its
// 300 ms reply timer.
constexpr SequenceTime kBlockWait{200};
constexpr SequenceTime kReplyTimer{300};

}  // namespace

RequestSequence::RequestSequence(std::vector<SequenceStep> steps) : steps_(std::move(steps)) {}

SequenceOutputs RequestSequence::Start(SequenceTime now) {
    if (state_ != State::Ready) return {};
    state_ = State::Running;
    return Begin(now, {});
}

SequenceOutputs RequestSequence::Begin(SequenceTime now, SequenceOutputs out) {
    if (current_ >= steps_.size()) {
        state_ = State::Finished;
        out.push_back({Kind::Finished, steps_.size(), {}});
        return out;
    }
    block_.reset();
    deadline_ = now + steps_[current_].timeout;
    out.push_back({Kind::Write, current_, steps_[current_].frame});
    return out;
}

SequenceTime RequestSequence::SettleTime() const {
    switch (AfterBlockFor(steps_[current_].code)) {
        case AfterBlock::DecodeText:
        case AfterBlock::DecodeHex:
            return kBlockWait + kReplyTimer;
        case AfterBlock::ShowHex:
        case AfterBlock::ShowText:
            return kBlockWait;
    }
    return kBlockWait;
}

SequenceOutputs RequestSequence::Received(SequenceTime now, std::string_view block) {
    // Outside a step (before Start, after the end) a block belongs to no one.
    if (state_ != State::Running) return {};
    block_ = std::string(block);
    deadline_ = now + SettleTime();
    return {};
}

SequenceOutputs RequestSequence::Tick(SequenceTime now) {
    if (state_ != State::Running || now < deadline_) return {};
    if (!block_) {
        state_ = State::TimedOut;
        const RequestCode* entry = FindRequestCode(steps_[current_].code);
        const char* message = entry ? TimeoutMessage(entry->timeoutKind) : nullptr;
        return {{Kind::TimedOut, current_, message ? message : "Timeout!"}};
    }
    replies_.push_back(std::move(*block_));
    SequenceOutputs out{{Kind::Reply, current_, replies_.back()}};
    ++current_;
    return Begin(now, std::move(out));
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
