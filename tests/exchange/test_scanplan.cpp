#include <gtest/gtest.h>

#include "exchange/echofilter.h"

#include <map>
#include <set>
#include <string>

#include "exchange/scanplan.h"
#include "hart/frames.h"
#include "modbus/crc16.h"

using Ms = std::chrono::milliseconds;

namespace {

SequenceTiming At9600(ScanKind kind) {
    SequenceTiming t;
    t.answerTime = DefaultScanAnswerTime(kind);
    return t;
}

SequenceTiming Over(SequenceTiming t, std::chrono::milliseconds roundTrip) {
    t.roundTrip = roundTrip;
    return t;
}

std::string WithCrc(std::string frame) {
    const auto crc = ModbusCrc16(
        std::span(reinterpret_cast<const uint8_t*>(frame.data()), frame.size()));
    return frame + char(crc[0]) + char(crc[1]);
}

// Command 0 reply of the instrument at polling address 5: manufacturer 5A,
// device type 0B, HART 5, device revision 1, id 12 34 56.
std::string Command0Reply(uint8_t address, uint8_t responseCode = 0) {
    HartBytes body{0x06, uint8_t(0x80 | address), 0x00, 0x0E, responseCode, 0x00, 254, 0x5A,
                   0x0B, 5,    5,    1,    1,    8,   0,   0x12, 0x34, 0x56};
    body.push_back(HartChecksum(body));
    return std::string(5, '\xFF') + std::string(body.begin(), body.end());
}

}  // namespace

TEST(LineScanPlan, TriesEverySettingOnceMostLikelyFirst) {
    const ScanPlan plan = LineScanPlan(At9600(ScanKind::Line));
    ASSERT_EQ(plan.candidates.size(), 18u);
    EXPECT_TRUE(plan.stopAtFirstFind);
    std::set<std::pair<uint32_t, int>> seen;
    for (const ScanCandidate& c : plan.candidates) {
        seen.insert({c.line.baud, static_cast<int>(c.line.parity)});
        EXPECT_EQ(c.step.frame, "QQQ#QV#");
    }
    EXPECT_EQ(seen.size(), 18u);
    EXPECT_EQ(plan.candidates.front().label, "9600 None");
    EXPECT_EQ(plan.candidates[1].label, "19200 Even");
    EXPECT_EQ(plan.candidates.back().label, "1200 Odd");
    // Another factory setting is tried right after 9600 None.
    const ScanPlan other = LineScanPlan(At9600(ScanKind::Line), {38400, LineParity::Odd});
    ASSERT_EQ(other.candidates.size(), 18u);
    EXPECT_EQ(other.candidates[1].label, "38400 Odd");
}

// A silent candidate costs the frame's line time and the answer time (which
// holds the adapter's latency); one whose reply has begun may take its line
// time too.
TEST(ScanPlan, CandidateTimeoutsFromTheLine) {
    const struct {
        const char* name;
        ScanPlan plan;
        size_t candidate;
        Ms quiet, timeout, gap;
    } cases[] = {
        // 8 bytes at 9600 8N1 (9 ms) + 50; the 7-byte reply 8 ms more.
        {"bus", BusScanPlan(At9600(ScanKind::Bus), {1, 247}), 0, Ms(59), Ms(67), Ms(4)},
        // 7 bytes at 9600 (8 ms) + 70; at 1200 8O1 (65 ms) + 70.
        {"line 9600 None", LineScanPlan(At9600(ScanKind::Line)), 0, Ms(78), Ms(145), Ms(4)},
        {"line 1200 Odd", LineScanPlan(At9600(ScanKind::Line)), 17, Ms(135), Ms(722), Ms(33)},
        // 12 bytes at 9600 (13 ms) and at 1200 to the instrument (110 ms) + 60.
        {"instrument", InstrumentScanPlan(At9600(ScanKind::Instrument), {0, 15}), 0, Ms(183),
         Ms(183 + 34 + 294), Ms(4)},
        // Behind a serial device server, its round trip (25 ms) on top.
        {"bus over the network", BusScanPlan(Over(At9600(ScanKind::Bus), Ms(25)), {1, 247}), 0,
         Ms(84), Ms(92), Ms(4)},
    };
    for (const auto& c : cases) {
        const ScanCandidate& candidate = c.plan.candidates.at(c.candidate);
        EXPECT_EQ(candidate.step.quietTimeout, c.quiet) << c.name;
        EXPECT_EQ(candidate.step.timeout, c.timeout) << c.name;
        EXPECT_EQ(candidate.gap, c.gap) << c.name;
    }
    // The floor of a bus scan: each slave its request's line time, the answer
    // time and t3.5; each find its reply's line time besides.
    const ScanPlan bus = BusScanPlan(At9600(ScanKind::Bus), {1, 247});
    EXPECT_EQ(bus.candidates.size(), 247u);
    EXPECT_EQ(ScanFloor(bus, {}), Ms(247 * (9 + 50 + 4)));
    EXPECT_EQ(ScanFloor(bus, {2, 16, 199}), Ms(247 * (9 + 50 + 4) + 3 * 8));
    EXPECT_EQ(bus.candidates[16].label, "slave 17");
    // Garbage may come at once: its floor is the frame's line time (7 bytes at
    // 9600, 8 ms), not the quiet timeout it need not wait out.
    const ScanPlan line = LineScanPlan(At9600(ScanKind::Line));
    EXPECT_EQ(ScanFloor(line, {17}) - ScanFloor(line, {17}, {0}), Ms(78 - 8));
}

