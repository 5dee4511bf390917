// An adapter that hears its own transmission (the local echo of many USB to
// RS-485 adapters) hands every frame the tool writes back before the reply.
// The filter takes the echo off the received bytes before anybody judges a
// reply. Pure: the link tells it what it wrote and what came, in blocks cut
// anywhere (an adapter's latency timer splits and joins at will).
//
//  - Off: nothing is taken off.
//  - Auto: received bytes that begin with exactly the bytes just sent are the
//    echo; the first such echo is reported once (Detected), and from then on
//    the echo is expected as in On. Bytes that begin like the frame but may
//    still turn out to be the reply are held until they decide it.
//  - On: the echo is expected; one that differs from what was sent means the
//    line was busy or noisy while sending (Differs): the exchange is spoiled.
//    When not even its first byte came, or no echo came whole since the last
//    one differed (Missing), the adapter may not echo at all: the exchange is
//    spoiled too, and its reason says what to set.
//
// Auto cannot tell a reply identical to its request from the echo; none of
// the requests this tool sends (configuration queries and set commands, HART
// frames, MODBUS reads) has such a reply, and the echo of a frame nobody
// answers is still an echo.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class EchoMode { Auto, On, Off };

// Why an exchange whose echo differed is spoiled, as its run says it.
inline constexpr const char* kEchoDiffersText =
    "the echo differs from what was sent: the line was busy or noisy while sending";
inline constexpr const char* kEchoMissingText =
    "no echo of what was sent came back: if this adapter does not echo, set echo to auto or off";
// Either of the two: the exchange was spoiled by its echo.
bool SpoiledByEcho(std::string_view reason);

const char* EchoModeName(EchoMode mode);  // "auto", "on", "off"
std::optional<EchoMode> EchoModeFromName(std::string_view name);

struct EchoSplit {
    enum class Verdict {
        None,      // no echo in these bytes
        Partial,   // the echo so far, more of it to come (or, in Auto, held)
        Whole,     // the echo ended here
        Detected,  // Auto: the first echo ended here; this adapter echoes
        Differs,   // the expected echo differs from the frame sent
        Missing,   // the expected echo did not come: another byte came first
    };
    std::string echo;   // bytes now known to be the echo
    std::string reply;  // bytes now known not to be: the reply's
    Verdict verdict = Verdict::None;
};

class EchoFilter {
public:
    explicit EchoFilter(EchoMode mode = EchoMode::Auto) : mode_(mode) {}

    // A new mode; what was detected stays (a mode set to Auto again forgets it).
    void SetMode(EchoMode mode);
    EchoMode mode() const { return mode_; }
    // Auto found the adapter echoing.
    bool Detected() const { return detected_; }
    // Another device: whether it echoes is found anew.
    void Forget();

    // `frame` went to the line: its echo comes first. Returns bytes still held
    // from the last frame (they were no echo after all: the last reply's).
    std::string Sent(std::string_view frame);
    // Bytes the line delivered.
    EchoSplit Received(std::string_view block);
    // Bytes held while they may yet be the echo (Auto before detection).
    const std::string& held() const { return held_; }
    // The exchange is over (its timeout): bytes held were no echo, and no
    // more of one is looked for.
    std::string TakeHeld() { return Sent({}); }

private:
    bool Expected() const { return mode_ == EchoMode::On || (mode_ == EchoMode::Auto && detected_); }

    EchoMode mode_;
    bool detected_ = false;
    std::string frame_;    // the frame whose echo is awaited; "" when none
    size_t matched_ = 0;   // of it received so far
    std::string held_;     // Auto: matched but not yet known to be the echo
    int spoiledInARow_ = 0;  // expected echoes that differed since one came whole
};
