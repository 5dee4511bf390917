#include "serial/netport.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QEvent>
#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>

#include "serial/eventfd.h"
#include "serial/notifymessage.h"
#include "serial/rfc2217.h"
#include "serial/tsanorder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kBlockSize = 2048;         // as the tty's reader collects
constexpr size_t kOutboxLimit = 64 * 1024;  // a writer that never drains is refused, not grown

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

std::string LineSizeText(uint8_t dataSize, uint8_t stop) {
    return std::to_string(dataSize) + " data bits" +
           (stop == 0   ? ""
            : stop == 3 ? ", 1.5 stop bits"
                        : ", " + std::to_string(stop) + " stop bits");
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
    return StartsWith(name, "rfc2217://") || StartsWith(name, "socket://");
}

std::optional<NetPortName> ParseNetPortName(const std::string& name) {
    NetPortName n;
    std::string rest;
    if (StartsWith(name, "rfc2217://")) {
        n.rfc2217 = true;
        rest = name.substr(10);
    } else if (StartsWith(name, "socket://")) {
        rest = name.substr(9);
    } else {
        return std::nullopt;
    }
    // pySerial's names may carry options after a '?' or a path: none of ours.
    if (rest.find_first_of("/?") != std::string::npos) return std::nullopt;
    size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return std::nullopt;
        n.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return std::nullopt;
        n.host = rest.substr(0, colon);
        if (n.host.find(':') != std::string::npos) return std::nullopt;  // IPv6 needs brackets
    }
    n.service = rest.substr(colon + 1);
    if (n.host.empty() || n.service.empty() || n.service.size() > 5 ||
        !std::all_of(n.service.begin(), n.service.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int port = std::stoi(n.service);
    if (port < 1 || port > 65535) return std::nullopt;
    return n;
}

// ---- the main thread's side of the socket thread ----

class NetPort::Receiver : public QObject {
public:
    explicit Receiver(NetPort* port) : port_(port) {}
    bool event(QEvent* e) override {
        TsanAcquire(e);
        if (e->type() != TNotifyMessage::Kind()) return QObject::event(e);
        auto* m = static_cast<TNotifyMessage*>(e);
        const std::unique_ptr<uint8_t[]> block = std::move(m->block);
        // Posted by a connection closed since: not a reply, not a hang-up of this one.
        if (m->lParam != port_->generation_.load()) return true;
        if (m->msg == MSG_RX_DATA) {
            if (auto h = port_->OnBlock) h(block.get(), static_cast<uint16_t>(m->wParam));
        } else if (m->msg == MSG_HANGUP) {
            if (auto h = port_->OnHangup) h();
        }
        return true;
    }

private:
    NetPort* port_;
};

struct NetPort::Telnet {
    telnet::Decoder decoder;
    telnet::Options options;
};

NetPort::NetPort() : receiver_(new Receiver(this)), receiverOwner_(receiver_) {}

NetPort::~NetPort() {
    Close();  // the socket thread goes before what it posts to
}

void NetPort::Fail(int step, int error, const std::string& said, bool whole) {
    Close();
    TOpenFailure failure;
    failure.step = static_cast<TOpenStep>(step);
    failure.error = error;
    failure.path = settings_.name;
    failure.said = said;
    std::string message = "Error opening network port";
    if (whole || changing_) {
        message = OpenFailureSummary(failure);
        for (size_t at; (at = message.find("\n\n")) != std::string::npos;)
            message.replace(at, 2, " ");
    }
    changing_ = false;
    throw ECommsError(message, std::move(failure));
}

void NetPort::Open(const PortSettings& settings) {
    Close();
    settings_ = settings;
    const auto name = ParseNetPortName(settings.name);
    if (!name) {
        Fail(static_cast<int>(TOpenStep::NetName), 0,
             "\"" + settings.name + "\" is not a network port of the form HOST:PORT.");
    }
    rfc2217_ = name->rfc2217;
    const auto deadline = Clock::now() + kConnectTimeout;
    for (;;) {
        Connect(*name);
        if (!rfc2217_) break;
        telnet_ = std::make_unique<Telnet>();
        try {
            SetLine(settings, true);
            break;
        } catch (const ECommsError&) {
            // A server still letting go of the line after the last connection
            // (ser2net: "Port's device already in use") closes a new one at
            // once: tried again while the time allows.
            if (!closedUnspoken_ || Clock::now() + std::chrono::milliseconds(200) >= deadline)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    StartThread();
}

void NetPort::ChangeLine(const PortSettings& settings) {
    if (!IsOpen()) return Open(settings);
    const PortSettings before = settings_;
    settings_ = settings;
    if (!rfc2217_) {
        const bool same =
            before.baudRate == settings.baudRate && before.parity == settings.parity &&
            before.byteSize == settings.byteSize && before.stopBits == settings.stopBits;
        if (same) return;
        // The module would move to a line this end cannot follow: said now,
        // not found out later as a module that stopped answering.
        Fail(static_cast<int>(TOpenStep::NetFixed), 0,
             settings.name + ": a raw TCP connection cannot change the line to " +
                 std::to_string(settings.baudRate) + " baud, parity " +
                 telnet::ParityName(telnet::ParityValue(settings.parity)) +
                 "; the serial device server keeps its own settings.",
             true);
    }
    changing_ = true;
    StopThread();
    SetLine(settings, false);
    StartThread();
    changing_ = false;
}

void NetPort::Connect(const NetPortName& name) {
    const auto deadline = Clock::now() + kConnectTimeout;
    const std::string where = settings_.name + ": ";

    // getaddrinfo has no time limit of its own: it runs apart and is left
    // behind when it takes too long.
    struct Lookup {
        std::mutex m;
        std::condition_variable cv;
        bool done = false, abandoned = false;
        int rc = 0;
        addrinfo* result = nullptr;
    };
    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host = name.host, service = name.service] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_ADDRCONFIG;
            addrinfo* found = nullptr;
            const int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
            std::lock_guard lock(lookup->m);
            if (lookup->abandoned) {
                if (found) freeaddrinfo(found);
                return;
            }
            lookup->rc = rc;
            lookup->result = found;
            lookup->done = true;
            lookup->cv.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        Fail(static_cast<int>(TOpenStep::NetConnect), EAGAIN,
             where + "no thread left to look the host up.");
    }
    addrinfo* found = nullptr;
    int rc = 0;
    {
        std::unique_lock lock(lookup->m);
        if (!lookup->cv.wait_until(lock, deadline, [&] { return lookup->done; })) {
            lookup->abandoned = true;
            lock.unlock();
            Fail(static_cast<int>(TOpenStep::NetResolve), 0,
                 where + "the host \"" + name.host + "\" could not be looked up within " +
                     std::to_string(kConnectTimeout.count() / 1000) + " s.");
        }
        found = lookup->result;
        rc = lookup->rc;
    }
    if (rc != 0) {
        Fail(static_cast<int>(TOpenStep::NetResolve), 0,
             where + "unknown host \"" + name.host + "\" (" + gai_strerror(rc) + ").");
    }

    int error = ETIMEDOUT;
    const auto start = Clock::now();
    for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
        const int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        int result = connect(fd, a->ai_addr, a->ai_addrlen);
        if (result != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int ready;
            while ((ready = poll(&p, 1, MsLeft(deadline))) < 0 && errno == EINTR) {
            }
            if (ready <= 0) {
                errno = ETIMEDOUT;
            } else {
                int soError = 0;
                socklen_t length = sizeof soError;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
                errno = soError;
                result = soError == 0 ? 0 : -1;
            }
        }
        if (result == 0) {
            fd_ = fd;
        } else {
            error = errno;
            close(fd);
        }
    }
    freeaddrinfo(found);
    if (fd_ < 0) {
        std::string said;
        if (error == ETIMEDOUT)
            said = where + "no answer from " + name.host + " within " +
                   std::to_string(kConnectTimeout.count() / 1000) + " s.";
        else if (error == ECONNREFUSED)
            said = where + name.host + " refused the connection to port " + name.service + ".";
        else
            said = where + "cannot reach " + name.host + " (" + std::strerror(error) + ").";
        Fail(static_cast<int>(TOpenStep::NetConnect), error, said);
    }
    // The three-way handshake is one round trip.
    roundTrip_ = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // a frame goes out whole, now
}

