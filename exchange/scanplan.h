// Finding a module: the candidates a scan tries, in order, with each one's
// frame and timeouts, and what a reply to a candidate means. Pure: the scan
// job (session/scanjob.h) runs the candidates on the line and brings the
// bytes back here to be judged.
//  - Line: the module's line settings, every speed of the baud list with
//    None, Odd and Even, most likely first; the communication query asks.
//  - Bus: MODBUS slave addresses with a function 03 read of one register; a
//    valid reply and an exception reply both mean a slave is there.
//  - Instrument: HART polling addresses with command 0 short frames.
// Each candidate waits for its reply or its timeout before the next frame
// goes out, never talking over an answering slave. A candidate that stays
// silent costs its quiet timeout (the frame's line time and the answer time,
// by which any reply has begun) and the inter-frame gap; one whose reply has
// begun may take its line time too. A candidate that brought garbage is asked
// again, as the plan's retries allow, before it is given up as noise.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/requestsequence.h"
#include "hart/frames.h"
#include "hart/replies.h"

enum class ScanKind { Line, Bus, Instrument };

// Items of the parity lists: 0 None, 1 Odd, 2 Even.
enum class LineParity { None = 0, Odd = 1, Even = 2 };

struct LineSetting {
    uint32_t baud = 9600;
    LineParity parity = LineParity::None;
    bool operator==(const LineSetting&) const = default;
};

// The speeds of the baud lists, slowest first.
inline constexpr std::array<uint32_t, 6> kLineBauds{1200, 2400, 4800, 9600, 19200, 38400};
// What a module leaves the factory with.
inline constexpr LineSetting kFactoryLine{9600, LineParity::None};

const char* ParityName(LineParity parity);  // "None", "Odd", "Even"
char ParityLetter(LineParity parity);       // 'N', 'O', 'E'
std::string LineSettingText(const LineSetting& line);  // "19200 Even"

// The answer time a scan allows by default: the longest time the query it
// sends takes to answer, as seen from the tool (see SequenceTiming): 50 ms on
// the bus, 60 ms for an instrument (its leg at 1200 baud apart), 70 ms for the
// module's version query.
std::chrono::milliseconds DefaultScanAnswerTime(ScanKind kind);

// The addresses a scan may cover and those it covers unasked.
struct ScanRange {
    int first = 0;
    int last = 0;
};
ScanRange DefaultScanRange(ScanKind kind);  // bus 1-247, instrument 0-15
ScanRange WidestScanRange(ScanKind kind);   // bus 1-247, instrument 0-63
// "A-B" (or one address "A") within the kind's widest range; nullopt and
// `error` set to what is wrong otherwise.
std::optional<ScanRange> ParseScanRange(ScanKind kind, std::string_view text, std::string* error);

struct ScanCandidate {
    LineSetting line;  // line scan: the setting to try
    int address = 0;   // bus: the slave; instrument: the polling address
    std::string label;  // "19200 Even", "slave 17", "polling address 5"
    SequenceStep step;
    // The frame's line time: what garbage costs at the least.
    std::chrono::milliseconds frameTime{0};
    // A whole reply's line time: what a find adds to the quiet timeout.
    std::chrono::milliseconds replyTime{0};
    // The inter-frame gap at the candidate's speed, after whatever ends it.
    std::chrono::milliseconds gap{0};
    // The line as the candidate is asked on: its speed and character size.
    SequenceTiming timing{};
};

struct ScanPlan {
    ScanKind kind = ScanKind::Line;
    std::vector<ScanCandidate> candidates;
    // A module has one line setting: the line scan ends at the first found.
    bool stopAtFirstFind = false;
    // Bus and instrument scans: the line to run on (one a line scan just
    // found); none, the line as it is.
    std::optional<LineSetting> line;
    // How often a candidate whose bytes may be its reply spoiled is asked again.
    int retries = 2;
    // Frames take their line time (a serial line); false on a pseudo-terminal,
    // which moves bytes at once: a reply's timing then says only its answer time.
    bool lineTakesTime = true;
};

// The quickest a reply can begin after its request was written. On a serial
// line: once the frame has gone out (its line time) and the inter-frame gap
// t3.5 has followed it, which a MODBUS slave waits for to know the frame has
// ended (the module, at its closing '#', is no quicker). Through a
// pseudo-terminal bytes move at once, and what answers there (the simulator,
// a test's peer) takes 20 ms by default: 10 ms is the least believed.
inline constexpr std::chrono::milliseconds kShortestPtyAnswer{10};

// When the first bytes for a candidate came: that long after its frame was
// written, `bytes` of them in that first block.
struct ReplyArrival {
    std::chrono::milliseconds after{0};
    size_t bytes = 0;
};

// Whether bytes first delivered as `arrival` began too soon to answer candidate
// `index` (above); on a serial line the first block's own line time is
// counted back from its delivery. Such bytes are an earlier candidate's reply,
// come late.
bool BeganTooSoon(const ScanPlan& plan, size_t index, const ReplyArrival& arrival);

