// The tavrix-sim program as an engineer starts it: the device path on its
// first line, options that shape the instrument, and the traffic trace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "modbus/request.h"

namespace {

// Runs tavrix-sim with `args`; its stderr goes to `errPath`.
class SimProgram {
public:
    SimProgram(const std::string& args, const std::string& errPath) {
        const std::string command =
            "exec " + std::string(TAVRIX_SIM_PATH) + " " + args + " 2>" + errPath;
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
    }
    ~SimProgram() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }
    // The first line of output, or "" once the program has ended.
    std::string FirstLine() {
        std::string line;
        char c;
        pollfd p{out_, POLLIN, 0};
        while (poll(&p, 1, 5000) > 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    int ExitCode() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Long enough for a reply with no delay to begin.
constexpr int kSilenceMs = 300;

std::string Exchange(const std::string& device, const std::string& request,
                     int firstByteMs = 2000) {
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return "";
    [[maybe_unused]] ssize_t n = write(fd, request.data(), request.size());
    std::string reply;
    pollfd p{fd, POLLIN, 0};
    for (int timeout = firstByteMs; poll(&p, 1, timeout) > 0; timeout = 100) {
        char buffer[256];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) break;
        reply.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return reply;
}

}  // namespace

TEST(SimProgram, PrintsItsDeviceAndTracesTheTraffic) {
    const std::string err = testing::TempDir() + "sim_trace.txt";
    SimProgram sim("--trace --delay 0", err);
    const std::string device = sim.FirstLine();
    ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
    EXPECT_EQ(Exchange(device, "QQQ#QV#").rfind("QV:", 0), 0u);
    EXPECT_EQ(Exchange(device, "nonsense"), "");
    const std::string trace = ReadFile(err);
    EXPECT_NE(trace.find("<- 51 51 51 23 51 56 23"), std::string::npos) << trace;
    EXPECT_NE(trace.find("-> 51 56 3A"), std::string::npos) << trace;
    EXPECT_NE(trace.find("(no answer)"), std::string::npos) << trace;
}

// The line's options reach the line, and the trace says what it did: at
// 9600 baud the reply takes some 40 ms, so the latency timer's 16 ms ticks
// cut it into chunks; the echo of the request comes first.
TEST(SimProgram, TracesWhatTheLineDid) {
    const std::string err = testing::TempDir() + "sim_line.txt";
    SimProgram sim("--trace --answer-time 0 --jitter 0 --latency 16 --echo --half-duplex "
                   "--lose-replies 100 --flip-requests 0.5 --seed 3",
                   err);
    const std::string device = sim.FirstLine();
    EXPECT_EQ(Exchange(device, "QQQ#QV#"), "QQQ#QV#");  // the echo, and every reply byte lost
    std::istringstream trace(ReadFile(err));
    int chunked = 0;
    bool lost = false;
    for (std::string line; std::getline(trace, line);) {
        lost = lost || line == "tavrix-sim: reply byte 1 lost";
        int bytes = 0, ms = -1;
        if (std::sscanf(line.c_str(), "tavrix-sim: latency timer: %d bytes at %d ms", &bytes, &ms) == 2) {
            chunked += bytes;
            EXPECT_EQ(ms % 16, 0) << line;
        }
    }
    EXPECT_EQ(chunked, 7);  // only the echo reached the tool
    EXPECT_TRUE(lost) << ReadFile(err);
    EXPECT_NE(ReadFile(err).find("tavrix-sim: echo of 7 bytes"), std::string::npos);
}

TEST(SimProgram, InstrumentOptionsShapeTheHartReplies) {
    const std::string err = testing::TempDir() + "sim_hart.txt";
    SimProgram sim("--hart-address 3 --hart-revision 7 --hart-preambles 7", err);
    const std::string device = sim.FirstLine();
    // Command 0 to polling address 3 from a primary master: 5 preambles, delimiter 02.
    const std::string query("\xFF\xFF\xFF\xFF\xFF\x02\x83\x00\x00\x81", 10);
    const std::string reply = Exchange(device, query);
    const size_t start = reply.find("\xFF\x06", 0, 2);
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(reply[start + 4]), 24);  // revision 7 byte count
    EXPECT_EQ(start, 6u);                                    // seven preambles sent
    EXPECT_EQ(static_cast<uint8_t>(reply[start + 10]), 7);   // and asked for
    EXPECT_EQ(static_cast<uint8_t>(reply[start + 19]), 7);   // and said sent
}

TEST(SimProgram, ModulesAtTheirSlaveAddressesAndTheRs485Settings) {
    // A MODBUS read of registers 40001-40002 at `address`.
    const auto read = [](int address) {
        const ModbusRequest r = ReadHoldingRegistersRequest(address, 0, 2);
        return std::string(r.begin(), r.end());
    };
    const struct {
        const char* args;
        const char* system;  // the system parameters' reply starts so
        std::vector<int> answering, silent;
    } cases[] = {
        {"--slave-addresses 3,17,200", "QX#BA2:30,MD:1,ADR:003,", {3, 17, 200}, {1, 4, 201}},
        {"--modules 3 --request-gap 4", "QX#BA2:30,MD:1,ADR:001,", {1, 2, 3}, {4}},
        {"--modules 2 --slave-addresses 9,8", "QX#BA2:30,MD:1,ADR:009,", {9, 8}, {1}},
        {"--rs485 38400:E", "QX#BA2:52,MD:1,ADR:001,", {1}, {2}},
        {"--rs485 1200:O", "QX#BA2:01,", {}, {}},  // at odd parity: not on this raw line
    };
    for (const auto& c : cases) {
        SimProgram sim(std::string(c.args) + " --delay 0", "/dev/null");
        const std::string device = sim.FirstLine();
        ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << c.args;
        const std::string system =
            Exchange(device, "QQQ#QX#", c.answering.empty() ? kSilenceMs : 2000);
        if (c.answering.empty()) {
            EXPECT_EQ(system, "") << c.args;
            continue;
        }
        EXPECT_EQ(system.substr(0, std::strlen(c.system)), c.system) << c.args;
        for (int a : c.answering) {
            const std::string reply = Exchange(device, read(a));
            ASSERT_EQ(reply.size(), 9u) << c.args << " at " << a;
            EXPECT_EQ(static_cast<uint8_t>(reply[6]), a) << c.args;  // 40002
        }
        for (int a : c.silent) {
            EXPECT_EQ(Exchange(device, read(a), kSilenceMs), "") << c.args << " at " << a;
        }
    }
}

// The adapter pulled out after a set command whose reply was lost, and
// plugged in again: a new device behind the same link, with the module as the
// lost reply's request left it.
TEST(SimProgram, HangsUpAndComesBackBehindTheSameLink) {
    const std::string err = testing::TempDir() + "sim_replug.txt";
    const std::string link = testing::TempDir() + "sim_replug_link";
    SimProgram sim("--delay 0 --drop-request 1 --hang-up-after 2 --replug-after 50 --link " + link,
                   err);
    const std::string first = sim.FirstLine();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(Exchange(link, "QQS#MD:4#", kSilenceMs), "");  // taken, its reply lost
    EXPECT_EQ(Exchange(link, "QQQ#QV#").rfind("QV:", 0), 0u);
    EXPECT_EQ(Exchange(link, "QQQ#QX#", kSilenceMs), "");  // the line hangs up
    const std::string second = sim.FirstLine();
    ASSERT_FALSE(second.empty());
    // The old device is gone; the new one may reuse its number.
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), second);
    EXPECT_NE(Exchange(link, "QQQ#QX#").find(",MD:4,"), std::string::npos);
    EXPECT_NE(ReadFile(err).find("hung up after 2 requests"), std::string::npos);
}

