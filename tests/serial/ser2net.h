// ser2net, a real serial device server, started on 127.0.0.1 in front of
// pseudo-terminals for the network port's tests, and ended with the test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <netinet/tcp.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>

// Debian puts it in /usr/sbin, outside a user's PATH.
inline QString Ser2netProgram() {
    const QString found = QStandardPaths::findExecutable("ser2net");
    return !found.isEmpty() ? found
                            : QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/sbin"});
}

// TCP ports nobody listens at now, all different: each stays bound until
// all are chosen.
inline QList<int> FreeTcpPorts(int count) {
    QList<int> ports;
    QList<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        fds << fd;
        ports << ntohs(a.sin_port);
    }
    for (int fd : fds) close(fd);
    return ports;
}

inline int FreeTcpPort() { return FreeTcpPorts(1).front(); }

inline bool Listening(int port) {
    QFile tcp("/proc/net/tcp");
    if (!tcp.open(QIODevice::ReadOnly)) return false;
    const QByteArray wanted = QString(":%1 ").arg(port, 4, 16, QChar('0')).toUpper().toLatin1();
    for (const QByteArray& line : tcp.readAll().split('\n')) {
        const QList<QByteArray> cells = line.simplified().split(' ');
        if (cells.size() > 3 && (cells[1] + " ").endsWith(wanted) && cells[3] == "0A") return true;
    }
    return false;
}

// ser2net on 127.0.0.1: for each device an RFC 2217 port and a raw one.
class Ser2net {
public:
    explicit Ser2net(const QStringList& devices) : devices_(devices) {
        QString yaml;
        const QList<int> ports = FreeTcpPorts(2 * static_cast<int>(devices.size()));
        for (int i = 0; i < devices.size(); ++i) {
            rfc_.push_back(ports[2 * i]);
            raw_.push_back(ports[2 * i + 1]);
            yaml += QString(
                        "connection: &rfc%1\n"
                        "  accepter: telnet(rfc2217),tcp,127.0.0.1,%2\n"
                        "  connector: serialdev,%3,9600n81,local\n"
                        "connection: &raw%1\n"
                        "  accepter: tcp,127.0.0.1,%4\n"
                        "  connector: serialdev,%3,9600n81,local\n")
                        .arg(i)
                        .arg(rfc_.back())
                        .arg(devices[i])
                        .arg(raw_.back());
        }
        QFile config(dir_.filePath("ser2net.yaml"));
        config.open(QIODevice::WriteOnly);
        config.write(yaml.toUtf8());
        config.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(Ser2netProgram(),
                       {"-n", "-u", "-P", dir_.filePath("pid"), "-c", config.fileName()});
        started_ = process_.waitForStarted(10000) && AllListening();
    }
    ~Ser2net() { Kill(); }
    bool started() const { return started_; }
    QString Rfc(int i = 0) const { return QString("rfc2217://127.0.0.1:%1").arg(rfc_[i]); }
    QString Raw(int i = 0) const { return QString("socket://127.0.0.1:%1").arg(raw_[i]); }
    int RfcPort(int i = 0) const { return rfc_[i]; }
    void Kill() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(10000);
    }
    QString Log() { return QString::fromUtf8(process_.readAll()); }
    // Until ser2net has let go of every device: a connection made before
    // that is told "Port's device already in use" and closed.
    bool WaitIdle() const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        const QString fds = QString("/proc/%1/fd").arg(process_.processId());
        for (;;) {
            bool busy = false;
            for (const QFileInfo& f : QDir(fds).entryInfoList(QDir::System | QDir::NoDotAndDotDot))
                busy = busy || devices_.contains(f.symLinkTarget());
            if (!busy) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    // Polled with a deadline: ser2net says nothing when its ports are ready.
    bool AllListening() const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            bool all = true;
            for (int p : rfc_ + raw_) all = all && Listening(p);
            if (all) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    QStringList devices_;
    QTemporaryDir dir_;
    QList<int> rfc_, raw_;
    QProcess process_;
    bool started_ = false;
};

// A plant network's delay on 127.0.0.1: connections to port() are carried
// to `target` with every chunk held `oneWay` in each direction, one
// connection at a time.
class DelayProxy {
public:
    DelayProxy(int target, std::chrono::milliseconds oneWay) : target_(target), delay_(oneWay) {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = Loopback(0);
        socklen_t length = sizeof a;
        bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        ::listen(listen_, 4);
        thread_ = std::thread([this] { Run(); });
    }
    ~DelayProxy() {
        stop_ = true;
        thread_.join();
        close(listen_);
    }
    int port() const { return port_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point due;
        std::string bytes;
    };
    static sockaddr_in Loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        return a;
    }
    void Run() {
        while (!stop_) {
            pollfd l{listen_, POLLIN, 0};
            if (poll(&l, 1, 20) <= 0) continue;
            const int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in a = Loopback(target_);
            if (connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
                Carry(client, server);
            close(server);
            close(client);
        }
    }
    // Until either side closes, and what it sent before is delivered.
    void Carry(int client, int server) {
        const int one = 1;
        for (int fd : {client, server}) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::deque<Chunk> toServer, toClient;
        bool open = true;
        while (!stop_ && (open || !toServer.empty() || !toClient.empty())) {
            const auto now = Clock::now();
            for (auto* q : {&toServer, &toClient}) {
                while (!q->empty() && q->front().due <= now) {
                    const std::string& b = q->front().bytes;
                    (void)::send(q == &toServer ? server : client, b.data(), b.size(), MSG_NOSIGNAL);
                    q->pop_front();
                }
            }
            int wait = 20;
            for (auto* q : {&toServer, &toClient})
                if (!q->empty())
                    wait = std::min<int>(wait, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(
                                                                    q->front().due - now)
                                                                    .count()));
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (!open || poll(p, 2, std::max(wait, 0)) <= 0) {
                if (!open) std::this_thread::sleep_for(std::chrono::milliseconds(std::max(wait, 1)));
                continue;
            }
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buffer[4096];
                const ssize_t n = recv(p[i].fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    open = false;
                    break;
                }
                (i == 0 ? toServer : toClient)
                    .push_back({Clock::now() + delay_, std::string(buffer, static_cast<size_t>(n))});
            }
        }
    }

    int target_;
    std::chrono::milliseconds delay_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

#define REQUIRE_SER2NET()                                                               \
    if (Ser2netProgram().isEmpty())                                                     \
    GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it): the " \
                    "network port's tests need a real serial device server"