// `timing` gives the answer time (unset: DefaultScanAnswerTime) and the
// character size; its speed is the line's for the bus and the instrument
// scans, and each candidate's own for the line scan.
ScanPlan LineScanPlan(const SequenceTiming& timing, LineSetting factory = kFactoryLine);
ScanPlan BusScanPlan(const SequenceTiming& timing, ScanRange range);
ScanPlan InstrumentScanPlan(const SequenceTiming& timing, ScanRange range);

struct ScanFind {
    ScanKind kind = ScanKind::Line;
    size_t candidate = 0;
    LineSetting line;     // the line scan's find, or the line the others ran on
    std::string version;  // line: the module's version text
    int slave = 0;        // bus
    std::string exception;  // bus: the exception the slave answered with, if any
    int pollingAddress = 0;  // instrument
    HartIdentity identity;
    int universalRevision = 0;
    int deviceRevision = 0;
    HartDeviceReply device;  // instrument: its whole command 0 reply

    // One line: "19200 Even: TAVRIX HART-MODBUS V2.0", "slave 17",
    // "polling address 5: manufacturer 0x005A, device type 0x0B, id 1193046,
    // HART 5, device revision 1" (the one identity text).
    std::string Text() const;
};

enum class CandidateResult {
    Found,
    Silent,   // nothing came
    Garbage,  // bytes that answer nothing: a wrong speed, another talker, a collision
};

struct CandidateOutcome {
    CandidateResult result = CandidateResult::Silent;
    std::optional<ScanFind> find;
    std::string note;  // garbage: what came and why it is not an answer
    // Garbage that may be the candidate's own reply spoiled by the line (a
    // wrong CRC, a cut or broken frame): asked again, and left so, it may have
    // hidden a find. On the line scan only a cut reply: other bytes there are
    // what a module at another setting sends, and asking again changes nothing.
    bool damaged = false;
};

// What the bytes that came for candidate `index` mean; nullopt: nothing came.
// On the bus and the instrument scans a whole reply to an earlier candidate
// is that one found late (its find names it, the note says so). Bytes that
// began too soon (BeganTooSoon, given `arrival`) never answer `index`: a whole
// reply to an earlier candidate is that one found late (on the line scan the
// one just before: the port heard it at its setting), anything else is asked
// again as a spoiled reply would be.
CandidateOutcome JudgeCandidate(const ScanPlan& plan, size_t index,
                                const std::optional<std::string>& received,
                                std::optional<ReplyArrival> arrival = std::nullopt);

// A scan's course through its plan: which candidate to ask next, and what
// the candidates' bytes made of it. Each candidate is asked once, and again
// while its bytes may be its own reply spoiled (CandidateOutcome::damaged)
// and the plan's retries allow. Pure: the scan job asks and brings the bytes.
class ScanTally {
public:
    struct Note {
        size_t candidate;
        std::string text;
        bool damaged = false;
    };
    struct Recorded {
        CandidateOutcome outcome;
        bool again = false;    // the same candidate is asked once more
        bool newFind = false;  // outcome.find is new (a late reply names one found before)
    };

    explicit ScanTally(const ScanPlan& plan) : plan_(&plan) {}

    // The candidate to ask now; nullopt once every one is done (or the line
    // scan found its module).
    std::optional<size_t> Next() const;
    // What came for the candidate Next() named: nullopt, nothing. `spoiled`:
    // why the exchange was spoiled whatever came (its echo differed), which
    // counts as garbage that may hide its reply.
    Recorded Record(const std::optional<std::string>& received,
                    std::optional<ReplyArrival> arrival = std::nullopt,
                    const std::string& spoiled = {});

    const std::vector<ScanFind>& finds() const { return finds_; }
    // Bytes that answered nothing at a candidate's last try, by candidate.
    const std::vector<Note>& garbage() const { return garbage_; }
    // Candidates still spoiled after their retries: finds noise may have
    // hidden (none once the line scan found the module's one setting).
    size_t noisy() const;
    size_t retries() const { return retries_; }  // tries after a candidate's first
    size_t tried() const { return next_; }       // candidates done with

private:
    const ScanPlan* plan_;
    size_t next_ = 0;
    int tries_ = 0;
    bool over_ = false;
    size_t retries_ = 0;
    std::vector<ScanFind> finds_;
    std::vector<Note> garbage_;
};

// What the candidates cost at the least, each with the inter-frame gap after
// it: the quiet timeout of a silent one (the frame's line time and the answer
// time), the same and the reply's line time for a find, the frame's line time
// for garbage (it may come at once). For the goals.
std::chrono::milliseconds ScanFloor(const ScanPlan& plan, const std::vector<size_t>& found,
                                    const std::vector<size_t>& garbage = {});