// The Telnet options at the first time, then the line and a purge, and the
// server's confirmation of each setting; on the main thread, the socket
// thread stopped.
void NetPort::SetLine(const PortSettings& line, bool first) {
    const auto deadline = Clock::now() + kConnectTimeout;
    const std::string where = settings_.name + ": ";
    Telnet& t = *telnet_;

    const auto send = [&](const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                pollfd p{fd_, POLLOUT, 0};
                if (poll(&p, 1, MsLeft(deadline)) > 0) continue;
            }
            Fail(static_cast<int>(TOpenStep::NetConnect), n < 0 ? errno : EPIPE,
                 where + "the server stopped taking what was sent.");
        }
    };
    std::vector<telnet::ComPortReply> replies;
    bool spoke = false;
    closedUnspoken_ = false;
    // Reads what comes before `done` holds; the data before the purge is
    // nobody's reply.
    const auto await = [&](const auto& done, const std::string& waitingFor) {
        while (!done()) {
            pollfd p{fd_, POLLIN, 0};
            const int ready = poll(&p, 1, MsLeft(deadline));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) {
                Fail(static_cast<int>(TOpenStep::NetServer), 0,
                     where + "the server did not " + waitingFor + " within " +
                         std::to_string(kConnectTimeout.count() / 1000) + " s.");
            }
            std::array<uint8_t, 512> buffer;
            const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) {
                closedUnspoken_ = !spoke;
                Fail(static_cast<int>(TOpenStep::NetConnect), n < 0 ? errno : ECONNRESET,
                     where + "the server closed the connection while the line was set up.");
            }
            std::vector<uint8_t> data;
            std::vector<telnet::Event> events;
            t.decoder.Feed(buffer.data(), static_cast<size_t>(n), data, events);
            spoke = spoke || !events.empty();
            for (const telnet::Event& e : events) {
                if (auto reply = telnet::DecodeComPortReply(e))
                    replies.push_back(*reply);
                else if (e.kind != telnet::Event::Kind::Sub)
                    send(t.options.Answer(e));
            }
        }
    };

    if (first) {
        send(t.options.Start());
        await([&] { return t.options.ComPort() || t.options.ComPortRefused(); },
              "take the COM-PORT option (RFC 2217)");
        if (!t.options.ComPort()) {
            Fail(static_cast<int>(TOpenStep::NetServer), 0,
                 where + "the server refused the COM-PORT option: it cannot set the line.");
        }
    }
    std::vector<uint8_t> commands =
        telnet::SetLineCommands(line.baudRate, line.byteSize, line.parity, line.stopBits);
    const std::vector<uint8_t> purge = telnet::PurgeBoth();
    commands.insert(commands.end(), purge.begin(), purge.end());
    const auto asked = Clock::now();
    send(commands);

    const auto answered = [&](uint8_t command) {
        return std::find_if(replies.begin(), replies.end(),
                            [&](const telnet::ComPortReply& r) { return r.command == command; });
    };
    await(
        [&] {
            for (uint8_t c :
                 {telnet::SetBaudRate, telnet::SetDataSize, telnet::SetParity, telnet::SetStopSize})
                if (answered(c) == replies.end()) return false;
            return true;
        },
        "confirm the line settings");
    // The server's answer is a round trip through it, its own time included:
    // a truer measure than the connection's handshake, which a gateway or a
    // proxy on the way may answer itself.
    roundTrip_ = std::max(roundTrip_, std::chrono::duration_cast<std::chrono::milliseconds>(
                                          Clock::now() - asked));

    const uint32_t baud = answered(telnet::SetBaudRate)->value;
    const uint32_t size = answered(telnet::SetDataSize)->value;
    const uint32_t parity = answered(telnet::SetParity)->value;
    const uint32_t stop = answered(telnet::SetStopSize)->value;
    std::string refused;
    if (baud != line.baudRate)
        refused = "runs the line at " + std::to_string(baud) + " baud, not the " +
                  std::to_string(line.baudRate) + " asked for";
    else if (parity != telnet::ParityValue(line.parity))
        refused = "runs the line with parity " + telnet::ParityName(static_cast<uint8_t>(parity)) +
                  ", not " + telnet::ParityName(telnet::ParityValue(line.parity));
    else if (size != telnet::DataSizeValue(line.byteSize) ||
             stop != telnet::StopSizeValue(line.stopBits))
        refused = "runs the line with " +
                  LineSizeText(static_cast<uint8_t>(size), static_cast<uint8_t>(stop)) + ", not " +
                  LineSizeText(telnet::DataSizeValue(line.byteSize),
                               telnet::StopSizeValue(line.stopBits));
    if (!refused.empty())
        Fail(static_cast<int>(TOpenStep::NetServer), 0, where + "the server " + refused + ".");
}

