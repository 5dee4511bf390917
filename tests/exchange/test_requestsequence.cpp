#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "exchange/requestsequence.h"

using Kind = SequenceOutput::Kind;
using Ms = SequenceTime;

namespace {

const std::string kSystemReply = "QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#";

// A query and a set command at 9600 baud 8N1, the module answering within
// 500 ms: a step with nothing by its frame's line time and the answer time has
// had no reply (8 + 500 ms for the 7-byte query, 10 + 500 for the set); one
// whose reply has begun has the longest reply's line time besides (267 ms).
RequestSequence QueryThenSet() {
    return RequestSequence(
        {{"QQQ#QX#", 202, "System parameters"}, {"QQS#MD:1#", 200, "Operation mode"}});
}

}  // namespace

TEST(RequestSequence, EndsEachStepWhenItsReplyIsCompleteAndSettled) {
    RequestSequence seq = QueryThenSet();
    EXPECT_EQ(seq.Start(Ms(0)), (SequenceOutputs{{Kind::Write, 0, "QQQ#QX#"}}));
    EXPECT_EQ(seq.NextDeadline(), Ms(508));
    // A reply cut by a pause waits for the rest, however long the pause.
    EXPECT_TRUE(seq.Received(Ms(40), "QX#BA2:31,MD:1").empty());
    EXPECT_EQ(seq.verdict().state, VerdictState::Incomplete);
    EXPECT_EQ(seq.NextDeadline(), Ms(775));
    EXPECT_TRUE(seq.Received(Ms(600), kSystemReply.substr(14)).empty());
    // Complete: it ends after the inter-frame gap, 3.5 characters (4 ms).
    EXPECT_TRUE(seq.Tick(Ms(603)).empty());
    EXPECT_EQ(seq.Tick(Ms(604)),
              (SequenceOutputs{{Kind::Reply, 0, kSystemReply}, {Kind::Write, 1, "QQS#MD:1#"}}));
    seq.Received(Ms(650), "QQS#MD:OK#");
    EXPECT_EQ(seq.Tick(Ms(654)),
              (SequenceOutputs{{Kind::Reply, 1, "QQS#MD:OK#"}, {Kind::Finished, 2, ""}}));
    EXPECT_EQ(seq.state(), RequestSequence::State::Finished);
    EXPECT_EQ(seq.replies(), (std::vector<std::string>{kSystemReply, "QQS#MD:OK#"}));
    ASSERT_EQ(seq.verdicts().size(), 2u);
    EXPECT_EQ(seq.verdicts()[1].state, VerdictState::Valid);
    EXPECT_FALSE(seq.NextDeadline());
}

// How a step ends when its reply is not what was asked, by table.
TEST(RequestSequence, StopsAtAStepWithoutAWholeRightReply) {
    const struct {
        const char* name;
        std::vector<std::pair<int, std::string>> blocks;  // (ms, bytes) for step 1
        int endsAt;
        SequenceOutput end;
        RequestSequence::State state;
    } cases[] = {
        {"silent",
         {},
         20 + 510,
         {Kind::TimedOut, 1, "Parameter Setting Timeout!"},
         RequestSequence::State::TimedOut},
        {"refused",
         {{40, "QQS#MD:ERR#"}},
         64,
         {Kind::Failed, 1, "wrong: the module refused the setting: \"QQS#MD:ERR#\""},
         RequestSequence::State::Failed},
        {"cut short",
         {{40, "QQS#MD:O"}},
         20 + 777,
         {Kind::Failed, 1, "incomplete: acknowledgement so far: \"QQS#MD:O\""},
         RequestSequence::State::Failed},
    };
    for (const auto& c : cases) {
        RequestSequence seq = QueryThenSet();
        seq.Start(Ms(0));
        seq.Received(Ms(0), kSystemReply);
        ASSERT_EQ(seq.Tick(Ms(20)).size(), 2u) << c.name;  // step 1 written at 20
        for (const auto& [at, bytes] : c.blocks) seq.Received(Ms(at), bytes);
        EXPECT_TRUE(seq.Tick(Ms(c.endsAt - 1)).empty()) << c.name;
        EXPECT_EQ(seq.Tick(Ms(c.endsAt)), SequenceOutputs{c.end}) << c.name;
        EXPECT_EQ(seq.state(), c.state) << c.name;
        EXPECT_EQ(seq.current(), 1u) << c.name;
        // A late block belongs to nobody and changes nothing.
        EXPECT_TRUE(seq.Received(Ms(5000), "QQS#MD:OK#").empty()) << c.name;
        EXPECT_EQ(seq.replies().size(), 1u) << c.name;
        EXPECT_FALSE(seq.NextDeadline()) << c.name;
    }
}

