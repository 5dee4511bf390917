// A list of exchanges run one at a time on one serial line: write a frame,
// collect the module's reply, go on to the next. Pure: no clock, no port. The
// caller feeds it the time and the blocks the serial component delivers, and
// carries out what it asks for.
//
// A step's reply is judged by its frame (exchange/replyverdict.h) as its bytes
// come in, all the blocks of the step together:
//  - valid: the step ends the inter-frame gap (t3.5) after it, so the next
//    frame never follows a reply closer than the MODBUS serial line allows;
//  - wrong, or a shape the judge cannot know: the step ends after a silence
//    longer than an adapter may hold bytes back (a reply judged wrong at its
//    first bad byte may still be coming); a wrong reply stops the sequence
//    with its reason;
//  - incomplete: the step waits on; still incomplete at its timeout, it stops
//    the sequence with what is missing, never passing for a reply;
//  - nothing at all by the step's timeout (or its quiet timeout: the frame's
//    line time and the answer time, after which no reply can begin): the
//    sequence stops with the request code's timeout message.
//
// The first frame waits until the line is quiet (quietAt, see LineQuietAt):
// an earlier reply still coming would otherwise be taken for the first step's,
// and on a two-wire RS-485 line both frames would be lost. A block in that
// wait is no one's; it only puts the first frame a silence after it. The wait
// is never longer than the first step's timeout.
//
// Use:
//   RequestSequence seq(steps, timing);
//   handle(seq.Start(now, quietAt));        // writes the first frame, or waits
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

#include "exchange/replyverdict.h"

using SequenceTime = std::chrono::milliseconds;  // from any fixed origin

struct SequenceStep {
    std::string frame;  // exactly the bytes to write
    int code = 0;       // request code (exchange/requestcodes.h): timeout kind and reply kind
    std::string label;  // what the step does, for progress and reports
    std::optional<SequenceTime> timeout{};  // instead of the one the line's timing gives
    // Nothing at all by then: the step has timed out, though a reply that has
    // begun may take until `timeout`; instead of the line timing's Quiet().
    // A scan's silent candidates cost this alone.
    std::optional<SequenceTime> quietTimeout{};
};

// How long the line takes: a step's timeouts and the gaps that end a reply.
//
// The answer time is the module's longest time from a request's end until its
// reply's first block reaches the tool: the module's (or slave's) own answer
// and whatever lies between, a USB adapter's latency timer and the reader's
// hand-over included. One figure, as the traffic log's response times show
// it, rather than an answer time plus a separate adapter allowance: what the
// line needs to know is when a reply can no longer begin, and only the sum
// says that. `adapterLatency` stays for one thing alone: a reply whose shape
// is unknown ends only after a silence longer than an adapter may hold bytes.
struct SequenceTiming {
    uint32_t baud = 9600;
    int bitsPerCharacter = 10;  // start bit, data bits, parity bit, stop bits
    // The module's longest time to answer, as seen from the tool (above);
    // unset, each request's protocol has its own (DefaultAnswerTime).
    std::optional<SequenceTime> answerTime{};
    // How long a USB serial adapter may hold received bytes back.
    SequenceTime adapterLatency{20};
    // A serial device server's network round trip, added to every answer time.
    SequenceTime roundTrip{0};

    // The answer time a request of `code` is given.
    SequenceTime AnswerTime(int code) const;
    // Line time of `count` characters, rounded up.
    SequenceTime Characters(size_t count) const;
    // The MODBUS serial line's inter-frame gap, t3.5: three and a half
    // character times, fixed at 1.75 ms above 19200 baud; rounded up.
    SequenceTime InterFrame() const;
    // After a complete reply, before the next frame: the inter-frame gap. An
    // adapter hands a frame's bytes over together and the reader a block only
    // after a silence of its own, so waiting longer gains nothing.
    SequenceTime Settle() const;
    // Ends a reply whose shape is unknown: the adapter's latency and t3.5.
    SequenceTime Silence() const;
    // Nothing by then and no reply can begin: the frame's line time and the
    // answer time; HART requests add their leg to the instrument at 1200 baud.
    SequenceTime Quiet(const SequenceStep& step) const;
    // The step's own timeout if it has one, else the quiet time and the
    // longest reply's line time (HART: both ways at 1200 baud too).
    SequenceTime Timeout(const SequenceStep& step) const;
};

