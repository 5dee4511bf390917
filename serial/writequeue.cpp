#include "serial/writequeue.h"

#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

#include "serial/eventfd.h"

TWriteQueue::TWriteQueue(std::shared_ptr<std::atomic<bool>> sendQueueEmpty)
    : sendQueueEmpty_(std::move(sendQueueEmpty)), wake_(CreateEventFd()) {
    if (wake_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TWriteQueue::~TWriteQueue() { close(wake_); }

bool TWriteQueue::Push(const uint8_t* data, size_t count) {
    bool wasEmpty;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        wasEmpty = blocks_.empty();
        try {
            blocks_.emplace_back(data, data + count);
        } catch (const std::bad_alloc&) {
            return false;  // refused, as any write the writer cannot take
        }
        // Under the lock, so the writer cannot mark the queue empty in between.
        sendQueueEmpty_->store(false);
    }
    // A writer that has blocks still to pop finds this one too before it
    // sleeps (Pop and this test are under one lock): only the first needs a wake.
    if (wasEmpty) SetEventFd(wake_);
    return true;
}

bool TWriteQueue::Pop(std::vector<uint8_t>& run) {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) {
        sendQueueEmpty_->store(true);
        return false;
    }
    run = std::move(blocks_.front());
    blocks_.pop_front();
    while (!blocks_.empty() && run.size() + blocks_.front().size() <= kRunBytes) {
        run.insert(run.end(), blocks_.front().begin(), blocks_.front().end());
        blocks_.pop_front();
    }
    return true;
}

void TWriteQueue::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    blocks_.clear();
    sendQueueEmpty_->store(true);
}

void TWriteQueue::ClearWake() { ResetEventFd(wake_); }
