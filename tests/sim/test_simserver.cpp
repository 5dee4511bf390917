// The simulator's line handling: requests framed by silence, replies delayed
// and optionally split.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"

namespace {

using Clock = std::chrono::steady_clock;

class Line {
public:
    explicit Line(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~Line() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void Send(const std::string& text) {
        ASSERT_EQ(write(fd_, text.data(), text.size()), ssize_t(text.size()));
    }
    // Reads what arrives until the line has been quiet for `gapMs`.
    std::string ReadBurst(int gapMs, int firstByteMs = 2000) {
        std::string got;
        int timeout = firstByteMs;
        for (;;) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, timeout) <= 0) return got;
            char buffer[512];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) return got;
            got.append(buffer, static_cast<size_t>(n));
            timeout = gapMs;
        }
    }

private:
    int fd_;
};

}  // namespace

TEST(SimServer, AnswersTheCommunicationQueryAfterItsDelay) {
    TavrixModule module;
    SimServer server(module, SimOptions{.replyDelayMs = 150});
    Line line(server.Open());
    ASSERT_TRUE(line.ok());
    server.Start();
    const auto sent = Clock::now();
    line.Send("QQQ#QV#");
    const std::string reply = line.ReadBurst(100);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    EXPECT_EQ(reply, "QV:" + module.settings().version + "#");
    EXPECT_GE(ms, 150);
    server.Stop();
}

TEST(SimServer, StaysSilentForUnknownRequests) {
    TavrixModule module;
    SimServer server(module, SimOptions{});
    Line line(server.Open());
    server.Start();
    line.Send("HELLO");
    EXPECT_EQ(line.ReadBurst(50, 300), "");
    EXPECT_EQ(server.requestsAnswered(), 0);
}

TEST(SimServer, SplitsAReplyWithAPause) {
    TavrixModule module;
    SimServer server(module, SimOptions{.splitAfter = 4, .splitPauseMs = 300});
    Line line(server.Open());
    server.Start();
    line.Send("QQQ#QV#");
    EXPECT_EQ(line.ReadBurst(150), "QV:" + module.settings().version.substr(0, 1));
    EXPECT_EQ(line.ReadBurst(150), module.settings().version.substr(1) + "#");
}

TEST(SimServer, KeepsServingAfterTheToolClosesAndReopens) {
    TavrixModule module;
    SimServer server(module, SimOptions{});
    const std::string path = server.Open();
    server.Start();
    for (int round = 0; round < 2; ++round) {
        Line line(path);
        line.Send("QQQ#QV#");
        EXPECT_FALSE(line.ReadBurst(80).empty()) << round;
    }
}

TEST(SimServer, ServesADevicePathAtTheChosenSpeed) {
    // A null-modem cable in miniature: the simulator takes one end of a
    // pseudo-terminal as its device, the test talks through the other.
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave);
    TavrixModule module;
    SimServer server(module, SimOptions{.device = name, .speed = B19200});
    EXPECT_EQ(server.Open(), name);
    server.Start();
    termios tio{};
    ASSERT_EQ(tcgetattr(master, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t{B19200});
    ASSERT_EQ(write(master, "QQQ#QV#", 7), 7);
    pollfd p{master, POLLIN, 0};
    ASSERT_GT(poll(&p, 1, 2000), 0);
    char reply[64] = {};
    EXPECT_GT(read(master, reply, sizeof reply), 0);
    EXPECT_EQ(std::string(reply).rfind("QV:", 0), 0u);
    server.Stop();
    close(master);
}