// The module's longest time to answer a request of `code`, as seen from the
// tool, when none is set: 500 ms for the module's configuration frames (a set
// command may store the setting before it answers) and for HART commands (the
// module's relay and the instrument's turnaround; their leg at 1200 baud is
// counted apart); 100 ms for MODBUS (a slave answers within tens of
// milliseconds, a USB adapter adds up to 16 ms).
SequenceTime DefaultAnswerTime(int code);

// The last request on the line, as a sequence about to start sees it.
struct LineHistory {
    SequenceStep last;  // its frame, code and timeouts; code 0: it awaited nothing
    SequenceTime sent{0};
    std::string_view received;              // what came since it was sent
    std::optional<SequenceTime> lastBlock;  // when the line last delivered a block
};

// When a new sequence may write its first frame without the last request's
// reply landing in it or on it: that reply has ended by its frame and t3.5
// has followed (a wrong one: a silence), or it can no longer come (its step's quiet time has passed
// with nothing, or its timeout with a reply still incomplete) and t3.5 has
// followed that.
SequenceTime LineQuietAt(const LineHistory& line, const SequenceTiming& timing);

struct SequenceOutput {
    enum class Kind {
        Write,      // write `bytes` to the line now (step `step` begins)
        Reply,      // step `step` is complete; its reply is `bytes`
        TimedOut,   // step `step` had no reply; the sequence stopped; `bytes` = the message
        Failed,     // step `step`'s reply was wrong or stayed incomplete; `bytes` = why
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
    enum class State { Ready, Running, Finished, TimedOut, Failed, Cancelled };

    explicit RequestSequence(std::vector<SequenceStep> steps, SequenceTiming timing = {});

    // Writes the first frame now, or at `quietAt` if that is later.
    SequenceOutputs Start(SequenceTime now, std::optional<SequenceTime> quietAt = std::nullopt);
    SequenceOutputs Received(SequenceTime now, std::string_view block);
    SequenceOutputs Tick(SequenceTime now);
    SequenceOutputs Cancel();
    // The step under way is spoiled whatever comes (its frame's echo came back
    // changed: the line was busy while it went out): it fails as damaged,
    // worth asking again, once the line has been silent a while.
    SequenceOutputs Spoil(SequenceTime now, std::string why);

    // When Tick must be called next; nullopt while nothing is awaited.
    std::optional<SequenceTime> NextDeadline() const;

    State state() const { return state_; }
    bool running() const { return state_ == State::Running; }
    size_t current() const { return current_; }  // the step under way or the one that stopped
    const std::vector<SequenceStep>& steps() const { return steps_; }
    // The reply of each completed step, in step order, and its verdict.
    const std::vector<std::string>& replies() const { return replies_; }
    const std::vector<ReplyVerdict>& verdicts() const { return verdicts_; }
    // The verdict on the bytes of the step under way (or the one that stopped).
    const ReplyVerdict& verdict() const { return verdict_; }
    // The bytes that came for that step; nullopt while none did.
    const std::optional<std::string>& received() const { return received_; }
    const SequenceTiming& timing() const { return timing_; }

private:
    SequenceOutputs Begin(SequenceTime now, SequenceOutputs out);

    std::vector<SequenceStep> steps_;
    SequenceTiming timing_;
    std::vector<std::string> replies_;
    std::vector<ReplyVerdict> verdicts_;
    State state_ = State::Ready;
    size_t current_ = 0;
    SequenceTime deadline_{0};
    SequenceTime timeoutAt_{0};            // the step's timeout
    bool waitingForQuiet_ = false;         // the first frame waits for the line
    SequenceTime quietLimit_{0};           // and no longer than this
    std::optional<std::string> received_;  // the step's bytes, once any came
    ReplyVerdict verdict_;
    bool spoiled_ = false;                 // the verdict stays as Spoil set it
};
