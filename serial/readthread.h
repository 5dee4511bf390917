// The reader: keeps one read of up to ReadBlockSize bytes pending and posts
// every completed block to the notify window. It waits without time limit on
// the port and the close event, and with a deadline only while a block is
// being collected.
#pragma once

#include <QObject>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "serial/readtimeouts.h"

class TLineCounters;

class TReadThread {
public:
    static constexpr size_t ReadBlockSize = 2048;

    TReadThread(int port, int closeEvent, QObject* notifyWindow,
                std::shared_ptr<const TReadTimeouts> timeouts);
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;
    ~TReadThread();  // joins: the owner sets the close event first

    void Start();  // throws std::system_error when no thread can be created
    void Join();

private:
    using Clock = std::chrono::steady_clock;

    void Execute();
    std::optional<Clock::time_point> BlockDeadline(size_t count, Clock::time_point readStart,
                                                   Clock::time_point lastByte) const;
    bool Deliver(const uint8_t* bytes, size_t count);
    void ReportLineEvents(TLineCounters& counters);

    const int port_;
    const int closeEvent_;
    QObject* const notifyWindow_;
    const std::shared_ptr<const TReadTimeouts> timeouts_;
    std::thread thread_;
};