TEST(ScanPlan, ParsesARangeWithinTheKindsAddresses) {
    const struct {
        ScanKind kind;
        const char* text;
        std::optional<std::pair<int, int>> range;
        const char* error;
    } cases[] = {
        {ScanKind::Bus, "1-247", std::pair{1, 247}, ""},
        {ScanKind::Bus, "17", std::pair{17, 17}, ""},
        {ScanKind::Instrument, "16-63", std::pair{16, 63}, ""},
        {ScanKind::Bus, "0-10", std::nullopt, "the range 0-10 is not within 1-247"},
        {ScanKind::Instrument, "0-64", std::nullopt, "the range 0-64 is not within 0-63"},
        {ScanKind::Bus, "20-3", std::nullopt,
         "the range 20-3 is not within 1-247 from low to high"},
        {ScanKind::Bus, "a-b", std::nullopt, "the range \"a-b\" is not A-B (e.g. 1-247)"},
        {ScanKind::Bus, "", std::nullopt, "the range \"\" is not A-B (e.g. 1-247)"},
    };
    for (const auto& c : cases) {
        std::string error;
        const auto range = ParseScanRange(c.kind, c.text, &error);
        EXPECT_EQ(range.has_value(), c.range.has_value()) << c.text;
        if (range && c.range) {
            EXPECT_EQ(std::pair(range->first, range->last), *c.range) << c.text;
        }
        EXPECT_EQ(error, c.error) << c.text;
    }
}

