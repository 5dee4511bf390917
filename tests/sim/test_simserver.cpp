// The simulator's line handling: requests framed by their own bytes or by
// silence, replies delayed and optionally split, the module's RS485 speed and
// parity held against the other side's, and the line model between them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <optional>
#include <thread>
#include <tuple>

#include "modbus/request.h"

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "sim/uart.h"

namespace {

using Clock = std::chrono::steady_clock;

class Line {
public:
    explicit Line(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
    ~Line() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    // Sets the line as a configurator would: the speed, and parity odd,
    // even or none, 8 data bits.
    void Set(speed_t speed, Parity parity) {
        termios tio{};
        ASSERT_EQ(tcgetattr(fd_, &tio), 0);
        cfmakeraw(&tio);
        cfsetspeed(&tio, speed);
        tio.c_cflag &= ~(PARENB | PARODD);
        if (parity != Parity::None) tio.c_cflag |= PARENB;
        if (parity == Parity::Odd) tio.c_cflag |= PARODD;
        ASSERT_EQ(tcsetattr(fd_, TCSANOW, &tio), 0);
    }
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

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

}  // namespace

TEST(Uart, ResamplesWhatAReceiverAtOtherSettingsReads) {
    const Bytes qv = B("QV:TAVRIX HART-MODBUS V2.0 2025-02-23#");
    const struct {
        const char* what;
        Bytes sent;
        UartFrame sender, receiver;
        std::optional<Bytes> read;  // nullopt: only the count is checked
        size_t atLeast = 0, atMost = 0;
    } cases[] = {
        {"same framing", qv, {19200, Parity::None}, {19200, Parity::None}, qv},
        {"same framing with parity", qv, {1200, Parity::Even}, {1200, Parity::Even}, qv},
        // The parity bit falls on the stop bit's place and the next start
        // bit's edge puts the receiver right again.
        {"parity the receiver does not expect", qv, {9600, Parity::Odd}, {9600, Parity::None}, qv},
        {"nothing sent", {}, {19200, Parity::None}, {9600, Parity::None}, Bytes{}},
        // Every bit read twice: 0 | 10101010 | 1 as 00 11 00 11 ...; the
        // stop bit read low, so the next falling edge starts a second byte.
        {"9600 read at 19200",
         {0x55},
         {9600, Parity::None},
         {19200, Parity::None},
         Bytes{0x66, 0xE6}},
        // Every other bit read: the start bit and three data bits, then the
        // stop bit and the idle line.
        {"19200 read at 9600", {0x00}, {19200, Parity::None}, {9600, Parity::None}, Bytes{0xF8}},
        {"two bytes at 19200 are one at 9600",
         {0x00, 0x00},
         {19200, Parity::None},
         {9600, Parity::None},
         Bytes{0x08}},
        {"a reply at 19200 read at 9600",
         qv,
         {19200, Parity::Odd},
         {9600, Parity::Odd},
         std::nullopt,
         qv.size() / 4,
         qv.size() / 2 + 1},
        {"a reply at 9600 read at 19200",
         qv,
         {9600, Parity::None},
         {19200, Parity::None},
         std::nullopt,
         qv.size(),
         2 * qv.size()},
        // 'Q' = 0 | 10001010 | 1: each of its four low stretches is longer
        // than a whole frame at 38400, so each reads as a zero byte.
        {"1200 read at 38400",
         {'Q'},
         {1200, Parity::None},
         {38400, Parity::None},
         Bytes{0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const Bytes read = ResampleUart(c.sent, c.sender, c.receiver);
        if (c.read) {
            EXPECT_EQ(read, *c.read) << c.what;
        } else {
            EXPECT_NE(read, c.sent) << c.what;
            EXPECT_GE(read.size(), c.atLeast) << c.what;
            EXPECT_LE(read.size(), c.atMost) << c.what;
        }
    }
}

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

TEST(SimServer, AnswersOnlyAtTheModulesSpeedAndParity) {
    TavrixModule module;
    module.settings().rs485Baud = 4;    // 19200
    module.settings().rs485Parity = 1;  // odd
    SimOptions options;
    options.replyDelayMs = 0;
    options.rs485Line = true;
    SimServer server(module, options);
    Line line(server.Open());
    ASSERT_TRUE(line.ok());
    server.Start();
    const std::string version = "QV:" + module.settings().version + "#";
    const Bytes garbled = ResampleUart(B(version), {19200, Parity::Odd}, {9600, Parity::Odd});

    line.Set(B19200, Parity::Odd);
    line.Send("QQQ#QV#");
    EXPECT_EQ(line.ReadBurst(100), version);

    line.Set(B9600, Parity::Odd);
    line.Send("QQQ#QV#");
    EXPECT_EQ(line.ReadBurst(100), std::string(garbled.begin(), garbled.end()));

    // Even parity: the pseudo-terminal shows it as no parity, both unlike odd.
    for (const Parity parity : {Parity::Even, Parity::None}) {
        line.Set(B19200, parity);
        line.Send("QQQ#QV#");
        EXPECT_EQ(line.ReadBurst(50, 400), "") << static_cast<int>(parity);
    }
    EXPECT_EQ(server.requestsAnswered(), 2);

    // The acknowledgement goes out on the old settings, the next reply on the new.
    line.Set(B19200, Parity::Odd);
    line.Send("QQS#BA2:30#");
    EXPECT_EQ(line.ReadBurst(100), "QQS#BA2:OK#");
    line.Set(B9600, Parity::None);
    line.Send("QQQ#QV#");
    EXPECT_EQ(line.ReadBurst(100), version);
}

TEST(SimServer, SetsADeviceToTheModulesLineAndFollowsItsSettings) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave);
    TavrixModule module;
    module.settings().rs485Baud = 4;
    module.settings().rs485Parity = 1;
    SimServer server(module, SimOptions{.device = name, .replyDelayMs = 0, .rs485Line = true});
    server.Open();
    server.Start();
    // The master reads the device's settings; the pty driver drops PARENB, not PARODD.
    const auto line = [&] {
        termios tio{};
        EXPECT_EQ(tcgetattr(master, &tio), 0);
        return std::pair(cfgetospeed(&tio), (tio.c_cflag & PARODD) != 0);
    };
    EXPECT_EQ(line(), std::pair(speed_t{B19200}, true));
    const auto ask = [&](const std::string& request) {
        EXPECT_EQ(write(master, request.data(), request.size()), ssize_t(request.size()));
        std::string reply;
        pollfd p{master, POLLIN, 0};
        for (int timeout = 2000; poll(&p, 1, timeout) > 0; timeout = 100) {
            char buffer[256];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            reply.append(buffer, static_cast<size_t>(n));
        }
        return reply;
    };
    EXPECT_EQ(ask("QQS#BA2:50#"), "QQS#BA2:OK#");
    // Served after the line was set again: the settings have moved by then.
    EXPECT_EQ(ask("QQQ#QX#").substr(0, 10), "QX#BA2:50,");
    EXPECT_EQ(line(), std::pair(speed_t{B38400}, false));
    server.Stop();
    close(master);
}

namespace {

// Waits up to two seconds for `done`.
template <typename Done>
bool WaitFor(Done done) {
    for (const auto end = Clock::now() + std::chrono::seconds(2); Clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

}  // namespace

// The module answers as soon as a request's own bytes say it is complete; the
// request gap ends the rest.
TEST(SimServer, AnswersAtOnceWhereTheFrameSaysItEnds) {
    const ModbusRequest read = ReadHoldingRegistersRequest(1, 0, 2);
    const struct {
        std::string request;
        bool silenceFramingOnly;
        bool answersBeforeTheGap;
    } cases[] = {
        {"QQQ#QV#", false, true},
        {std::string(read.begin(), read.end()), false, true},
        {std::string("\xFF\xFF\xFF\xFF\xFF\x02\x80\x00\x00\x82", 10), false, true},
        {"QQQ#QV#", true, false},
    };
    for (const auto& c : cases) {
        TavrixModule module;
        SimServer server(module, SimOptions{.replyDelayMs = 0,
                                            .requestGapMs = 300,
                                            .silenceFramingOnly = c.silenceFramingOnly});
        Line line(server.Open());
        server.Start();
        const auto sent = Clock::now();
        line.Send(c.request);
        EXPECT_FALSE(line.ReadBurst(20).empty()) << c.silenceFramingOnly;
        EXPECT_EQ(Clock::now() - sent < std::chrono::milliseconds(300), c.answersBeforeTheGap)
            << c.silenceFramingOnly;
    }
}

TEST(SimServer, EchoesTheRequestBeforeTheReply) {
    TavrixModule module;
    SimServer server(module, SimOptions{.replyDelayMs = 0, .echo = true});
    Line line(server.Open());
    server.Start();
    line.Send("QQQ#QV#");
    EXPECT_EQ(line.ReadBurst(50), "QQQ#QV#QV:" + module.settings().version + "#");
}

// At 1200 baud the reply takes a third of a second on the line, long enough
// to send a byte into it.
TEST(SimServer, AByteSentDuringTheReplyCollidesWithIt) {
    TavrixModule module;
    module.settings().rs485Baud = 0;  // 1200
    SimServer server(module, SimOptions{.replyDelayMs = 0, .halfDuplex = true});
    Line line(server.Open());
    server.Start();
    line.Send("QQQ#QV#");
    std::string reply = line.ReadBurst(0);  // the first byte
    ASSERT_FALSE(reply.empty());
    line.Send("x");
    const std::string version = "QV:" + module.settings().version + "#";
    // A loaded machine may pause between bytes: read on until the reply's
    // length or a deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (reply.size() < version.size() && std::chrono::steady_clock::now() < deadline)
        reply += line.ReadBurst(100);
    ASSERT_EQ(reply.size(), version.size());
    EXPECT_NE(reply, version);
    EXPECT_EQ(reply.substr(0, 1), version.substr(0, 1));
    EXPECT_EQ(server.collisions(), 1);
    ASSERT_TRUE(WaitFor([&] { return server.requestsHeard() == 2; }));
    EXPECT_NE(server.RequestsHeard().back(), Bytes{'x'});  // the module heard it corrupted
}

// Noise at a rate of 100%, or seeded: the same seed, the same noise.
TEST(SimServer, LosesAndFlipsAsItsNoiseSays) {
    const std::string version = "QV:" + TavrixModule().settings().version + "#";
    const auto ask = [&](SimOptions options) {
        TavrixModule module;
        options.replyDelayMs = 0;
        SimServer server(module, options);
        Line line(server.Open());
        server.Start();
        line.Send("QQQ#QV#");
        // Every request byte lost: the module hears nothing to serve.
        const bool heardOne = options.loseRequests < 100;
        EXPECT_TRUE(WaitFor([&] {
            return heardOne ? server.requestsServed() == 1 : server.requestBytesLost() == 7;
        }));
        const std::string reply = line.ReadBurst(20, 20);  // written before it counts as served
        const Bytes heard = heardOne ? server.RequestsHeard().front() : Bytes{};
        return std::tuple(reply, std::string(heard.begin(), heard.end()), server.replyBytesLost(),
                          server.requestBytesLost(), server.repliesFlipped() + server.requestsFlipped());
    };
    const auto bitsApart = [](const std::string& a, const std::string& b) {
        int bits = a.size() == b.size() ? 0 : -1;
        for (size_t i = 0; bits >= 0 && i < a.size(); ++i) bits += std::popcount(uint8_t(a[i] ^ b[i]));
        return bits;
    };
    {
        const auto [reply, heard, lost, requestLost, flipped] = ask({.loseReplies = 100});
        EXPECT_EQ(reply, "");
        EXPECT_EQ(lost, int(version.size()));
    }
    {
        const auto [reply, heard, lost, requestLost, flipped] = ask({.loseRequests = 100});
        EXPECT_EQ(reply, "");
        EXPECT_EQ(requestLost, 7);
    }
    {
        const auto [reply, heard, lost, requestLost, flipped] = ask({.flipReplies = 100});
        EXPECT_EQ(bitsApart(reply, version), 1);
        EXPECT_EQ(flipped, 1);
    }
    {
        const auto [reply, heard, lost, requestLost, flipped] = ask({.flipRequests = 100});
        EXPECT_EQ(bitsApart(heard, "QQQ#QV#"), 1) << heard;
        EXPECT_EQ(reply, "");  // no request the module knows
    }
    const SimOptions seeded{.seed = 11, .loseReplies = 10};
    const auto first = ask(seeded);
    EXPECT_EQ(ask(seeded), first);
    EXPECT_GT(std::get<2>(first), 0);
}
