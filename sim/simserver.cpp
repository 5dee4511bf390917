#include "sim/simserver.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "exchange/bytetext.h"

namespace {

void MakeRaw(int fd, speed_t speed = 0) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return;
    cfmakeraw(&tio);
    if (speed != 0) cfsetspeed(&tio, speed);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &tio);
}

void SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

SimServer::SimServer(TavrixModule& module, SimOptions options)
    : module_(module), options_(std::move(options)), random_(options_.seed) {}

SimServer::~SimServer() {
    Stop();
    if (fd_ >= 0) close(fd_);
    if (holdFd_ >= 0) close(holdFd_);
    if (stopFd_ >= 0) close(stopFd_);
}

std::string SimServer::Open() {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    if (options_.device.empty()) {
        int master = -1, slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
        }
        fcntl(master, F_SETFD, FD_CLOEXEC);
        fcntl(slave, F_SETFD, FD_CLOEXEC);
        // Raw from the start, and held open by us: a pseudo-terminal whose
        // slave nobody holds reports a hang-up on every poll.
        MakeRaw(slave);
        fd_ = master;
        holdFd_ = slave;
        path_ = name;
    } else {
        // Non-blocking while opening: a port without CLOCAL would otherwise
        // wait for carrier detect. Blocking again once the line is raw.
        fd_ = open(options_.device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            throw std::runtime_error(options_.device + ": " + std::strerror(errno));
        }
        MakeRaw(fd_, options_.speed);
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        path_ = options_.device;
    }
    return path_;
}

void SimServer::Start() {
    if (stopFd_ < 0) throw std::logic_error("SimServer::Start before Open");
    thread_ = std::thread([this] { Run(); });
}

void SimServer::Stop() {
    if (stopFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(stopFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
}

void SimServer::Run() {
    Bytes request;
    for (;;) {
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        // Wait without limit for the first byte, then until the line is quiet.
        const int timeout = request.empty() ? -1 : options_.requestGapMs;
        const int ready = poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (ready == 0) {
            Serve(request);
            request.clear();
            continue;
        }
        if (fds[1].revents & POLLIN) {
            uint8_t buffer[4096];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                request.insert(request.end(), buffer, buffer + n);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        // Hang-up or error on the line: nobody is connected; wait a little.
        SleepMs(50);
    }
}

void SimServer::Serve(const Bytes& request) {
    // A module that stops answering part way through a sequence.
    const bool silenced = options_.stopAfter > 0 && requests_++ >= options_.stopAfter;
    std::optional<Bytes> reply = silenced ? std::nullopt : module_.Answer(request);
    if (options_.trace) Trace(request, reply);
    if (!reply || reply->empty()) return;
    {
        const std::lock_guard lock(lastMutex_);
        last_ = *reply;
    }
    if (Chance(options_.dropPercent)) {
        ++dropped_;
        return;
    }
    SleepMs(options_.replyDelayMs + Below(options_.randomDelayMs + 1));
    size_t split = options_.splitAfter > 0 ? static_cast<size_t>(options_.splitAfter) : 0;
    int pause = options_.splitPauseMs;
    if (split == 0 && reply->size() > 1 && Chance(options_.splitPercent)) {
        split = 1 + static_cast<size_t>(Below(static_cast<int>(reply->size()) - 1));
        pause = Below(options_.splitPauseMs + 1);
    }
    if (split > 0 && split < reply->size()) {
        WriteAll(reply->data(), split);
        SleepMs(pause);
        WriteAll(reply->data() + split, reply->size() - split);
    } else {
        WriteAll(reply->data(), reply->size());
    }
    ++answered_;
}

bool SimServer::Chance(int percent) { return percent > 0 && Below(100) < percent; }

int SimServer::Below(int n) {
    if (n <= 1) return 0;
    return static_cast<int>(random_() % static_cast<unsigned>(n));
}

Bytes SimServer::LastReply() const {
    const std::lock_guard lock(lastMutex_);
    return last_;
}

void SimServer::Trace(const Bytes& request, const std::optional<Bytes>& reply) const {
    std::string line = "tavrix-sim: <-";
    for (uint8_t b : request) line += " " + ByteToHex(b);
    line += reply ? "\ntavrix-sim: ->" : "\ntavrix-sim: (no answer)";
    if (reply) {
        for (uint8_t b : *reply) line += " " + ByteToHex(b);
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

void SimServer::Inject(const Bytes& bytes) { WriteAll(bytes.data(), bytes.size()); }

void SimServer::WriteAll(const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd out{fd_, POLLOUT, 0};
            poll(&out, 1, 100);
        } else {
            return;
        }
    }
}