// What the bytes that came for a candidate mean.
TEST(JudgeCandidate, FoundSilentOrGarbage) {
    const ScanPlan line = LineScanPlan(At9600(ScanKind::Line));
    const ScanPlan bus = BusScanPlan(At9600(ScanKind::Bus), {1, 247});
    const ScanPlan hart = InstrumentScanPlan(At9600(ScanKind::Instrument), {0, 63});
    ScanPlan pty = line;
    pty.lineTakesTime = false;
    const std::string version = "QV:TAVRIX HART-MODBUS V2.0 2025-02-23#";
    const std::string slave17 = WithCrc(std::string("\x11\x03\x02\x00\x00", 5));
    using namespace std::chrono_literals;
    const struct {
        const char* name;
        const ScanPlan* plan;
        size_t candidate;
        std::optional<std::string> received;
        CandidateResult result;
        std::string text;  // the find's text, or the start of the note
        bool damaged = false;  // garbage that may be its own reply spoiled: asked again
        std::optional<ReplyArrival> arrival{};  // when its first block came
    } cases[] = {
        // 38 bytes at 19200 take 20 ms: whole 6 ms after the request, they began
        // before it; the module answered the setting just left, late.
        {"line reply too soon for its candidate", &line, 2, version, CandidateResult::Found,
         "19200 Even: TAVRIX", false, ReplyArrival{6ms, 38}},
        {"line reply in its time", &line, 2, version, CandidateResult::Found, "19200 None: TAVRIX",
         false, ReplyArrival{40ms, 38}},
        {"line reply too soon for the first candidate", &line, 0, version,
         CandidateResult::Garbage, "51 56 3A 54 41 56 52 49 58 20 48 41 52 54 2D 4D ... (began 2 ms",
         true, ReplyArrival{2ms, 38}},
        // A pseudo-terminal moves bytes at once: only the answer time counts.
        {"pty reply in its time", &pty, 2, version, CandidateResult::Found, "19200 None: TAVRIX",
         false, ReplyArrival{12ms, 38}},
        {"pty reply too soon", &pty, 2, version, CandidateResult::Found, "19200 Even: TAVRIX", false,
         ReplyArrival{6ms, 38}},
        {"slave's own reply too soon", &bus, 16, slave17, CandidateResult::Garbage,
         "11 03 02 00 00 ", true, ReplyArrival{2ms, 7}},
        {"slave answers late, too soon for the next", &bus, 17, slave17, CandidateResult::Found,
         "slave 17", false, ReplyArrival{2ms, 7}},
        {"slave in its time", &bus, 16, slave17, CandidateResult::Found, "slave 17", false,
         ReplyArrival{30ms, 7}},
        {"line silent", &line, 0, std::nullopt, CandidateResult::Silent, ""},
        {"line version", &line, 1, "QV:TAVRIX HART-MODBUS V2.0 2025-02-23#",
         CandidateResult::Found, "19200 Even: TAVRIX HART-MODBUS V2.0 2025-02-23"},
        // What a module at another speed looks like.
        {"line wrong speed", &line, 0, std::string("\x80\x00\xF8\x78", 4), CandidateResult::Garbage,
         "80 00 F8 78 (wrong: not a version reply"},
        {"slave answers", &bus, 16, WithCrc(std::string("\x11\x03\x02\x00\x00", 5)),
         CandidateResult::Found, "slave 17"},
        {"slave refuses the register", &bus, 2, WithCrc(std::string("\x03\x83\x02", 3)),
         CandidateResult::Found, "slave 3 (answered with exception 02 Illegal data address)"},
        {"another slave", &bus, 0, WithCrc(std::string("\x05\x03\x02\x00\x00", 5)),
         CandidateResult::Garbage, "05 03 02 00 00 "},
        {"a slave's reply cut", &bus, 16, std::string("\x11\x03\x02\x00", 4),
         CandidateResult::Garbage, "11 03 02 00 (incomplete", true},
        {"a byte flipped in a slave's reply", &bus, 16,
         WithCrc(std::string("\x11\x03\x02\x00\x00", 5)).replace(3, 1, "\x40"),
         CandidateResult::Garbage, "11 03 02 40 00", true},
        {"line noise before the reply", &bus, 16,
         "\x00" + WithCrc(std::string("\x11\x03\x02\x00\x00", 5)), CandidateResult::Found,
         "slave 17"},
        {"a version reply cut", &line, 0, std::string("QV:TAVRIX HART-MOD"),
         CandidateResult::Garbage, "51 56 3A", true},
        // A slow slave's reply arrives while the next one is asked.
        {"slave answers late", &bus, 17, WithCrc(std::string("\x11\x03\x02\x00\x00", 5)),
         CandidateResult::Found, "slave 17"},
        {"slave answers much later", &bus, 40, WithCrc(std::string("\x11\x03\x02\x00\x00", 5)),
         CandidateResult::Found, "slave 17"},
        {"instrument answers late", &hart, 6, Command0Reply(5), CandidateResult::Found,
         "polling address 5: "},
        {"bad CRC", &bus, 16, std::string("\x11\x03\x02\x00\x00\x00\x00", 7),
         CandidateResult::Garbage, "11 03 02 00 00 00 00 (wrong: CRC", true},
        {"an instrument's reply cut", &hart, 5, Command0Reply(5).substr(0, 20),
         CandidateResult::Garbage, "FF FF FF FF FF 06 85", true},
        {"a checksum spoiled", &hart, 5, Command0Reply(5).replace(12, 1, "\x00"),
         CandidateResult::Garbage, "FF FF FF FF FF 06 85", true},
        {"instrument", &hart, 5, Command0Reply(5), CandidateResult::Found,
         "polling address 5: manufacturer 0x005A, device type 0x0B, id 1193046, HART 5, device "
         "revision 1"},
        {"instrument in the extended range", &hart, 42, Command0Reply(42),
         CandidateResult::Found, "polling address 42: "},
        {"instrument refuses", &hart, 5, Command0Reply(5, 0x40), CandidateResult::Garbage,
         "FF FF FF FF FF 06 85 00 0E 40 00 FE 5A 0B 05 05 ... (wrong"},
    };
    for (const auto& c : cases) {
        const CandidateOutcome outcome =
            JudgeCandidate(*c.plan, c.candidate, c.received, c.arrival);
        EXPECT_EQ(outcome.result, c.result) << c.name;
        const std::string text = outcome.find ? outcome.find->Text() : outcome.note;
        EXPECT_EQ(text.substr(0, c.text.size()), c.text) << c.name << ": " << text;
        EXPECT_EQ(outcome.damaged, c.damaged) << c.name;
    }
}