TEST(SimProgram, RefusesOptionsOutOfRange) {
    for (const char* args : {"--hart-revision 4",
                             "--hart-address 64",
                             "--hart-preambles 1",
                             "--hart-nan-variable 4",
                             "--delay x",
                             "--baud 14400",
                             "--bogus",
                             "--rs485 14400:N",
                             "--rs485 9600",
                             "--rs485 9600:X",
                             "--rs485 9600:NO",
                             "--rs485 :N",
                             "--rs485 9600:N --baud 9600",
                             "--request-gap 0",
                             "--latency -1",
                             "--lose-replies 101",
                             "--lose-requests x",
                             "--flip-replies -0.5",
                             "--flip-requests 1e",
                             "--jitter -1",
                             "--hang-up-after 0",
                             "--drop-request 0",
                             "--replug-after -1",
                             "--modules 0",
                             "--modules 9",
                             "--slave-addresses 0",
                             "--slave-addresses 248",
                             "--slave-addresses 3,3",
                             "--slave-addresses 3,,4",
                             "--slave-addresses 3,",
                             "--slave-addresses 1,2,3,4,5,6,7,8,9",
                             "--modules 2 --slave-addresses 3,17,200"}) {
        SimProgram sim(args, "/dev/null");
        EXPECT_EQ(sim.FirstLine(), "") << args;
        EXPECT_EQ(sim.ExitCode(), 2) << args;
    }
}

TEST(SimProgram, TheManualListsEveryOptionOfTheHelp) {
    const std::string help = testing::TempDir() + "sim_help.txt";
    ASSERT_EQ(std::system((std::string(TAVRIX_SIM_PATH) + " --help >" + help).c_str()), 0);
    std::string manual = ReadFile(std::string(TAVRIX_SOURCE_DIR) + "/man/tavrix-sim.1");
    for (size_t at; (at = manual.find("\\-")) != std::string::npos;) manual.replace(at, 2, "-");
    std::istringstream lines(ReadFile(help));
    int options = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  --", 0) != 0) continue;
        const std::string option = line.substr(2, line.find(' ', 2) - 2);
        ++options;
        EXPECT_TRUE(manual.find("\n.BI " + option + " ") != std::string::npos ||
                    manual.find("\n.B " + option + "\n") != std::string::npos)
            << option;
    }
    EXPECT_GT(options, 25);
}
