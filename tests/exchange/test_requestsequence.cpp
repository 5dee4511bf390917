#include <gtest/gtest.h>

#include "exchange/requestsequence.h"

using Kind = SequenceOutput::Kind;
using Ms = SequenceTime;

namespace {

// A query (decoded after the window's wait and reply timer) and a set command
// (acknowledged text).
RequestSequence QueryThenSet() {
    return RequestSequence(
        {{"QQQ#QX#", 202, "System parameters"}, {"QQS#MD:1#", 200, "Operation mode"}});
}

}  // namespace

TEST(RequestSequence, RunsStepsWithTheWindowsReplyTiming) {
    RequestSequence seq = QueryThenSet();
    EXPECT_EQ(seq.Start(Ms(0)), (SequenceOutputs{{Kind::Write, 0, "QQQ#QX#"}}));
    EXPECT_TRUE(seq.Received(Ms(500), "QX#BA2:30").empty());
    // A second block inside the reply wait replaces the first and waits again.
    EXPECT_TRUE(seq.Tick(Ms(900)).empty());
    EXPECT_TRUE(seq.Received(Ms(900), "QX#BA2:31").empty());
    EXPECT_TRUE(seq.Tick(Ms(1399)).empty());
    EXPECT_EQ(seq.NextDeadline(), Ms(1400));
    EXPECT_EQ(seq.Tick(Ms(1400)),
              (SequenceOutputs{{Kind::Reply, 0, "QX#BA2:31"}, {Kind::Write, 1, "QQS#MD:1#"}}));
    // Acknowledgements complete after the window's 200 ms wait alone.
    seq.Received(Ms(1500), "QQS#MD:OK#");
    EXPECT_EQ(seq.Tick(Ms(1700)),
              (SequenceOutputs{{Kind::Reply, 1, "QQS#MD:OK#"}, {Kind::Finished, 2, ""}}));
    EXPECT_EQ(seq.state(), RequestSequence::State::Finished);
    EXPECT_EQ(seq.replies(), (std::vector<std::string>{"QX#BA2:31", "QQS#MD:OK#"}));
    EXPECT_FALSE(seq.NextDeadline());
}

TEST(RequestSequence, StopsAtTheFirstStepWithoutReply) {
    RequestSequence seq = QueryThenSet();
    seq.Start(Ms(0));
    seq.Received(Ms(100), "QX#");
    seq.Tick(Ms(600));  // step 1 written at 600
    EXPECT_TRUE(seq.Tick(Ms(3599)).empty());
    EXPECT_EQ(seq.Tick(Ms(3600)),
              (SequenceOutputs{{Kind::TimedOut, 1, "Parameter Setting Timeout!"}}));
    EXPECT_EQ(seq.state(), RequestSequence::State::TimedOut);
    EXPECT_EQ(seq.current(), 1u);
    // A late block belongs to nobody and changes nothing.
    EXPECT_TRUE(seq.Received(Ms(3700), "QQS#MD:OK#").empty());
    EXPECT_EQ(seq.replies().size(), 1u);
    EXPECT_FALSE(seq.NextDeadline());
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