// The tally asks each candidate once, again while its bytes may be its own
// reply spoiled, and counts those still spoiled as noise that may hide a find.
TEST(ScanTally, AsksGarbledCandidatesAgainAndCountsTheNoise) {
    const std::string slave3 = WithCrc(std::string("\x03\x03\x02\x00\x00", 5));
    const std::string badCrc3 = slave3.substr(0, 5) + "\x00\x00";
    const std::string version = "QV:TAVRIX HART-MODBUS V2.0 2025-02-23#";
    using Replies = std::map<size_t, std::vector<std::string>>;  // by candidate, by try
    const struct {
        const char* name;
        ScanPlan plan;
        int retries;
        Replies replies;  // none: silent
        std::vector<size_t> asked;
        std::vector<std::string> finds;
        size_t noisy, tally;  // noisy; tries after a first
    } cases[] = {
        {"garbled, then found", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 2,
         {{2, {badCrc3, slave3}}}, {0, 1, 2, 2, 3}, {"slave 3"}, 0, 1},
        // "!spoiled": the adapter's echo came back changed, nothing after it.
        {"echo spoiled, then found", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 2,
         {{2, {"!spoiled", slave3}}}, {0, 1, 2, 2, 3}, {"slave 3"}, 0, 1},
        {"cut, then found", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 2,
         {{2, {slave3.substr(0, 3), slave3}}}, {0, 1, 2, 2, 3}, {"slave 3"}, 0, 1},
        {"garbled every time", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 2,
         {{2, {badCrc3, badCrc3, badCrc3}}}, {0, 1, 2, 2, 2, 3}, {}, 1, 2},
        {"no retries", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 0, {{2, {badCrc3}}},
         {0, 1, 2, 3}, {}, 1, 0},
        {"found, and another garbled", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 1,
         {{0, {badCrc3, badCrc3}}, {2, {slave3}}}, {0, 0, 1, 2, 3}, {"slave 3"}, 1, 1},
        // A whole frame from another slave is no noise: asked once.
        {"another slave", BusScanPlan(At9600(ScanKind::Bus), {1, 4}), 2, {{0, {slave3}}},
         {0, 1, 2, 3}, {}, 0, 0},
        // Bytes at another line setting are not asked again; the module is
        // found at its own, and what came before hid nothing.
        {"line: another setting, then found", LineScanPlan(At9600(ScanKind::Line)), 2,
         {{0, {std::string("\x80\x00\xF8\x78", 4)}}, {1, {version}}}, {0, 1},
         {"19200 Even: TAVRIX HART-MODBUS V2.0 2025-02-23"}, 0, 0},
        {"line: a cut version asked again", LineScanPlan(At9600(ScanKind::Line)), 2,
         {{0, {version.substr(0, 10), version}}}, {0, 0},
         {"9600 None: TAVRIX HART-MODBUS V2.0 2025-02-23"}, 0, 1},
    };
    for (const auto& c : cases) {
        ScanPlan plan = c.plan;
        plan.retries = c.retries;
        ScanTally tally(plan);
        std::vector<size_t> asked;
        std::map<size_t, size_t> tries;
        while (const auto next = tally.Next()) {
            ASSERT_LT(asked.size(), 20u) << c.name;
            asked.push_back(*next);
            const auto it = c.replies.find(*next);
            const size_t attempt = tries[*next]++;
            std::optional<std::string> received;
            if (it != c.replies.end() && attempt < it->second.size()) received = it->second[attempt];
            if (received == "!spoiled")
                tally.Record(std::string(), std::nullopt, kEchoDiffersText);
            else
                tally.Record(received);
        }
        EXPECT_EQ(asked, c.asked) << c.name;
        std::vector<std::string> finds;
        for (const ScanFind& f : tally.finds()) finds.push_back(f.Text());
        EXPECT_EQ(finds, c.finds) << c.name;
        EXPECT_EQ(tally.noisy(), c.noisy) << c.name;
        EXPECT_EQ(tally.retries(), c.tally) << c.name;
    }
}
