// The writer: takes requests from its queue in order, writes each block
// completely, and reports when the queue runs empty. It never waits on the
// device without also waiting on the close event.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "serial/writequeue.h"

class TWriteThread {
public:
    // Throws std::system_error when the queue's eventfd cannot be created.
    TWriteThread(int port, int closeEvent, QObject* notifyWindow,
                 std::shared_ptr<std::atomic<bool>> sendQueueEmpty);
    TWriteThread(const TWriteThread&) = delete;
    TWriteThread& operator=(const TWriteThread&) = delete;
    ~TWriteThread();  // joins: the owner sets the close event first

    void Start();  // throws std::system_error when no thread can be created
    void Join();
    // Copies the bytes; false once the writer has ended.
    bool Post(const uint8_t* data, size_t count) { return queue_.Push(data, count); }

private:
    enum class TWriteResult { Written, Stopped, Failed };  // Failed: the owner hears of it

    void Execute();
    TWriteResult WriteAll(const std::vector<uint8_t>& block);

    const int port_;
    const int closeEvent_;
    QObject* const notifyWindow_;
    TWriteQueue queue_;
    std::thread thread_;
};
