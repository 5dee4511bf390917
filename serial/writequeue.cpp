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
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        try {
            blocks_.emplace_back(data, data + count);
        } catch (const std::bad_alloc&) {
            return false;  // refused, as any write the writer cannot take
        }
        // Under the lock, so the writer cannot mark the queue empty in between.
        sendQueueEmpty_->store(false);
    }
    SetEventFd(wake_);
    return true;
}

bool TWriteQueue::Pop(std::vector<uint8_t>& block) {
    std::lock_guard lock(mutex_);
    if (blocks_.empty()) {
        sendQueueEmpty_->store(true);
        return false;
    }
    block = std::move(blocks_.front());
    blocks_.pop_front();
    return true;
}

void TWriteQueue::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    blocks_.clear();
    sendQueueEmpty_->store(true);
}

void TWriteQueue::ClearWake() { ResetEventFd(wake_); }