TEST(RequestSequence, AReplyOfUnknownShapeEndsAfterAShortSilence) {
    RequestSequence seq({{"\xFF\xFF\x02\x80\x00\x00\x82", 104, "Typed"}});
    seq.Start(Ms(0));
    seq.Received(Ms(100), "\xFF\x06");
    EXPECT_EQ(seq.NextDeadline(), Ms(100 + 20 + 4));  // the adapter's latency and t3.5
    seq.Received(Ms(110), "\x80");
    EXPECT_EQ(seq.Tick(Ms(134)),
              (SequenceOutputs{{Kind::Reply, 0, "\xFF\x06\x80"}, {Kind::Finished, 1, ""}}));
}

TEST(SequenceTiming, TimeoutsFollowTheLineAndTheHartLeg) {
    SequenceTiming fast;
    fast.baud = 115200;
    EXPECT_EQ(fast.Quiet({"QQQ#QX#", 202, "System"}), Ms(1 + 500));
    EXPECT_EQ(fast.Timeout({"QQQ#QX#", 202, "System"}), Ms(1 + 500 + 23));
    // Command 3 (15 bytes) also crosses to the instrument (138 ms) and back
    // (the longest reply, 367 ms) at 1200 baud.
    EXPECT_EQ(SequenceTiming{}.Quiet({std::string(15, 'x'), 103, "HART"}), Ms(16 + 500 + 138));
    EXPECT_EQ(SequenceTiming{}.Timeout({std::string(15, 'x'), 103, "HART"}),
              Ms(16 + 500 + 138 + 267 + 367));
    EXPECT_EQ(SequenceTiming{}.Timeout({"QQQ#QX#", 202, "System", Ms(50)}), Ms(50));
    EXPECT_EQ(SequenceTiming{}.Quiet({"QQQ#QX#", 202, "System", Ms(50)}), Ms(50));
    // Unset, the answer time is the protocol's: a MODBUS slave's is shorter;
    // set, it holds for every request.
    const SequenceStep read{std::string(8, 'x'), 302, "MODBUS read"};
    EXPECT_EQ(SequenceTiming{}.Quiet(read), Ms(9 + 100));
    SequenceTiming set;
    set.answerTime = Ms(40);
    EXPECT_EQ(set.Quiet(read), Ms(9 + 40));
    EXPECT_EQ(set.Quiet({"QQQ#QX#", 202, "System"}), Ms(8 + 40));
    // A serial device server's round trip comes on top, set or unset.
    SequenceTiming far = set;
    far.roundTrip = Ms(30);
    EXPECT_EQ(far.Quiet(read), Ms(9 + 40 + 30));
    far.answerTime.reset();
    EXPECT_EQ(far.Quiet(read), Ms(9 + 100 + 30));
}

// The inter-frame gap after a complete reply, and the silence after one of
// unknown shape, at the line's speed and character size.
TEST(SequenceTiming, TheGapIsThreeAndAHalfCharactersAndFixedAbove19200) {
    const struct {
        uint32_t baud;
        int bits;
        int gap;
    } cases[] = {
        {1200, 11, 33},  // 32.1 ms
        {9600, 10, 4},   // 3.65 ms
        {9600, 11, 5},   // 4.01 ms
        {19200, 11, 3},  // 2.01 ms
        {38400, 11, 2},  // 1.75 ms, rounded up
        {115200, 10, 2},
    };
    for (const auto& c : cases) {
        SequenceTiming t;
        t.baud = c.baud;
        t.bitsPerCharacter = c.bits;
        EXPECT_EQ(t.InterFrame(), Ms(c.gap)) << c.baud;
        EXPECT_EQ(t.Settle(), Ms(c.gap)) << c.baud;
        EXPECT_EQ(t.Silence(), Ms(20 + c.gap)) << c.baud;
    }
}

