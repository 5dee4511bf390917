// The line between the tool and the module as a real RS485 installation
// has it: the USB adapter's latency timer, its local echo, a half-duplex
// pair on which the module's reply takes its time and a byte sent against
// it collides, and noise that loses bytes or flips bits. Clock-free: the
// caller tells it what happened at which time and asks what is due by when,
// so the same inputs always give the same line.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/responder.h"
#include "sim/uart.h"

struct LineOptions {
    // > 0: bytes for the tool wait in the adapter and go up in chunks at
    // ticks every latencyMs ms (an FTDI chip's latency timer is 16 by default).
    int latencyMs = 0;
    // The adapter hears its own transmission: every byte the tool sends
    // comes back to it, through the latency timer as any other.
    bool echo = false;
    // One pair for both directions: every byte takes a character time at the
    // module's speed, and a byte the tool sends while the module transmits
    // collides with the module's byte; both arrive corrupted.
    bool halfDuplex = false;
    // Noise, per direction: the chance (percent, fractions allowed) that a
    // byte is lost, and that a frame (a whole reply, a whole request) gets
    // one random bit of one random byte flipped.
    double loseReplies = 0;
    double loseRequests = 0;
    double flipReplies = 0;
    double flipRequests = 0;
    unsigned seed = 1;
    bool trace = false;  // keep notes of what the line did
};

class LineModel {
public:
    using Micros = int64_t;

    explicit LineModel(LineOptions options);

    // The module's UART framing, which sets the character time in half duplex.
    void SetModuleLine(UartFrame frame) { frame_ = frame; }
    // The time one character takes on the line: 0 unless half duplex.
    Micros CharTime() const;

    // The tool wrote `bytes`; they reached us at `now`.
    void ToolSent(const Bytes& bytes, Micros now);
    // The module puts `reply` on the line from `start` on, pausing `pause`
    // after its first `splitAt` bytes (0: no pause).
    void ModuleSends(const Bytes& reply, Micros start, size_t splitAt = 0, Micros pause = 0);
    // A request as the module framed it: noise flips a bit in flipRequests
    // percent of them. True when it did.
    bool FlipRequest(Bytes& request);

    // The bytes that have reached the module by `now`, and those the tool's
    // side can read by `now`; each byte is taken once.
    Bytes TakeForModule(Micros now);
    Bytes TakeForTool(Micros now);
    // When the next byte becomes due either way; nullopt while none is on its way.
    std::optional<Micros> NextEvent() const;
    // The module's reply is still going out on the line at `now`.
    bool ModuleTransmitting(Micros now) const;
    // The line gone (the adapter unplugged): whatever was on its way is lost.
    void Clear();

    int collisions() const { return collisions_; }
    int replyBytesLost() const { return replyBytesLost_; }
    int requestBytesLost() const { return requestBytesLost_; }
    int repliesFlipped() const { return repliesFlipped_; }
    int requestsFlipped() const { return requestsFlipped_; }
    // What the line did since the last call, one note a line (options.trace).
    std::vector<std::string> TakeNotes();

private:
    struct Char {
        Micros start = 0;
        Micros end = 0;      // heard at the far end when its stop bit is through
        uint8_t byte = 0;
        int number = 0;      // 1.. within its reply or request
        bool lost = false;   // to the far end; the near end still hears it
        bool collided = false;
        bool toFar = true;   // still to be delivered to the far end
        bool echo = false;   // a tool byte still to be echoed back to the tool
    };

    Micros CharsTime(size_t count) const;
    Micros DueAtTool(Micros end) const;  // the adapter's next tick
    bool Chance(double percent);
    uint32_t Below(uint32_t n) { return n <= 1 ? 0 : random_() % n; }
    uint8_t Corrupt(uint8_t byte);
    void Collide(Char& tool, Char& module);
    void Note(const std::string& note);

    LineOptions options_;
    UartFrame frame_;
    std::mt19937 random_;
    std::deque<Char> fromTool_;    // on their way to the module (and back, echoed)
    std::deque<Char> fromModule_;  // on their way to the tool
    Micros toolLineFree_ = 0;      // the tool's last byte is through by then
    int toolNumber_ = 0;
    int collisions_ = 0;
    int replyBytesLost_ = 0;
    int requestBytesLost_ = 0;
    int repliesFlipped_ = 0;
    int requestsFlipped_ = 0;
    std::vector<std::string> notes_;
};