// ---- the socket thread ----

void NetPort::StartThread() {
    closeEvent_ = CreateEventFd();
    wakeEvent_ = CreateEventFd();
    if (closeEvent_ < 0 || wakeEvent_ < 0) {
        Fail(static_cast<int>(TOpenStep::NetConnect), errno,
             settings_.name + ": the system has no descriptor left for the connection.");
    }
    try {
        thread_ =
            std::thread(&NetPort::Run, this, fd_, closeEvent_, wakeEvent_, generation_.load());
    } catch (const std::system_error&) {
        Fail(static_cast<int>(TOpenStep::NetConnect), EAGAIN,
             settings_.name + ": the system has no thread left for the connection.");
    }
}

// Joins without a time limit: every wait of the thread includes the close event.
void NetPort::StopThread() {
    if (thread_.joinable()) {
        SetEventFd(closeEvent_);
        thread_.join();
    }
    for (int* fd : {&closeEvent_, &wakeEvent_}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
    std::lock_guard lock(outMutex_);
    outbox_.clear();
}

void NetPort::Close() {
    StopThread();
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    telnet_.reset();
    ++generation_;
}

bool NetPort::Write(const void* data, uint16_t count) {
    if (!IsOpen() || !thread_.joinable() || data == nullptr || count == 0) return false;
    {
        std::lock_guard lock(outMutex_);
        if (outbox_.size() + 2 * size_t{count} > kOutboxLimit) return false;
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (rfc2217_)
            telnet::Escape(bytes, count, outbox_);
        else
            outbox_.insert(outbox_.end(), bytes, bytes + count);
    }
    SetEventFd(wakeEvent_);
    return true;
}

void NetPort::Deliver(const std::vector<uint8_t>& block, unsigned generation) {
    std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[block.size() + 1]);
    if (!copy) return;
    std::copy(block.begin(), block.end(), copy.get());
    copy[block.size()] = 0;
    PostNotify(receiver_, MSG_RX_DATA, block.size(), generation, std::move(copy));
}