// However the last step ended, the next frame goes out neither before the
// reply has ended and t3.5 followed nor before its time has passed.
TEST(RequestSequence, TheNextFrameNeverGoesOverAReply) {
    const SequenceStep read{std::string("\x11\x03\x00\x00\x00\x01\x86\x9A", 8), 302, "slave 17",
                            Ms(70), Ms(59)};
    const std::string reply("\x11\x03\x02\x00\x00\x79\x87", 7);
    const struct {
        const char* name;
        std::vector<std::pair<int, std::string>> blocks;  // (ms, bytes) for step 0
        int nextAt;  // when step 1 is written, or the step ends
        bool written;
        int quietAt = 0;  // not written: when a new run's first frame may go
    } cases[] = {
        {"whole reply", {{30, reply}}, 34, true},
        {"reply in two blocks", {{30, reply.substr(0, 3)}, {45, reply.substr(3)}}, 49, true},
        // Begun by the quiet time, the reply has until its timeout.
        {"reply begun late", {{58, reply.substr(0, 2)}, {66, reply.substr(2)}}, 70, true},
        {"silent", {}, 59, false, 63},
        {"cut", {{30, reply.substr(0, 4)}}, 70, false, 74},
        // Wrong from its first byte (its address lost), the rest may follow at
        // the adapter's next tick: only a silence ends it.
        {"garbled", {{30, reply.substr(1, 4)}, {46, reply.substr(5)}}, 70, false, 70},
    };
    for (const auto& c : cases) {
        RequestSequence seq({read, read});
        seq.Start(Ms(0));
        for (const auto& [at, bytes] : c.blocks) seq.Received(Ms(at), bytes);
        const SequenceTime before = Ms(c.nextAt - 1);
        EXPECT_TRUE(seq.Tick(before).empty()) << c.name;
        const SequenceOutputs out = seq.Tick(Ms(c.nextAt));
        ASSERT_FALSE(out.empty()) << c.name;
        EXPECT_EQ(out.back().kind == Kind::Write, c.written) << c.name;
        if (c.written) continue;
        // The run may ask again: its first frame waits for the line's quiet time.
        std::string received;
        for (const auto& block : c.blocks) received += block.second;
        LineHistory line{read, Ms(0), received,
                         c.blocks.empty() ? std::nullopt : std::optional(Ms(c.blocks.back().first))};
        EXPECT_EQ(LineQuietAt(line, SequenceTiming{}), Ms(c.quietAt)) << c.name;
    }
}

TEST(RequestSequence, CancelEmptyAndRestart) {
    RequestSequence seq = QueryThenSet();
    EXPECT_TRUE(seq.Cancel().empty()) << "nothing to cancel before Start";
    seq.Start(Ms(0));
    EXPECT_EQ(seq.Cancel(), (SequenceOutputs{{Kind::Cancelled, 0, ""}}));
    EXPECT_TRUE(seq.Tick(Ms(5000)).empty());
    EXPECT_TRUE(seq.Start(Ms(5000)).empty()) << "a sequence runs once";

    RequestSequence none({});
    EXPECT_EQ(none.Start(Ms(0)), (SequenceOutputs{{Kind::Finished, 0, ""}}));
}

