// The writer, and what must hold when the component goes away with work pending.
#include <memory>
#include <thread>

#include "commfixture.h"

namespace {

using Clock = std::chrono::steady_clock;

// Output stopped (as by a received XOFF) holds the first write in the driver,
// so both requests are queued behind it for certain.
TEST_F(TCommOnPty, WritesKeepTheirOrderAndReportOneEmptyQueueAfterThem) {
    OpenAndSettle();
    ASSERT_EQ(tcflow(pty.SlaveFd(), TCOOFF), 0);
    std::string first = "first;";
    ASSERT_TRUE(comm.WriteData(first.data(), first.size()));
    first = "XXXXXX";  // the request holds its own copy
    ASSERT_TRUE(comm.WriteData("second", 6));
    PumpFor(Ms(200));
    EXPECT_EQ(log.Count(TKind::TxEmpty), 1u);

    ASSERT_EQ(tcflow(pty.SlaveFd(), TCOON), 0);
    EXPECT_EQ(pty.Receive(12, Ms(5000)), Bytes("first;second"));
    ASSERT_TRUE(PumpUntil([&] { return log.Count(TKind::TxEmpty) == 2; }, Ms(5000)));
    PumpFor(Ms(300));
    EXPECT_EQ(log.Count(TKind::TxEmpty), 2u);
}

// Blocks queued behind a stalled write leave together, more than one write's
// worth of them: every byte arrives, in order.
TEST_F(TCommOnPty, ManyQueuedBlocksArriveWholeAndInOrder) {
    OpenAndSettle();
    ASSERT_EQ(tcflow(pty.SlaveFd(), TCOOFF), 0);
    std::vector<uint8_t> all;
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> block(1 + (i * 37) % 600, static_cast<uint8_t>(i));
        ASSERT_TRUE(comm.WriteData(block.data(), static_cast<uint16_t>(block.size())));
        all.insert(all.end(), block.begin(), block.end());
    }
    ASSERT_EQ(tcflow(pty.SlaveFd(), TCOON), 0);
    EXPECT_EQ(pty.Receive(all.size(), Ms(10000)), all);
    ASSERT_TRUE(PumpUntil([&] { return log.Count(TKind::TxEmpty) >= 2; }, Ms(5000)));
}

TEST_F(TCommOnPty, ABlockLargerThanTheDriverQueueIsWrittenCompletely) {
    OpenAndSettle();
    std::vector<uint8_t> big(65535);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i ^ (i >> 8));
    ASSERT_TRUE(comm.WriteData(big.data(), static_cast<uint16_t>(big.size())));
    ASSERT_TRUE(comm.WriteData("!", 1));
    big.push_back('!');
    EXPECT_EQ(pty.Receive(big.size(), Ms(10000)), big);
    ASSERT_TRUE(PumpUntil([&] { return log.Count(TKind::TxEmpty) >= 2; }, Ms(5000)));
    EXPECT_EQ(log.Count(TKind::Hangup), 0u);
}

TEST_F(TCommOnPty, AStalledWriteDoesNotHoldUpClosing) {
    OpenAndSettle();
    ASSERT_EQ(tcflow(pty.SlaveFd(), TCOOFF), 0);
    const std::vector<uint8_t> data(4000, 'w');
    ASSERT_TRUE(comm.WriteData(data.data(), static_cast<uint16_t>(data.size())));
    ASSERT_TRUE(comm.WriteData("queued", 6));
    PumpFor(Ms(100));
    const auto start = Clock::now();
    comm.ClosePort();
    EXPECT_LT(Clock::now() - start, Ms(1000));
    PumpFor(Ms(200));
    EXPECT_EQ(log.Count(TKind::Hangup), 0u);
    tcflow(pty.SlaveFd(), TCOON);
}

TEST(TCommLifetime, DestroyingAnOpenComponentStopsItsThreads) {
    TestApp();
    TPtyPair pty;
    {
        TComm comm;
        comm.CommName = pty.SlavePath();
        comm.OpenPort();
        comm.WriteData("bye", 3);
        pty.Send("hello");
    }
    TComm again;  // the port was closed and its lock released
    again.CommName = pty.SlavePath();
    EXPECT_EQ(OpenFailure(again), "");
}

// Notifications posted but not yet delivered when the port is closed are
// still raised; when the component is destroyed they are dropped with it
// (their blocks freed), never raised on a dead object.
TEST(TCommLifetime, NotificationsPendingAtCloseAreRaisedAndAtDestructionDropped) {
    TestApp();
    for (const bool destroy : {false, true}) {
        TPtyPair pty;
        size_t raised = 0;
        auto comm = std::make_unique<TComm>();
        comm->CommName = pty.SlavePath();
        comm->SetOutx_XonXoffFlow(false);
        comm->SetInx_XonXoffFlow(false);
        comm->SetReadIntervalTimeout(10);
        comm->OnReceiveData = [&](TComm*, const uint8_t*, uint16_t) { ++raised; };
        comm->OpenPort();
        pty.Send("unseen");
        ASSERT_TRUE(pty.WaitInputTaken(std::chrono::milliseconds(5000)));
        std::this_thread::sleep_for(
            std::chrono::milliseconds(200));  // the block is posted meanwhile
        if (destroy) {
            comm.reset();
        } else {
            comm->ClosePort();
        }
        PumpFor(std::chrono::milliseconds(200));
        EXPECT_EQ(raised, destroy ? 0u : 1u) << (destroy ? "destroyed" : "closed");
    }
}

}  // namespace
