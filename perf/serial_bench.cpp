// Serial path figures: how long after a burst's last byte the component hands
// the block to the window, and how fast it writes, each beside the same work
// done by the simplest possible code on the same kind of pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "perf/benchutil.h"
#include "serial/ttyport.h"

namespace {

constexpr uint32_t kIntervalMs = 100;  // inter-byte silence that ends a block
constexpr size_t kBurst = 256;
constexpr size_t kThroughputBytes = 1 << 20;
constexpr size_t kBlock = 2048;

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
        path = name;
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
    }
    ~Pty() {
        close(master);
        close(slave);
    }
};

void WriteAll(int fd, const uint8_t* data, size_t n) {
    while (n > 0) {
        const ssize_t w = write(fd, data, n);
        if (w > 0) {
            data += w;
            n -= static_cast<size_t>(w);
        } else {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

// Latency of the component: burst written to the master, block raised on the
// main thread; the configured silence is subtracted.
std::vector<double> ComponentLatency(int runs) {
    Pty pty;
    TtyPort port;
    port.SetReadInterval(kIntervalMs);
    double received = 0;
    size_t got = 0;
    port.OnBlock = [&](const uint8_t*, uint16_t n) {
        got += n;
        received = bench::NowMs();
    };
    port.Open({.name = pty.path});
    const std::vector<uint8_t> burst(kBurst, 0x55);
    std::vector<double> out;
    for (int i = 0; i < runs; ++i) {
        got = 0;
        WriteAll(pty.master, burst.data(), burst.size());
        const double sent = bench::NowMs();
        while (got < kBurst) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        out.push_back(received - sent - kIntervalMs);
    }
    port.Close();
    return out;
}

// The floor: one thread, one poll() with the same silence, no hand-over.
std::vector<double> ReferenceLatency(int runs) {
    Pty pty;
    const std::vector<uint8_t> burst(kBurst, 0x55);
    std::vector<double> out;
    uint8_t buf[4096];
    for (int i = 0; i < runs; ++i) {
        WriteAll(pty.master, burst.data(), burst.size());
        const double sent = bench::NowMs();
        size_t got = 0;
        for (;;) {
            pollfd p{pty.slave, POLLIN, 0};
            if (poll(&p, 1, got ? static_cast<int>(kIntervalMs) : -1) == 0) break;
            const ssize_t n = read(pty.slave, buf, sizeof buf);
            if (n > 0) got += static_cast<size_t>(n);
        }
        out.push_back(bench::NowMs() - sent - kIntervalMs);
    }
    return out;
}

// Reads `total` bytes from the master; returns when the last one arrived.
double Drain(int master, size_t total) {
    std::vector<uint8_t> buf(65536);
    size_t got = 0;
    while (got < total) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) break;
        const ssize_t n = read(master, buf.data(), buf.size());
        if (n > 0) got += static_cast<size_t>(n);
    }
    return bench::NowMs();
}

double ComponentWriteMs() {
    Pty pty;
    TtyPort port;
    port.Open({.name = pty.path});
    std::atomic<double> done{0};
    std::thread peer([&] { done = Drain(pty.master, kThroughputBytes); });
    const std::vector<uint8_t> block(kBlock, 0xA5);
    const double start = bench::NowMs();
    for (size_t sent = 0; sent < kThroughputBytes; sent += kBlock) port.Write(block.data(), kBlock);
    peer.join();
    port.Close();
    return done - start;
}

double ReferenceWriteMs() {
    Pty pty;
    std::atomic<double> done{0};
    std::thread peer([&] { done = Drain(pty.master, kThroughputBytes); });
    const std::vector<uint8_t> block(kBlock, 0xA5);
    const double start = bench::NowMs();
    for (size_t sent = 0; sent < kThroughputBytes; sent += kBlock) WriteAll(pty.slave, block.data(), kBlock);
    peer.join();
    return done - start;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = bench::Quick(argc, argv);
    const int runs = quick ? 3 : 30;

    bench::PrintStats("block_latency.tavrix", ComponentLatency(runs), "ms");
    bench::PrintStats("block_latency.reference", ReferenceLatency(runs), "ms");

    std::vector<double> ours, ref;
    for (int i = 0; i < (quick ? 1 : 31); ++i) {  // a run is a few ms: many, for a steady median
        ours.push_back(ComponentWriteMs());
        ref.push_back(ReferenceWriteMs());
    }
    bench::Print("write_1MB.tavrix.median", bench::Median(ours), "ms");
    bench::Print("write_1MB.reference.median", bench::Median(ref), "ms");
    bench::Print("write_1MB.ratio", bench::Median(ref) / bench::Median(ours), "(reference time / ours)");
    return 0;
}
