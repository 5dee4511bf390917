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
#include <chrono>
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

#define REQUIRE_SER2NET()                                                               \
    if (Ser2netProgram().isEmpty())                                                     \
    GTEST_SKIP() << "ser2net is not installed (scripts/install-deps installs it): the " \
                    "network port's tests need a real serial device server"
