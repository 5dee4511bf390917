// The line model with its clock in the test's hand: what reaches either end
// by when, and what noise and collisions do to it.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "hart/frames.h"
#include "modbus/crc16.h"
#include "modbus/request.h"
#include "sim/linemodel.h"
#include "sim/requestframing.h"

namespace {

using Micros = LineModel::Micros;

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(LineModel, DeliversEachByteWhenItIsDue) {
    // What happens at `at`: the tool sends, the module starts a reply
    // (pausing `pause` after `split` bytes), or an end reads what is due.
    enum Kind { kTool, kModule, kAtTool, kAtModule, kNext };
    struct Step {
        Kind kind;
        Micros at;
        std::string bytes;  // sent, or expected; kNext: none due when empty
        size_t split = 0;
        Micros pause = 0;
    };
    const struct {
        const char* what;
        LineOptions options;
        UartFrame frame;
        std::vector<Step> steps;
    } cases[] = {
        {"a plain line: everything at once",
         {},
         {},
         {{kTool, 100, "AB"}, {kAtModule, 100, "AB"}, {kAtTool, 100, ""},
          {kModule, 500, "xyz"}, {kNext, 0, "500"}, {kAtTool, 499, ""}, {kAtTool, 500, "xyz"},
          {kNext, 0, ""}}},
        {"the split pause",
         {},
         {},
         {{kModule, 0, "abcd", 2, 5000}, {kAtTool, 0, "ab"}, {kNext, 0, "5000"},
          {kAtTool, 4999, ""}, {kAtTool, 5000, "cd"}}},
        {"the latency timer holds bytes to its next tick",
         {.latencyMs = 16},
         {},
         {{kModule, 1000, "abc"}, {kNext, 0, "16000"}, {kAtTool, 15999, ""},
          {kAtTool, 16000, "abc"}, {kModule, 16000, "d"}, {kAtTool, 16000, "d"},
          {kModule, 20000, "e"}, {kAtTool, 31999, ""}, {kAtTool, 40000, "e"}}},
        {"the echo comes back before the reply",
         {.echo = true},
         {},
         {{kTool, 100, "Q#"}, {kModule, 100, "r"}, {kAtTool, 100, "Q#r"}, {kAtModule, 100, "Q#"}}},
        {"the echo waits for the latency timer too",
         {.latencyMs = 16, .echo = true},
         {},
         {{kTool, 1000, "AB"}, {kAtModule, 1000, "AB"}, {kAtTool, 15999, ""},
          {kAtTool, 16000, "AB"}}},
        // 10 bits at 9600 baud: 1041.7 us a character.
        {"half duplex paces both ways at the module's speed",
         {.halfDuplex = true},
         {9600, Parity::None},
         {{kModule, 0, "ab"}, {kAtTool, 1040, ""}, {kAtTool, 1041, "a"}, {kNext, 0, "2083"},
          {kAtTool, 2083, "b"}, {kTool, 5000, "xyz"}, {kAtModule, 7083, "xy"},
          {kAtModule, 8125, "z"}}},
        {"a parity bit makes a character 11 bits",
         {.halfDuplex = true},
         {19200, Parity::Even},
         {{kModule, 0, "ab"}, {kAtTool, 572, "a"}, {kAtTool, 1145, "b"}}},
        {"a byte after the reply does not collide",
         {.echo = true, .halfDuplex = true},
         {9600, Parity::None},
         {{kModule, 0, "a"}, {kTool, 1041, "x"}, {kAtTool, 3000, "ax"}, {kAtModule, 3000, "x"}}},
        {"lost bytes: the adapter still echoes what it sent",
         {.echo = true, .loseReplies = 100, .loseRequests = 100},
         {},
         {{kTool, 0, "AB"}, {kModule, 0, "r"}, {kAtModule, 10, ""}, {kAtTool, 10, "AB"}}},
    };
    for (const auto& c : cases) {
        LineModel line(c.options);
        line.SetModuleLine(c.frame);
        for (const Step& s : c.steps) {
            const std::string where = std::string(c.what) + " at " + std::to_string(s.at);
            switch (s.kind) {
                case kTool:
                    line.ToolSent(B(s.bytes), s.at);
                    break;
                case kModule:
                    line.ModuleSends(B(s.bytes), s.at, s.split, s.pause);
                    break;
                case kAtTool:
                    EXPECT_EQ(line.TakeForTool(s.at), B(s.bytes)) << where;
                    break;
                case kAtModule:
                    EXPECT_EQ(line.TakeForModule(s.at), B(s.bytes)) << where;
                    break;
                case kNext: {
                    const auto next = line.NextEvent();
                    EXPECT_EQ(next ? std::to_string(*next) : "", s.bytes) << c.what;
                    break;
                }
            }
        }
        EXPECT_EQ(line.collisions(), 0) << c.what;
    }
}

TEST(LineModel, AByteSentDuringTheReplyCollidesWithIt) {
    LineModel line({.echo = true, .halfDuplex = true, .trace = true});
    line.SetModuleLine({9600, Parity::None});
    line.ModuleSends(B("abcd"), 0);
    EXPECT_TRUE(line.ModuleTransmitting(1500));
    line.ToolSent(B("x"), 1500);  // during 'b', [1041, 2083); through at 2541, during 'c'
    EXPECT_EQ(line.collisions(), 1);
    const Bytes heard = line.TakeForModule(2541);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_NE(heard[0], 'x');
    const Bytes read = line.TakeForTool(5000);  // "a", b, the echo, c, "d"
    ASSERT_EQ(read.size(), 5u);
    EXPECT_EQ(read[0], 'a');
    EXPECT_NE(read[1], 'b');
    EXPECT_EQ(read[2], heard[0]);  // the adapter hears the line as the module does
    EXPECT_NE(read[3], 'c');
    EXPECT_EQ(read[4], 'd');
    EXPECT_FALSE(line.ModuleTransmitting(5000));
    const std::vector<std::string> notes = line.TakeNotes();
    EXPECT_NE(std::find(notes.begin(), notes.end(), "collision at reply byte 2 (request byte 1)"),
              notes.end());
}

TEST(LineModel, NoiseFollowsItsRatesAndItsSeed) {
    // Ten replies of 1000 bytes 0x55 and ten requests: what reached the tool, and the counts.
    const auto run = [](LineOptions options) {
        LineModel line(options);
        Bytes got;
        for (int i = 0; i < 10; ++i) {
            line.ModuleSends(Bytes(1000, 0x55), i);
            const Bytes read = line.TakeForTool(i);
            got.insert(got.end(), read.begin(), read.end());
            Bytes request(9, 0x55);
            line.FlipRequest(request);
        }
        return std::tuple(got, line.replyBytesLost(), line.repliesFlipped(), line.requestsFlipped());
    };
    const struct {
        LineOptions options;
        int lostMin, lostMax;        // reply bytes of 10000
        int flippedMin, flippedMax;  // replies, and requests, of 10 each
    } cases[] = {
        {{}, 0, 0, 0, 0},
        {{.loseReplies = 100}, 10000, 10000, 0, 0},
        {{.loseReplies = 0.5}, 25, 80, 0, 0},
        {{.loseReplies = 30, .seed = 7}, 2700, 3300, 0, 0},
        {{.flipReplies = 100, .flipRequests = 100}, 0, 0, 10, 10},
        {{.flipReplies = 50, .flipRequests = 50, .seed = 3}, 0, 0, 1, 9},
    };
    for (const auto& c : cases) {
        const auto result = run(c.options);
        const auto& [got, lost, repliesFlipped, requestsFlipped] = result;
        const std::string what = std::to_string(c.options.loseReplies) + "% lost, " +
                                 std::to_string(c.options.flipReplies) + "% flipped";
        EXPECT_GE(lost, c.lostMin) << what;
        EXPECT_LE(lost, c.lostMax) << what;
        EXPECT_EQ(got.size(), size_t(10000 - lost)) << what;
        for (const int flipped : {repliesFlipped, requestsFlipped}) {
            EXPECT_GE(flipped, c.flippedMin) << what;
            EXPECT_LE(flipped, c.flippedMax) << what;
        }
        int bits = 0;  // one bit a flipped reply
        for (const uint8_t b : got) bits += std::popcount(uint8_t(b ^ 0x55));
        EXPECT_EQ(bits, repliesFlipped) << what;
        // The same seed, the same line; another seed, another.
        EXPECT_EQ(run(c.options), result) << what;
        const auto random = [](double percent) { return percent > 0 && percent < 100; };
        if (random(c.options.loseReplies) || random(c.options.flipReplies)) {
            LineOptions other = c.options;
            other.seed += 1;
            EXPECT_NE(run(other), result) << what;
        }
    }
}

TEST(RequestFraming, ARequestEndsWhereItsOwnBytesSay) {
    const auto text = [](const std::string& s) { return B(s); };
    const ModbusRequest read = ReadHoldingRegistersRequest(1, 0, 2);
    const ModbusRequest readAtQ = ReadHoldingRegistersRequest('Q', 0, 2);  // slave 81
    Bytes badCrc(read.begin(), read.end());
    badCrc.back() ^= 1;
    const Bytes hart0 = HartCommand0Frame(5, kPrimaryMaster, 0);
    Bytes hartBadSum = hart0;
    hartBadSum.back() ^= 1;
    const Bytes hart3 = HartCommand3Frame(7, kPrimaryMaster, {0x5A, 0x0B, {1, 2, 3}});
    Bytes withTail = text("QQQ#QV#QQQ#QX#");
    Bytes writeMultiple{0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x12, 0x34};
    const auto crc = ModbusCrc16(writeMultiple);
    writeMultiple.insert(writeMultiple.end(), crc.begin(), crc.end());
    const struct {
        const char* what;
        Bytes bytes;
        std::optional<size_t> length;
    } cases[] = {
        {"a query", text("QQQ#QV#"), 7},
        {"a query so far", text("QQQ#QV"), std::nullopt},
        {"a set frame", text("QQS#MD:4#"), 9},
        {"the reset", text("QQS#RESET#"), 10},
        {"the serial number", text("JXKORV#PCBSN:12345678,001#"), 26},
        {"a range", text("QQKORV#DA2:0.000,100.0#"), 23},
        {"a payload frame has no end of its own", text("QQS#CAMD01:1<02,#A"), std::nullopt},
        {"two queries: the first", withTail, 7},
        {"a MODBUS read", Bytes(read.begin(), read.end()), 8},
        {"a MODBUS read to slave 'Q'", Bytes(readAtQ.begin(), readAtQ.end()), 8},
        {"a MODBUS read so far", Bytes(read.begin(), read.begin() + 7), std::nullopt},
        {"a MODBUS read with a bad CRC", badCrc, std::nullopt},
        {"a MODBUS write of a byte count", writeMultiple, 11},
        {"HART command 0", hart0, hart0.size()},
        {"HART command 0 so far", Bytes(hart0.begin(), hart0.end() - 1), std::nullopt},
        {"HART with a bad checksum", hartBadSum, std::nullopt},
        {"HART command 3 in a long frame", hart3, hart3.size()},
        {"noise", text("HELLO"), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(CompleteRequestLength(c.bytes), c.length) << c.what;
}