// A scan's candidate: silence ends it at its quiet timeout, a reply that has
// begun by then still has until the step's timeout to finish.
TEST(RequestSequence, AQuietTimeoutCutsOnlyASilentStep) {
    const SequenceStep step{"QQQ#QV#", 201, "9600 None", Ms(300), Ms(40)};
    RequestSequence silent({step});
    silent.Start(Ms(0));
    EXPECT_EQ(silent.NextDeadline(), Ms(40));
    EXPECT_EQ(silent.Tick(Ms(40)), (SequenceOutputs{{Kind::TimedOut, 0, "Connection Timeout!"}}));

    RequestSequence begun({step});
    begun.Start(Ms(0));
    begun.Received(Ms(30), "QV:TAVRIX");
    EXPECT_EQ(begun.NextDeadline(), Ms(300));
    begun.Received(Ms(90), " V2.0#");
    EXPECT_EQ(begun.Tick(Ms(110)),
              (SequenceOutputs{{Kind::Reply, 0, "QV:TAVRIX V2.0#"}, {Kind::Finished, 1, ""}}));
}

// When a sequence's first frame may go: after the last request's reply has
// ended by its frame and t3.5 (4 ms at 9600 baud) has followed, after a
// reply of unknown shape and a silence (24 ms), or t3.5 after that reply can
// no longer come.
TEST(RequestSequence, TheFirstFrameWaitsUntilTheLastReplyHasEnded) {
    const SequenceStep query{"QQQ#QX#", 202, "System"};  // quiet at 508 ms, times out at 775
    const SequenceStep typed{std::string("\xFF\xFF\x02\x80\x00\x00\x82", 7), 104, "Typed"};
    const int typedTimeout = static_cast<int>(SequenceTiming{}.Timeout(typed).count());
    const struct {
        const char* name;
        SequenceStep last;
        std::string received;
        std::optional<int> lastBlock;
        int quietAt;
    } cases[] = {
        {"nothing sent yet", {}, "", std::nullopt, 0},
        {"a frame awaiting nothing", {"QQQ#ZF#", 0, ""}, "", 150, 174},
        {"a frame awaiting nothing, still going out", {"QQQ#ZF#", 0, ""}, "", std::nullopt, 12},
        {"no reply yet", query, "", std::nullopt, 512},
        {"reply complete", query, kSystemReply, 300, 304},
        {"reply cut, the rest may come", query, kSystemReply.substr(0, 10), 300, 779},
        {"reply cut past its time", query, kSystemReply.substr(0, 10), 900, 924},
        {"refusal", {"QQS#MD:1#", 200, ""}, "QQS#MD:ERR#", 300, 324},
        {"typed HART frame, reply cut", typed, std::string("\xFF\xFF\x06\x80\x00", 5), 300,
         typedTimeout + 4},
        {"a typed frame that is no HART frame", {"hello", 104, ""}, "hi", 300, 324},
        {"a silent scan candidate", {"QQQ#QV#", 201, "", Ms(300), Ms(40)}, "", std::nullopt, 44},
        {"a scan candidate's reply begun", {"QQQ#QV#", 201, "", Ms(300), Ms(40)}, "QV:TAV", 38,
         304},
    };
    for (const auto& c : cases) {
        LineHistory line{c.last, Ms(0), c.received,
                         c.lastBlock ? std::optional(Ms(*c.lastBlock)) : std::nullopt};
        EXPECT_EQ(LineQuietAt(line, SequenceTiming{}), Ms(c.quietAt)) << c.name;
    }

    // Until then the first frame waits; a block meanwhile is no one's and
    // puts the frame a silence after it; the first step's timeout bounds it.
    RequestSequence seq = QueryThenSet();
    EXPECT_TRUE(seq.Start(Ms(0), Ms(300)).empty());
    EXPECT_TRUE(seq.Received(Ms(290), "MD:1#").empty());
    EXPECT_TRUE(seq.Tick(Ms(313)).empty());
    EXPECT_EQ(seq.Tick(Ms(314)), (SequenceOutputs{{Kind::Write, 0, "QQQ#QX#"}}));
    EXPECT_FALSE(seq.received());
    RequestSequence bounded = QueryThenSet();
    bounded.Start(Ms(0), Ms(5000));
    EXPECT_EQ(bounded.NextDeadline(), Ms(775));
    RequestSequence cancelled = QueryThenSet();
    cancelled.Start(Ms(0), Ms(300));
    EXPECT_EQ(cancelled.Cancel(), (SequenceOutputs{{Kind::Cancelled, 0, ""}}));
}
