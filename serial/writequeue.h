// The writer's request queue: keeps order, and wakes the writer through an
// eventfd so it can wait for a request and the close event in one poll().
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class TWriteQueue {
public:
    // sendQueueEmpty: false from a Push until Pop finds the queue empty.
    explicit TWriteQueue(
        std::shared_ptr<std::atomic<bool>> sendQueueEmpty);  // throws std::system_error
    ~TWriteQueue();
    TWriteQueue(const TWriteQueue&) = delete;
    TWriteQueue& operator=(const TWriteQueue&) = delete;

    // Blocks taken by one Pop: those queued behind the first go out in the same
    // write() while they fit, so a caller's run of small blocks costs the line
    // no more system calls than one big one.
    static constexpr size_t kRunBytes = 65536;

    bool Push(const uint8_t* data, size_t count);  // false once closed
    bool Pop(std::vector<uint8_t>& run);           // false when empty
    void Close();                                  // drops what is queued, refuses more

    int WakeFd() const { return wake_; }
    void ClearWake();

private:
    std::mutex mutex_;
    std::deque<std::vector<uint8_t>> blocks_;
    bool closed_ = false;
    const std::shared_ptr<std::atomic<bool>> sendQueueEmpty_;
    int wake_;
};
