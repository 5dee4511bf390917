#include "sim/simserver.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "protocol/hexbytes.h"
#include "sim/otherend.h"
#include "sim/requestframing.h"

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

const char* ParityName(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return "odd";
        case Parity::Even:
            return "even";
        case Parity::None:
            break;
    }
    return "no";
}

void SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

namespace {

LineOptions LineOf(const SimOptions& o) {
    return {.latencyMs = o.latencyMs,
            .echo = o.echo,
            .halfDuplex = o.halfDuplex,
            .loseReplies = o.loseReplies,
            .loseRequests = o.loseRequests,
            .flipReplies = o.flipReplies,
            .flipRequests = o.flipRequests,
            .seed = o.seed,
            .trace = o.trace};
}

}  // namespace

SimServer::SimServer(TavrixModule& module, SimOptions options)
    : module_(module),
      options_(std::move(options)),
      random_(options_.seed),
      line_(LineOf(options_)) {
    line_.SetModuleLine(ModuleLine());
}

SimServer::~SimServer() {
    Stop();
    CloseLine();
    if (stopFd_ >= 0) close(stopFd_);
}

void SimServer::CloseLine() {
    if (fd_ >= 0) close(fd_);
    if (holdFd_ >= 0) close(holdFd_);
    fd_ = holdFd_ = -1;
    applied_.reset();
    // Whatever was on its way is lost with the line; the module is done with it.
    line_.Clear();
    heardBytes_.clear();
    heardFlipDecided_ = false;
    waiting_.clear();
    if (replyUnderWay_) {
        replyUnderWay_ = false;
        ++served_;
    }
}

void SimServer::Unplug() {
    Stop();
    CloseLine();
    unplugged_ = true;
}

std::string SimServer::Plug() {
    Reopen();
    Start();
    return path_;
}

std::string SimServer::Reopen() {
    Stop();
    CloseLine();
    // A stop asked for the last loop must not end the next one.
    uint64_t pending = 0;
    [[maybe_unused]] ssize_t n = read(stopFd_, &pending, sizeof pending);
    Open();
    unplugged_ = false;
    return path_;
}

std::string SimServer::Open() {
    if (stopFd_ < 0) stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
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
        if (options_.rs485Line) ApplyModuleLine();
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

SimServer::Micros SimServer::Now() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 epoch_)
        .count();
}

