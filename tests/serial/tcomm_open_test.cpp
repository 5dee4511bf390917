// Opening, closing, exclusivity and property changes of TComm.
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "commfixture.h"
#include "serial/portholders.h"

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

// A driver without RS-485 mode (a pseudo-terminal has none) fails the
// opening with the ioctl's error; the port is left closed and free, and opens
// once the option is off.
TEST(TCommOpen, Rs485RefusedByTheDriverFailsTheOpeningWithItsError) {
    TestApp();
    TPtyPair pty;
    TComm comm;
    comm.CommName = pty.SlavePath();
    comm.Rs485 = {true, 2, 3};
    const auto failure = OpenFailureOf(comm);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, TOpenStep::Rs485);
    EXPECT_EQ(failure->error, ENOTTY);
    EXPECT_EQ(OpenFailure(comm), "Error opening serial port");
    const std::string summary = OpenFailureSummary(*failure);
    EXPECT_EQ(summary.rfind(pty.SlavePath() + ": the driver refused RS-485 mode (TIOCSRS485: " +
                                "Inappropriate ioctl for device)",
                            0),
              0u)
        << summary;
    EXPECT_NE(summary.find("Turn the port's RS-485 option off"), std::string::npos);
    EXPECT_FALSE(comm.IsOpen());
    int exclusive = -1;
    ASSERT_EQ(ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "the failed opening left the tty locked";

    comm.Rs485.enabled = false;
    EXPECT_EQ(OpenFailure(comm), "");
    comm.ClosePort();
}

TEST(TCommOpen, RefusesWhatIsNotAnOpenableTerminal) {
    TestApp();
    const std::string file =
        (std::filesystem::temp_directory_path() / ("tavrix-serial-" + std::to_string(getpid())))
            .string();
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);

    // The message, and why: the failing step, the system's error and the kind of file.
    const struct {
        std::string name;
        std::string message;
        TOpenStep step;
        int error;
        TFileKind kind;
    } rows[] = {
        {"", "Error opening serial port", TOpenStep::Name, 0, TFileKind::Unknown},
        {"NoSuchPort", "Error opening serial port", TOpenStep::Name, 0, TFileKind::Unknown},
        {"COM10", "Error opening serial port", TOpenStep::Name, 0, TFileKind::Unknown},
        {"/dev/tavrix-no-such-device", "Error opening serial port", TOpenStep::Open, ENOENT,
         TFileKind::Missing},
        // A directory cannot be opened read-write.
        {"/", "Error opening serial port", TOpenStep::Open, EISDIR, TFileKind::Directory},
        // What opened but is no terminal is named for what it is.
        {"/dev/null", "/dev/null is a device, but not a serial port.", TOpenStep::NotTerminal,
         ENOTTY, TFileKind::CharDevice},
        {file, file + " is a regular file, not a serial port.", TOpenStep::NotTerminal, ENOTTY,
         TFileKind::Regular},
    };
    TPtyPair pty;
    for (const auto& r : rows) {
        TComm comm;
        comm.CommName = r.name;
        const auto failure = OpenFailureOf(comm);
        ASSERT_TRUE(failure) << r.name;
        EXPECT_EQ(failure->step, r.step) << r.name;
        EXPECT_EQ(failure->error, r.error) << r.name;
        EXPECT_EQ(failure->kind, r.kind) << r.name;
        EXPECT_EQ(OpenFailure(comm), r.message) << r.name;
        EXPECT_FALSE(comm.IsOpen()) << r.name;
        EXPECT_FALSE(comm.WriteData("x", 1)) << r.name;

        comm.CommName = pty.SlavePath();
        EXPECT_EQ(OpenFailure(comm), "") << "after " << r.name;
        comm.ClosePort();
    }
    std::filesystem::remove(file);
}

// Another process holding the device (through the descriptors it inherits) until ended.
pid_t HoldInChild() {
    const pid_t pid = fork();
    if (pid == 0)
        for (;;) pause();
    return pid;
}

TEST_F(TCommOnPty, BusyNamesTheHoldersFoundInProc) {
    OpenAndSettle();
    TComm second;
    second.CommName = pty.SlavePath();
    const auto failure = OpenFailureOf(second);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->step, TOpenStep::Lock);
    const std::vector<TPortHolder> holders = FindPortHolders(pty.SlavePath());
    ASSERT_EQ(holders.size(), 1u);  // this process only: the failed opening is closed
    EXPECT_EQ(holders[0].pid, getpid());
    EXPECT_EQ(failure->holders, holders);

    const pid_t child = HoldInChild();
    ASSERT_GT(child, 0);
    std::vector<TPortHolder> both;
    ASSERT_TRUE(PumpUntil(
        [&] { return (both = FindPortHolders(pty.SlavePath())).size() == 2; }, Ms(5000)));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(std::any_of(both.begin(), both.end(), [&](const TPortHolder& h) {
        return h.pid == child && h.name == holders[0].name;
    }));
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
