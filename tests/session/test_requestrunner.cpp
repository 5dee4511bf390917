// The runner on a real serial component, with a test peer on a pseudo-terminal.
#include <gtest/gtest.h>

#include "serial/tcomm.h"
#include "session/link.h"
#include "session/requestrunner.h"
#include "tests/serial/eventpump.h"
#include "tests/serial/ptypair.h"

using Ms = std::chrono::milliseconds;

namespace {

// What the runner wrote, collected while its events are delivered.
std::string Written(TPtyPair& pty, size_t count) {
    std::string got;
    PumpUntil(
        [&] {
            for (uint8_t b : pty.Receive(count - got.size(), Ms(1))) got += static_cast<char>(b);
            return got.size() >= count;
        },
        Ms(5000));
    return got;
}

// The link's component set to the test peer's side, without flow control.
TComm& OnPty(Link& link, TPtyPair& pty) {
    TComm& comm = *link.Comm();
    comm.CommName = pty.SlavePath();
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    return comm;
}

}  // namespace

TEST(RequestRunner, RunsOnTheLineAndStopsAtTheSilentStep) {
    TestApp();
    TPtyPair pty;
    Link link;
    TComm& comm = OnPty(link, pty);
    comm.SetReadIntervalTimeout(400);
    comm.OpenPort();
    RequestRunner& runner = *link.Sequencer();
    std::vector<int> progress;
    int ends = 0;
    QObject::connect(&runner, &RequestRunner::replied,
                     [&](int step, const QByteArray&) { progress.push_back(step + 1); });
    QObject::connect(&runner, &RequestRunner::ended, [&] { ++ends; });

    ASSERT_TRUE(runner.Run({{"QQQ#QV#", 201, "Version"}, {"QQQ#QX#", 202, "System"}}));
    EXPECT_FALSE(runner.Run({})) << "one sequence at a time";
    // Blocks come as they arrive while the sequence runs: 4 ms at 9600 baud.
    EXPECT_EQ(comm.ReadIntervalTimeout(), 4u);
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    pty.Send("QV:TAVRIX V2#");
    // The second frame goes out only once the first reply is complete.
    EXPECT_EQ(Written(pty, 7), "QQQ#QX#");
    ASSERT_TRUE(PumpUntil([&] { return ends == 1; }, Ms(10000)));
    EXPECT_EQ(runner.sequence().state(), RequestSequence::State::TimedOut);
    EXPECT_EQ(runner.sequence().current(), 1u);
    EXPECT_EQ(runner.failure(), "Parameter Query Timeout!");
    EXPECT_EQ(runner.sequence().replies(), std::vector<std::string>{"QV:TAVRIX V2#"});
    EXPECT_EQ(progress, std::vector<int>{1});
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_EQ(comm.ReadIntervalTimeout(), 400u) << "the window's interval is back";
    comm.ClosePort();
}

// The window's reply arrives in two parts around a sequence's start: the
// sequence's frame waits for the tail, which is the window's, and its own
// reply is the one that follows its frame.
TEST(RequestRunner, AnEarlierReplyStillComingIsNotTheFirstStepsReply) {
    TestApp();
    TPtyPair pty;
    Link link;
    OnPty(link, pty).SetReadIntervalTimeout(20);
    link.Open();
    link.Request("QQQ#QX#", 202);
    EXPECT_EQ(Written(pty, 7), "QQQ#QX#");
    pty.Send("QX#BA2:31,");
    ASSERT_TRUE(PumpUntil([&] { return link.Current().bytesSince == 10; }, Ms(5000)));

    RequestRunner& runner = *link.Sequencer();
    int ends = 0;
    QObject::connect(&runner, &RequestRunner::ended, [&] { ++ends; });
    ASSERT_TRUE(runner.Run({{"QQQ#QV#", 201, "Version"}}));
    pty.Send("MD:1,ADR:007,JTM:050,XY1:3#");
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    pty.Send("QV:TAVRIX V2#");
    ASSERT_TRUE(PumpUntil([&] { return ends == 1; }, Ms(5000)));
    EXPECT_EQ(runner.sequence().state(), RequestSequence::State::Finished)
        << runner.failure().toStdString();
    EXPECT_EQ(runner.sequence().replies(), std::vector<std::string>{"QV:TAVRIX V2#"});
    link.Close();
}
