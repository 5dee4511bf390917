// What the engineer is told when a port cannot be opened, for the causes the
// tests cannot bring about for real (they run as root), and the warning about
// a device another program holds.
#include "serial/openfailure.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "serial/portholders.h"

namespace {

TOpenFailure Failure(TOpenStep step, int error, const std::string& path = "/dev/ttyUSB0") {
    TOpenFailure f;
    f.step = step;
    f.error = error;
    f.path = path;
    return f;
}

TOpenFailure Net(TOpenStep step, int error, const std::string& said) {
    TOpenFailure f;
    f.step = step;
    f.error = error;
    f.path = "rfc2217://h:2000";
    f.said = said;
    return f;
}

TEST(OpenFailureDetail, SaysWhyAndWhatToDo) {
    auto dialout = Failure(TOpenStep::Open, EACCES);
    dialout.group = "dialout";
    auto rootOnly = Failure(TOpenStep::Open, EACCES);
    rootOnly.group = "root";
    auto missing = Failure(TOpenStep::Open, ENOENT);
    missing.present = {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "/dev/ttyS0"};
    auto busy = Failure(TOpenStep::Open, EBUSY);
    busy.holders = {{812, "ModemManager"}};
    auto regular = Failure(TOpenStep::NotTerminal, ENOTTY, "/tmp/x");
    regular.kind = TFileKind::Regular;
    auto speed = Failure(TOpenStep::Speed, 0);
    speed.baud = 14400;

    const struct {
        const char* what;
        TOpenFailure failure;
        std::vector<std::string> says;
    } cases[] = {
        {"group",
         dialout,
         {"/dev/ttyUSB0: Permission denied", "group \"dialout\"", "sudo usermod -aG dialout $USER",
          "log out and log in again"}},
        {"root's", rootOnly, {"Permission denied", "ls -l /dev/ttyUSB0"}},
        {"missing",
         missing,
         {"No such file or directory", "Is the adapter plugged in?",
          "Serial devices present:\n    /dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n    "
          "/dev/ttyS0"}},
        {"none present", Failure(TOpenStep::Open, ENODEV), {"No serial devices were found"}},
        {"gone", Failure(TOpenStep::Open, ENXIO), {"may have been unplugged"}},
        {"busy",
         busy,
         {"Device or resource busy", "ModemManager (process 812)", "Close that program"}},
        {"busy unnamed", Failure(TOpenStep::Lock, EWOULDBLOCK), {"Another program has it open."}},
        {"folder", Failure(TOpenStep::Open, EISDIR, "/dev"), {"/dev: Is a directory", "a folder"}},
        {"file", regular, {"/tmp/x: not a terminal", "a regular file", "Choose a serial device"}},
        {"other device", Failure(TOpenStep::NotTerminal, ENOTTY, "/dev/null"),
         {"/dev/null: not a terminal", "no device"}},
        {"name", Failure(TOpenStep::Name, 0, "ttyUSB0"), {"\"ttyUSB0\" is not a device path"}},
        {"i/o", Failure(TOpenStep::Open, EIO), {"Input/output error", "plug it back"}},
        {"no fd",
         Failure(TOpenStep::Open, EMFILE),
         {"Too many open files", "Close other programs"}},
        {"threads", Failure(TOpenStep::Resources, 0), {"no file descriptor or thread"}},
        {"speed", speed, {"/dev/ttyUSB0: the device does not run at 14400 baud"}},
        {"other", Failure(TOpenStep::Open, EROFS), {"/dev/ttyUSB0: Read-only file system"}},
        // A network port: its cause as said where it failed, and the fix for that step.
        {"refused", Net(TOpenStep::NetConnect, ECONNREFUSED, "h refused the connection."),
         {"h refused the connection.", "Nothing listens at that port"}},
        {"unreachable", Net(TOpenStep::NetConnect, EHOSTUNREACH, "cannot reach h."),
         {"cannot reach h.", "switched on and on the network"}},
        {"silent host", Net(TOpenStep::NetConnect, ETIMEDOUT, "no answer from h within 5 s."),
         {"no answer from h", "no firewall"}},
        {"unknown host", Net(TOpenStep::NetResolve, 0, "unknown host \"h\"."),
         {"unknown host", "give its IP address"}},
        {"server refused", Net(TOpenStep::NetServer, 0, "the server runs the line at 9600 baud."),
         {"9600 baud", "speaks RFC 2217"}},
        {"raw line", Net(TOpenStep::NetFixed, 0, "a raw TCP connection cannot change the line."),
         {"cannot change the line", "Change the serial device server's own settings"}},
    };
    for (const auto& c : cases) {
        const std::string detail = OpenFailureDetail(c.failure);
        for (const std::string& part : c.says)
            EXPECT_NE(detail.find(part), std::string::npos) << c.what << ": " << detail;
        // The cause and its fix are shown at once; the details add the devices present.
        const std::string summary = OpenFailureSummary(c.failure);
        EXPECT_EQ(detail.rfind(summary, 0), 0u) << c.what << ": " << summary;
        EXPECT_EQ(summary.find("devices present"), std::string::npos) << c.what;
        EXPECT_EQ(summary.find("devices were found"), std::string::npos) << c.what;
        EXPECT_NE(summary.find('\n'), std::string::npos) << c.what << ": no fix: " << summary;
    }
}

TEST(NotSerialPortText, NamesWhatWasOpenedInstead) {
    auto f = Failure(TOpenStep::NotTerminal, ENOTTY, "/tmp/x");
    f.kind = TFileKind::Regular;
    EXPECT_EQ(NotSerialPortText(f), "/tmp/x is a regular file, not a serial port.");
    f.kind = TFileKind::CharDevice;
    EXPECT_EQ(NotSerialPortText(f), "/tmp/x is a device, but not a serial port.");
}

TEST(SharedPortWarning, NamesOtherProgramsOnRealDevicesOnly) {
    const std::vector<TPortHolder> us{{100, "tavrix"}};
    const std::vector<TPortHolder> shared{{100, "tavrix"}, {812, "ModemManager"}};
    EXPECT_EQ(SharedPortWarning("/dev/ttyUSB0", {}, 100), "");
    EXPECT_EQ(SharedPortWarning("/dev/ttyUSB0", us, 100), "");
    // The program that made a pseudo-terminal holds it by design.
    EXPECT_EQ(SharedPortWarning("/dev/pts/7", shared, 100), "");
    const std::string warning = SharedPortWarning("/dev/ttyUSB0", shared, 100);
    EXPECT_NE(warning.find("/dev/ttyUSB0 is also open in ModemManager (process 812)"),
              std::string::npos)
        << warning;
    EXPECT_EQ(warning.find("tavrix"), std::string::npos) << warning;
}

}  // namespace
