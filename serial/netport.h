// A serial line reached through a serial device server on the network, behind
// the port seam: "rfc2217://HOST:PORT" (Telnet with the COM-PORT-OPTION,
// which carries the line settings) or "socket://HOST:PORT" (the bytes as they
// are, the line set on the server). One socket thread reads and writes, as
// TComm's reader and writer do for a tty, and hands blocks and the hang-up
// to the main thread in order.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/port.h"

struct NetPortName {
    bool rfc2217 = false;  // else a raw socket
    std::string host;      // as written, without the brackets of an IPv6 address
    std::string service;   // the TCP port
};

// "rfc2217://…" or "socket://…": a network port's name, well formed or not.
bool IsNetworkPortName(const std::string& name);
// The parts of a well formed name; nullopt otherwise.
std::optional<NetPortName> ParseNetPortName(const std::string& name);

class NetPort : public Port {
public:
    // Connecting, and the server's answers at an opening, wait no longer.
    static constexpr std::chrono::milliseconds kConnectTimeout{5000};

    NetPort();
    ~NetPort() override;

    Kind kind() const override { return Kind::Network; }
    void Open(const PortSettings& settings) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    const PortSettings& settings() const override { return settings_; }
    bool ParityHeld() const override { return true; }
    bool Write(const void* data, uint16_t count) override;
    void SetReadInterval(uint32_t ms) override { interval_.store(ms); }
    uint32_t ReadInterval() const override { return interval_.load(); }
    bool ChangesLineOpen() const override { return true; }
    bool FollowsLineChanges() const override { return rfc2217_; }
    void ChangeLine(const PortSettings& settings) override;
    std::chrono::milliseconds RoundTrip() const override { return roundTrip_; }

private:
    class Receiver;

    // Closes and throws; `whole`: the message is the cause and its fix (a
    // line change, whose callers show only the message).
    [[noreturn]] void Fail(int step, int error, const std::string& said, bool whole = false);
    void Connect(const NetPortName& name);
    void SetLine(const PortSettings& line, bool first);
    void StartThread();
    void StopThread();
    void Run(int fd, int closeEvent, int wakeEvent, unsigned generation);
    void Deliver(const std::vector<uint8_t>& block, unsigned generation);

    PortSettings settings_;
    bool rfc2217_ = false;
    bool changing_ = false;        // in ChangeLine: failures say their fix in the message
    bool closedUnspoken_ = false;  // the server closed before a word of Telnet
    int fd_ = -1;
    int closeEvent_ = -1;
    int wakeEvent_ = -1;
    std::thread thread_;
    std::atomic<uint32_t> interval_{0};
    std::chrono::milliseconds roundTrip_{0};
    // The Telnet state: the main thread's while it sets the line, the socket
    // thread's while that runs.
    struct Telnet;
    std::unique_ptr<Telnet> telnet_;
    std::mutex outMutex_;
    std::vector<uint8_t> outbox_;  // as it goes on the wire
    // Bumped at every close: what an earlier connection posted is dropped.
    std::atomic<unsigned> generation_{0};
    Receiver* receiver_;
    std::unique_ptr<QObject> receiverOwner_;
};
