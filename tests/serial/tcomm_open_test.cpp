// Opening, closing, exclusivity and property changes of TComm.
#include <sys/file.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "commfixture.h"

// The speed read from the device's end with TCGETS2 (otherendspeed.cpp: it
// cannot share a file with <termios.h>).
uint32_t OtherEndSpeed(int masterFd);

namespace {

TEST_F(TCommOnPty, OpeningTwiceFailsAndKeepsTheFirstOpening) {
    OpenAndSettle();
    EXPECT_EQ(OpenFailure(comm), "This serial port already opened");
    EXPECT_TRUE(comm.IsOpen());

    pty.Send("ping");
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("ping"));
}

TEST(TCommOpen, RefusesWhatIsNotAnOpenableTerminal) {
    TestApp();
    const std::string file =
        (std::filesystem::temp_directory_path() / ("tavrix-serial-" + std::to_string(getpid())))
            .string();
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    const struct {
        std::string name;
        const char* message;
    } rows[] = {
        {"", "Error opening serial port"},
        {"NoSuchPort", "Error opening serial port"},
        {"COM10", "Error opening serial port"},
        {"/dev/tavrix-no-such-device", "Error opening serial port"},
        {"/", "Error opening serial port"},  // a directory cannot be opened read-write
        {"/dev/null", "File handle is not a comm handle "},
        {file, "File handle is not a comm handle "},
    };
    TPtyPair pty;
    for (const auto& r : rows) {
        TComm comm;
        comm.CommName = r.name;
        EXPECT_EQ(OpenFailure(comm), r.message) << r.name;
        EXPECT_FALSE(comm.IsOpen()) << r.name;
        EXPECT_FALSE(comm.WriteData("x", 1)) << r.name;

        comm.CommName = pty.SlavePath();
        EXPECT_EQ(OpenFailure(comm), "") << "after " << r.name;
        comm.ClosePort();
    }
    std::filesystem::remove(file);
}

// 0: the child could not get the port; 1: it could.
int OtherProcessGetsPort(const std::string& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) _exit(errno == EBUSY ? 0 : 2);
        _exit(flock(fd, LOCK_EX | LOCK_NB) == 0 ? 1 : errno == EWOULDBLOCK ? 0 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(TCommOnPty, OpeningIsExclusiveUntilClosed) {
    OpenAndSettle();
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);

    TComm second;
    second.CommName = pty.SlavePath();
    EXPECT_EQ(OpenFailure(second), "Error opening serial port");
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(OtherProcessGetsPort(pty.SlavePath()), 0);

    pty.Send("still mine");  // the first opening is untouched
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("still mine"));

    comm.ClosePort();
    ASSERT_EQ(ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(OtherProcessGetsPort(pty.SlavePath()), 1);
    EXPECT_EQ(OpenFailure(second), "");
    second.ClosePort();
    EXPECT_EQ(OpenFailure(comm), "");  // and the first can open again
}

TEST_F(TCommOnPty, ClosingAClosedPortDoesNothing) {
    comm.ClosePort();
    EXPECT_FALSE(comm.IsOpen());
    OpenAndSettle();
    comm.ClosePort();
    comm.ClosePort();
    EXPECT_FALSE(comm.IsOpen());
    PumpFor(Ms(100));
    EXPECT_EQ(log.Count(TKind::Hangup), 0u);
}

TEST_F(TCommOnPty, WriteDataRefusesNothingToSendAndAClosedPort) {
    EXPECT_FALSE(comm.WriteData("abc", 3));  // not open yet
    OpenAndSettle();
    EXPECT_FALSE(comm.WriteData("abc", 0));
    EXPECT_FALSE(comm.WriteData(nullptr, 3));
    comm.ClosePort();
    EXPECT_FALSE(comm.WriteData("abc", 3));
    EXPECT_TRUE(pty.Receive(1, Ms(200)).empty());
}

TEST_F(TCommOnPty, OpeningGivesARawLineEvenWhenTheDriverRefusesParity) {
    comm.Parity = TParity::Even;  // a pseudo-terminal has no parity
    OpenAndSettle();
    const termios t = pty.SlaveSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB), CS8);
    EXPECT_EQ(t.c_cc[VMIN], 1);

    pty.Send("\r\n\x03");  // passes as bytes: no line editing, no signals
    ASSERT_TRUE(PumpUntil([&] { return log.Blocks().size() == 1; }, Ms(5000)));
    EXPECT_EQ(log.Blocks()[0].bytes, Bytes("\r\n\x03"));
}

TEST_F(TCommOnPty, SettersReapplyChangedValuesToAnOpenPort) {
    OpenAndSettle();
    comm.SetBaudRate(19200);
    EXPECT_EQ(pty.SlaveSpeed(), B19200);

    // Someone else changes the speed; storing the same value must not touch the port.
    termios t = pty.SlaveSettings();
    cfsetspeed(&t, B1200);
    ASSERT_EQ(tcsetattr(pty.SlaveFd(), TCSANOW, &t), 0);
    comm.SetBaudRate(19200);
    EXPECT_EQ(pty.SlaveSpeed(), B1200);

    comm.SetBaudRate(38400);
    EXPECT_EQ(pty.SlaveSpeed(), B38400);

    comm.Parity = TParity::Odd;  // a plain store: nothing happens until the next open
    EXPECT_EQ(pty.SlaveSettings().c_cflag & PARENB, 0u);
    EXPECT_EQ(pty.SlaveSpeed(), B38400);
}

// Any rate is the rate on the line, read back from the device's end; one the
// driver does not take fails the opening instead of keeping the old speed.
TEST_F(TCommOnPty, OpensAtExactlyTheRateAsked) {
    const struct {
        uint32_t baud;
        const char* failure;
    } rows[] = {
        {14400, ""}, {56000, ""}, {250000, ""}, {9600, ""}, {0, "Error opening serial port"},
    };
    for (const auto& r : rows) {
        comm.SetBaudRate(r.baud);
        EXPECT_EQ(OpenFailure(comm), r.failure) << r.baud;
        if (comm.IsOpen()) {
            EXPECT_EQ(OtherEndSpeed(pty.MasterFd()), r.baud) << r.baud;
        }
        comm.ClosePort();
    }
}

TEST_F(TCommOnPty, ARefusedSettingLeavesThePreviousOnes) {
    OpenAndSettle();
    const termios before = pty.SlaveSettings();
    comm.SetByteSize(TByteSize::_7);    // refused by a pseudo-terminal
    comm.SetStopBits(TStopBits::_1_5);  // not available on Linux
    const termios after = pty.SlaveSettings();
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(comm.ByteSize(), TByteSize::_7);  // stored all the same

    comm.SetByteSize(TByteSize::_8);
    comm.SetBaudRate(1200);  // the next acceptable change goes through
    EXPECT_EQ(pty.SlaveSpeed(), B1200);
}

}  // namespace
