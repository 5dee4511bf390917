// A list of exchanges run one at a time on one serial line: write a frame,
// collect the module's reply with the window's own timing, go on to the next.
// Pure: no clock, no port. The caller feeds it the time and the blocks the
// serial component delivers, and carries out what it asks for.
//
// Timing, as the window has it:
//  - the serial component delivers a block after 400 ms of line silence;
//  - a reply decoded later (query replies, HART replies) is complete once no
//    further block came for 500 ms (the window's 200 ms wait and its 300 ms
//    reply timer); a block that does come in that time replaces the reply, as
//    the window's receive buffer is replaced;
//  - an acknowledgement or a shown-only reply is complete 200 ms after its block;
//  - no block within the step's timeout (3000 ms, as every request the window
//    times sets it) stops the sequence at that step, with the message of the
//    request code's timeout kind.
//
// Use:
//   RequestSequence seq(steps);
//   handle(seq.Start(now));                 // writes the first frame
//   on each block:  handle(seq.Received(now, bytes));
//   at seq.NextDeadline():  handle(seq.Tick(now));
//   to stop early:  handle(seq.Cancel());
// and read seq.replies() for every reply recorded so far.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using SequenceTime = std::chrono::milliseconds;  // from any fixed origin

struct SequenceStep {
    std::string frame;  // exactly the bytes to write
    int code = 0;       // request code (exchange/requestcodes.h): timeout kind and reply kind
    std::string label;  // what the step does, for progress and reports
    SequenceTime timeout{3000};
};

struct SequenceOutput {
    enum class Kind {
        Write,      // write `bytes` to the line now (step `step` begins)
        Reply,      // step `step` is complete; its reply is `bytes`
        TimedOut,   // step `step` had no reply; the sequence stopped; `bytes` = the message
        Finished,   // every step has its reply
        Cancelled,  // stopped by Cancel() during step `step`
    };
    Kind kind;
    size_t step = 0;
    std::string bytes;

    bool operator==(const SequenceOutput&) const = default;
};
using SequenceOutputs = std::vector<SequenceOutput>;

class RequestSequence {
public:
    enum class State { Ready, Running, Finished, TimedOut, Cancelled };

    explicit RequestSequence(std::vector<SequenceStep> steps);

    SequenceOutputs Start(SequenceTime now);
    SequenceOutputs Received(SequenceTime now, std::string_view block);
    SequenceOutputs Tick(SequenceTime now);
    SequenceOutputs Cancel();

    // When Tick must be called next; nullopt while nothing is awaited.
    std::optional<SequenceTime> NextDeadline() const;

    State state() const { return state_; }
    bool running() const { return state_ == State::Running; }
    size_t current() const { return current_; }  // the step under way or the one that stopped
    const std::vector<SequenceStep>& steps() const { return steps_; }
    // The reply of each completed step, in step order.
    const std::vector<std::string>& replies() const { return replies_; }

private:
    SequenceOutputs Begin(SequenceTime now, SequenceOutputs out);
    SequenceTime SettleTime() const;

    std::vector<SequenceStep> steps_;
    std::vector<std::string> replies_;
    State state_ = State::Ready;
    size_t current_ = 0;
    SequenceTime deadline_{0};
    std::optional<std::string> block_;  // the step's latest block, once one came
};
