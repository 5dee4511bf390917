// The reader: how received bytes are cut into blocks, and how it ends.
#include <thread>

#include "commfixture.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return v;
}

TEST_F(TCommOnPty, ABurstArrivesAsOneBlockAfterTheIntervalOfSilence) {
    OpenAndSettle();
    const auto sent = Clock::now();
    pty.Send(Bytes("0123456789"));
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    const auto waited = log.Blocks()[0].at - sent;
    EXPECT_GE(waited, Ms(400));
    EXPECT_LE(waited, Ms(900));
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("0123456789"));
    EXPECT_TRUE(log.terminatedAfterData);
}

TEST_F(TCommOnPty, PausesShorterThanTheIntervalKeepOneBlock) {
    OpenAndSettle();
    for (const char* part : {"abcde", "fghij", "klmno"}) {
        pty.Send(part);
        std::this_thread::sleep_for(Ms(100));
    }
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    PumpFor(Ms(600));
    ASSERT_EQ(log.Blocks().size(), 1u);
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("abcdefghijklmno"));
}

TEST_F(TCommOnPty, APauseLongerThanTheIntervalSplitsTheReply) {
    OpenAndSettle();
    pty.Send("first");
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    pty.Send("second");
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 2; }, Ms(5000)));
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("first"));
    EXPECT_EQ(log.Blocks()[1].bytes, Bytes("second"));
}

TEST_F(TCommOnPty, ALongBurstIsCutAtTheReadBlockSize) {
    OpenAndSettle();
    const auto sent = Pattern(3000);
    pty.Send(sent);
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 2; }, Ms(5000)));
    const auto blocks = log.Blocks();
    EXPECT_EQ(blocks[0].bytes.size(), 2048u);
    EXPECT_EQ(blocks[1].bytes.size(), 952u);
    auto joined = blocks[0].bytes;
    joined.insert(joined.end(), blocks[1].bytes.begin(), blocks[1].bytes.end());
    EXPECT_EQ(joined, sent);
    EXPECT_TRUE(log.terminatedAfterData);
}

TEST_F(TCommOnPty, TimeoutChangesReachARunningReader) {
    OpenAndSettle();
    comm.SetReadIntervalTimeout(50);
    const auto sent = Clock::now();
    pty.Send("quick");
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    EXPECT_GE(log.Blocks()[0].at - sent, Ms(50));
    EXPECT_LT(log.Blocks()[0].at - sent, Ms(350));
}

TEST_F(TCommOnPty, ATotalTimeoutCompletesABlockAndNeverPostsAnEmptyOne) {
    comm.SetReadIntervalTimeout(20000);
    comm.SetReadTotalTimeoutConstant(300);
    OpenAndSettle();
    PumpFor(Ms(1000));  // several total timeouts pass with nothing received
    EXPECT_TRUE(log.Blocks().empty());

    const auto sent = Clock::now();
    pty.Send("slow reply");
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    EXPECT_LT(log.Blocks()[0].at - sent, Ms(2000));
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("slow reply"));
    EXPECT_EQ(log.Count(TKind::Hangup), 0u);
}

TEST_F(TCommOnPty, ClosingEndsAWaitingReaderWithoutHangup) {
    for (const char* partial : {"", "half a reply"}) {
        OpenAndSettle();
        if (*partial) {
            pty.Send(partial);
            ASSERT_TRUE(pty.WaitInputTaken(Ms(5000)));
        }
        const auto start = Clock::now();
        comm.ClosePort();
        EXPECT_LT(Clock::now() - start, Ms(1000)) << partial;
        EXPECT_FALSE(comm.IsOpen());
        PumpFor(Ms(300));
        EXPECT_EQ(log.Count(TKind::Hangup), 0u) << partial;
        log.entries.clear();
    }
}

TEST_F(TCommOnPty, APortClosedFromItsOwnReceiveHandlerClosesCleanly) {
    comm.OnReceiveData = [](TComm* sender, const uint8_t*, uint16_t) { sender->ClosePort(); };
    OpenAndSettle();
    pty.Send("bye");
    ASSERT_TRUE(PumpUntil([&] { return !comm.IsOpen(); }, Ms(5000)));
    EXPECT_EQ(OpenFailure(comm), "");
}

// The peer going away ends the reader with one hang-up after the bytes it had
// sent. The component stays open. On a pseudo-terminal the vanished peer also
// fails the writer: its next write reports a hang-up of its own and ends it,
// after which WriteData is refused.
TEST_F(TCommOnPty, ThePeerVanishingGivesOneHangupAfterItsLastBytes) {
    comm.SetReadIntervalTimeout(20000);  // the block is still open when the peer goes
    OpenAndSettle();
    pty.Send("last words");
    ASSERT_TRUE(pty.WaitInputTaken(Ms(5000)));
    pty.CloseMaster();

    ASSERT_TRUE(PumpUntil([&] { return log.Count(TKind::Hangup) == 1; }, Ms(5000)));
    PumpFor(Ms(500));
    EXPECT_EQ(log.Count(TKind::Hangup), 1u);
    ASSERT_EQ(log.Blocks().size(), 1u);
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("last words"));
    EXPECT_EQ(log.entries.back().kind, TKind::Hangup);
    EXPECT_TRUE(comm.IsOpen());

    EXPECT_TRUE(comm.WriteData("x", 1));  // the writer is still there
    ASSERT_TRUE(PumpUntil([&] { return log.Count(TKind::Hangup) == 2; }, Ms(5000)));
    EXPECT_FALSE(comm.WriteData("x", 1));  // and now it has ended
    EXPECT_TRUE(comm.IsOpen());

    comm.ClosePort();
    EXPECT_FALSE(comm.IsOpen());
}

}  // namespace