void NetPort::Run(int fd, int closeEvent, int wakeEvent, unsigned generation) {
    std::vector<uint8_t> block;
    Clock::time_point lastByte;
    std::vector<uint8_t> data;
    std::vector<telnet::Event> events;
    std::array<uint8_t, kBlockSize> buffer;
    const auto hangUp = [&] {
        if (!block.empty()) Deliver(block, generation);  // the bytes before the hang-up
        PostNotify(receiver_, MSG_HANGUP, 0, generation);
    };

    for (;;) {
        bool pending;
        {
            std::lock_guard lock(outMutex_);
            pending = !outbox_.empty();
        }
        int timeout = -1;
        if (!block.empty()) {
            const auto due = lastByte + std::chrono::milliseconds(interval_.load());
            timeout = MsLeft(due);
        }
        pollfd fds[3] = {{closeEvent, POLLIN, 0},
                         {fd, static_cast<short>(POLLIN | (pending ? POLLOUT : 0)), 0},
                         {wakeEvent, POLLIN, 0}};
        if (poll(fds, 3, timeout) < 0) {
            if (errno == EINTR) continue;
            hangUp();
            return;
        }
        if (fds[0].revents != 0) return;  // the close wins over data
        if (fds[2].revents != 0) ResetEventFd(wakeEvent);

        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                data.clear();
                events.clear();
                if (rfc2217_) {
                    telnet_->decoder.Feed(buffer.data(), static_cast<size_t>(n), data, events);
                    for (const telnet::Event& e : events) {
                        if (e.kind == telnet::Event::Kind::Sub) continue;  // notifications
                        const std::vector<uint8_t> answer = telnet_->options.Answer(e);
                        std::lock_guard lock(outMutex_);
                        outbox_.insert(outbox_.end(), answer.begin(), answer.end());
                    }
                } else {
                    data.assign(buffer.begin(), buffer.begin() + n);
                }
                if (!data.empty()) {
                    block.insert(block.end(), data.begin(), data.end());
                    lastByte = Clock::now();
                }
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                hangUp();  // the server closed, or the connection broke
                return;
            }
        }

        {
            std::lock_guard lock(outMutex_);
            while (!outbox_.empty()) {
                const ssize_t n =
                    send(fd, outbox_.data(), outbox_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    outbox_.erase(outbox_.begin(), outbox_.begin() + n);
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                outbox_.clear();
                pending = false;
                break;  // a broken connection: the read side reports it
            }
        }

        while (block.size() >= kBlockSize) {
            Deliver({block.begin(), block.begin() + kBlockSize}, generation);
            block.erase(block.begin(), block.begin() + kBlockSize);
        }
        if (!block.empty() &&
            Clock::now() >= lastByte + std::chrono::milliseconds(interval_.load())) {
            Deliver(block, generation);
            block.clear();
        }
    }
}