// One event at a time: bytes from the tool, the line delivering a byte either
// way, the end of a request, the module's turn to answer. The loop never
// sleeps while the tool may send, so its bytes meet the reply on the line.
void SimServer::Run() {
    for (;;) {
        const Micros now = Now();
        const Bytes heard = line_.TakeForModule(now);
        if (!heard.empty()) {
            heardBytes_.insert(heardBytes_.end(), heard.begin(), heard.end());
            lastHeardAt_ = now;
        }
        const Micros gap = static_cast<Micros>(options_.requestGapMs) * 1000;
        FrameRequests(!heardBytes_.empty() && now - lastHeardAt_ >= gap);
        const Bytes out = line_.TakeForTool(now);
        if (!out.empty()) WriteAll(out.data(), out.size());
        if (replyUnderWay_ && !line_.ModuleTransmitting(now)) ReplyDone();
        while (!replyUnderWay_ && !waiting_.empty()) {
            if (options_.hangUpAfter > 0 && !hungUpOnce_ && requests_ >= options_.hangUpAfter) {
                hungUpOnce_ = true;
                CloseLine();
                unplugged_ = true;
                return;
            }
            const Bytes request = std::move(waiting_.front());
            waiting_.pop_front();
            Serve(request, now);
        }
        CountLine();
        if (options_.trace) {
            for (const std::string& note : line_.TakeNotes()) {
                std::fprintf(stderr, "tavrix-sim: %s\n", note.c_str());
            }
        }

        std::optional<Micros> due = line_.NextEvent();
        if (!heardBytes_.empty() && (!due || lastHeardAt_ + gap < *due)) due = lastHeardAt_ + gap;
        timespec timeout{};
        if (due) {
            const Micros wait = std::max<Micros>(0, *due - Now());
            timeout = {static_cast<time_t>(wait / 1000000), static_cast<long>(wait % 1000000) * 1000};
        }
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        const int ready = ppoll(fds, 2, due ? &timeout : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) return;
        if (ready == 0) continue;
        if (fds[1].revents & POLLIN) {
            uint8_t buffer[4096];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                line_.ToolSent(Bytes(buffer, buffer + n), Now());
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        // Hang-up or error on the line: nobody is connected; wait a little.
        SleepMs(50);
    }
}

void SimServer::FrameRequests(bool silence) {
    while (!heardBytes_.empty()) {
        const size_t length =
            options_.silenceFramingOnly ? 0 : CompleteRequestLength(heardBytes_).value_or(0);
        if (length == 0 && !silence) return;
        Bytes request(heardBytes_.begin(),
                      heardBytes_.begin() +
                          static_cast<std::ptrdiff_t>(length > 0 ? length : heardBytes_.size()));
        if (!heardFlipDecided_) {
            heardFlipDecided_ = true;
            // A bit flipped where the frame said it ended: the module no
            // longer sees an end there and waits for silence as for noise.
            if (line_.FlipRequest(request) && length > 0 &&
                CompleteRequestLength(request).value_or(0) != length) {
                std::copy(request.begin(), request.end(), heardBytes_.begin());
                if (!silence) return;
                request = heardBytes_;
            }
        }
        heardBytes_.erase(heardBytes_.begin(),
                          heardBytes_.begin() + static_cast<std::ptrdiff_t>(request.size()));
        heardFlipDecided_ = false;
        waiting_.push_back(std::move(request));
    }
}

void SimServer::Serve(const Bytes& request, Micros now) {
    const int number = ++requests_;
    {
        const std::lock_guard lock(lastMutex_);
        if (heard_.size() >= 10000) heard_.erase(heard_.begin());
        heard_.push_back(request);
    }
    // A module that stops answering part way through a sequence.
    const bool silenced = options_.stopAfter > 0 && number > options_.stopAfter;
    // On a pseudo-terminal nothing but us can hold the two sides' settings
    // against each other; a real line does it by itself.
    std::optional<OtherEndLine> other;
    if (options_.rs485Line && holdFd_ >= 0) other = ReadOtherEndLine(fd_);
    const UartFrame line = ModuleLine();  // the request came in on the old settings
    line_.SetModuleLine(line);            // and the reply goes out on them
    std::optional<Bytes> reply;
    std::string note;
    if (other && other->parityOdd != (line.parity == Parity::Odd)) {
        // Every character fails the module's parity check: it hears nothing.
        note = std::string("(the request came at ") + (other->parityOdd ? "odd" : "even or no") +
               " parity, the module is at " + ParityName(line.parity) + " parity)";
    } else if (!silenced) {
        reply = module_.Answer(request);
    }
    Bytes wire = reply.value_or(Bytes{});
    if (reply && other && static_cast<int>(other->baud) != line.baud) {
        const UartFrame theirs{static_cast<int>(other->baud),
                               other->parityOdd ? Parity::Odd : Parity::None};
        wire = ResampleUart(*reply, line, theirs);
        note = "(the module's reply at " + std::to_string(line.baud) + " baud, read at " +
               std::to_string(theirs.baud) + ")";
    }
    if (options_.trace) Trace(request, reply ? std::optional(wire) : std::nullopt, note);
    if (reply && !reply->empty()) {
        const std::lock_guard lock(lastMutex_);
        last_ = *reply;
    }
    if (!reply || reply->empty() || number == options_.dropRequest ||
        Chance(options_.dropPercent)) {
        if (reply && !reply->empty()) ++dropped_;
        ++served_;
        // A set command may have moved the module to another speed or parity.
        if (options_.rs485Line && holdFd_ < 0) ApplyModuleLine();
        return;
    }
    int delay = options_.replyDelayMs + Below(options_.randomDelayMs + 1);
    // Where bytes take their line time, a HART frame also takes its time on
    // the instrument's loop, 1200 baud and 11 bits a character, the request
    // there and the reply back before the module passes it on.
    if (options_.halfDuplex && !request.empty() && request[0] == 0xFF)
        delay += static_cast<int>((request.size() + reply->size()) * 11 * 1000 / 1200);
    size_t split = options_.splitAfter > 0 ? static_cast<size_t>(options_.splitAfter) : 0;
    int pause = options_.splitPauseMs;
    if (split == 0 && wire.size() > 1 && Chance(options_.splitPercent)) {
        split = 1 + static_cast<size_t>(Below(static_cast<int>(wire.size()) - 1));
        pause = Below(options_.splitPauseMs + 1);
    }
    if (split >= wire.size()) split = 0;
    line_.ModuleSends(wire, now + Micros{delay} * 1000, split, Micros{pause} * 1000);
    replyUnderWay_ = true;
}

void SimServer::ReplyDone() {
    replyUnderWay_ = false;
    ++answered_;
    ++served_;
    if (options_.rs485Line && holdFd_ < 0) ApplyModuleLine();
}

void SimServer::CountLine() {
    collisions_ = line_.collisions();
    replyBytesLost_ = line_.replyBytesLost();
    requestBytesLost_ = line_.requestBytesLost();
    repliesFlipped_ = line_.repliesFlipped();
    requestsFlipped_ = line_.requestsFlipped();
}

UartFrame SimServer::ModuleLine() {
    const std::lock_guard lock(module_.mutex());
    const ModuleSettings& s = module_.settings();
    const auto baud = static_cast<size_t>(std::clamp(s.rs485Baud, 0, int(kRs485Bauds.size()) - 1));
    return {kRs485Bauds[baud], static_cast<Parity>(std::clamp(s.rs485Parity, 0, 2))};
}

void SimServer::ApplyModuleLine() {
    static constexpr speed_t kSpeeds[] = {B1200, B2400, B4800, B9600, B19200, B38400};
    const UartFrame line = ModuleLine();
    if (applied_ && applied_->baud == line.baud && applied_->parity == line.parity) return;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return;
    cfsetspeed(&tio, kSpeeds[*Rs485BaudIndex(line.baud)]);
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    if (line.parity != Parity::None) tio.c_cflag |= PARENB;
    if (line.parity == Parity::Odd) tio.c_cflag |= PARODD;
    // After the reply under way: the module acknowledges on its old settings.
    if (tcsetattr(fd_, TCSADRAIN, &tio) == 0) applied_ = line;
}

bool SimServer::Chance(int percent) { return percent > 0 && Below(100) < percent; }

int SimServer::Below(int n) {
    if (n <= 1) return 0;
    return static_cast<int>(random_() % static_cast<unsigned>(n));
}

std::vector<Bytes> SimServer::RequestsHeard() const {
    const std::lock_guard lock(lastMutex_);
    return heard_;
}

Bytes SimServer::LastReply() const {
    const std::lock_guard lock(lastMutex_);
    return last_;
}

void SimServer::Trace(const Bytes& request, const std::optional<Bytes>& reply,
                      const std::string& note) const {
    std::string line = "tavrix-sim: <-";
    for (uint8_t b : request) line += " " + ByteToHex(b);
    line += reply ? "\ntavrix-sim: ->" : "\ntavrix-sim: (no answer)";
    if (reply) {
        for (uint8_t b : *reply) line += " " + ByteToHex(b);
    }
    if (!note.empty()) line += "\ntavrix-sim: " + note;
    std::fprintf(stderr, "%s\n", line.c_str());
}

void SimServer::Inject(const Bytes& bytes) { WriteAll(bytes.data(), bytes.size()); }

void SimServer::WriteAll(const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd_, data, size);
        if (n > 0) {
            written_ += static_cast<uint64_t>(n);
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
