// Serves a TavrixModule on a serial line: a new pseudo-terminal, or a device
// path (a real port behind a null-modem cable). A request ends where its own
// bytes say it is complete (sim/requestframing.h), otherwise at line silence,
// as the module's own firmware does. Between the tool and the module sits a
// model of the line (sim/linemodel.h): adapter latency, echo, half duplex,
// noise; all off by default, leaving a lossless line without delay.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include <deque>

#include "sim/linemodel.h"
#include "sim/tavrixmodule.h"
#include "sim/uart.h"

struct SimOptions {
    std::string device;     // empty: create a pseudo-terminal
    int replyDelayMs = 20;  // the module's answer time: from the end of a request to the reply
    int splitAfter = 0;     // > 0: pause after this many reply bytes
    int splitPauseMs = 0;   // length of that pause
    int requestGapMs = 20;  // silence that ends a request
    bool trace = false;     // print every request and reply in hex on stderr
    unsigned speed = 0;     // termios speed (B9600, ...) for a device; 0 keeps its own
    // The line follows the module's RS485 settings, request by request: a
    // device is set to them; on a pseudo-terminal a request made at another
    // speed gets the reply as that speed reads it, one at another parity no reply.
    bool rs485Line = false;
    int stopAfter = 0;      // > 0: answer this many requests, then stay silent
    // > 0: answer this many requests, then close the line when the next one
    // comes (the adapter unplugged): the tool's side reads a hang-up, and that
    // request reaches nobody. Once: Plug() serves a new line on.
    int hangUpAfter = 0;
    // > 0: the module takes this request (counted from 1) but its reply is lost.
    int dropRequest = 0;
    // Line trouble for long runs, each drawn at random per reply from `seed`:
    int randomDelayMs = 0;  // the answer time's jitter: up to this much more
    int splitPercent = 0;   // chance of a pause of up to splitPauseMs at a random byte
    int dropPercent = 0;    // chance of no reply at all
    unsigned seed = 1;  // also of the line's noise below
    // Requests end only at requestGapMs of silence, never where their own
    // bytes say (the simulator's framing before it read frames).
    bool silenceFramingOnly = false;
    // The line (LineOptions says what each does); all off by default.
    int latencyMs = 0;         // the adapter's latency timer
    bool echo = false;         // the adapter echoes what the tool sends
    bool halfDuplex = false;   // one pair, character times at the module's speed, collisions
    double loseReplies = 0;    // percent of the reply bytes lost
    double loseRequests = 0;   // percent of the request bytes lost
    double flipReplies = 0;    // percent of the replies with one bit flipped
    double flipRequests = 0;   // percent of the requests with one bit flipped
};

class SimServer {
public:
    SimServer(TavrixModule& module, SimOptions options);
    ~SimServer();

    // Opens the line; returns the device path the tool should open
    // (the pseudo-terminal's slave side). Throws std::runtime_error on failure.
    std::string Open();
    // Runs the request loop on a background thread until Stop().
    void Start();
    void Stop();
    // Runs the request loop on the calling thread until Stop() (or a signal),
    // or until the line hangs up as hangUpAfter says.
    void Run();
    // The adapter pulled out: the loop stopped and the line closed, so the
    // tool's side reads a hang-up. The module keeps its settings.
    void Unplug();
    // The adapter back: a new line (a new pseudo-terminal, or the device
    // opened again), served on a background thread; returns its path.
    std::string Plug();
    // The same, but not served yet: Run() or Start() serves it.
    std::string Reopen();
    // The line was closed by hangUpAfter or Unplug() and not plugged again.
    bool unplugged() const { return unplugged_; }
    // Requests heard since the start (not only since the last Plug()), and
    // of them those done with: answered, dropped or left unanswered.
    int requestsHeard() const { return requests_; }
    int requestsServed() const { return served_; }
    // Bytes written to the line since the start.
    uint64_t bytesWritten() const { return written_; }

    int requestsAnswered() const { return answered_; }
    // What the line did (all since the start): bytes of the tool's sent while
    // the module transmitted, bytes lost and frames with a bit flipped, per direction.
    int collisions() const { return collisions_; }
    int replyBytesLost() const { return replyBytesLost_; }
    int requestBytesLost() const { return requestBytesLost_; }
    int repliesFlipped() const { return repliesFlipped_; }
    int requestsFlipped() const { return requestsFlipped_; }
    int repliesDropped() const { return dropped_; }
    // The last reply the module gave, sent or dropped.
    Bytes LastReply() const;
    // The requests heard, oldest first (the last 10000).
    std::vector<Bytes> RequestsHeard() const;
    // Writes raw bytes to the line (tests: unsolicited data).
    void Inject(const Bytes& bytes);

private:
    using Micros = LineModel::Micros;
    Micros Now() const;
    // Cuts the bytes heard into requests: at each complete frame, and all of
    // them once the line has been quiet for the request gap.
    void FrameRequests(bool silence);
    void Serve(const Bytes& request, Micros now);
    // The reply under way is all on the line.
    void ReplyDone();
    void CountLine();
    UartFrame ModuleLine();
    void ApplyModuleLine();  // a device only
    void Trace(const Bytes& request, const std::optional<Bytes>& reply,
               const std::string& note) const;
    void WriteAll(const uint8_t* data, size_t size);
    void CloseLine();
    bool Chance(int percent);
    int Below(int n);  // 0 .. n-1 at random

    TavrixModule& module_;
    SimOptions options_;
    int fd_ = -1;      // the side we talk on
    int holdFd_ = -1;  // our own handle on the slave, so the line never hangs up
    int stopFd_ = -1;  // eventfd that ends Run()
    std::string path_;
    std::thread thread_;
    std::atomic<int> answered_{0};
    std::atomic<int> requests_{0};
    std::atomic<int> served_{0};
    std::atomic<uint64_t> written_{0};
    std::atomic<bool> unplugged_{false};
    bool hungUpOnce_ = false;  // hangUpAfter has fired
    std::atomic<int> dropped_{0};
    mutable std::mutex lastMutex_;
    Bytes last_;
    std::vector<Bytes> heard_;
    std::mt19937 random_;
    std::optional<UartFrame> applied_;  // the device's line as last set
    // The loop's own, touched by its thread only (and by Open and Unplug
    // while it does not run).
    LineModel line_;
    const std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
    Bytes heardBytes_;                // not yet framed
    Micros lastHeardAt_ = 0;
    bool heardFlipDecided_ = false;   // noise has had its go at the request being heard
    std::deque<Bytes> waiting_;       // framed while the module still answered another
    bool replyUnderWay_ = false;
    std::atomic<int> collisions_{0};
    std::atomic<int> replyBytesLost_{0};
    std::atomic<int> requestBytesLost_{0};
    std::atomic<int> repliesFlipped_{0};
    std::atomic<int> requestsFlipped_{0};
};
