#include "serial/writethread.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "serial/eventfd.h"
#include "serial/ioerror.h"
#include "serial/notifymessage.h"
#include "serial/tcomm.h"

TWriteThread::TWriteThread(int port, int closeEvent, QObject* notifyWindow,
                           std::shared_ptr<std::atomic<bool>> sendQueueEmpty)
    : port_(port),
      closeEvent_(closeEvent),
      notifyWindow_(notifyWindow),
      queue_(std::move(sendQueueEmpty)) {}

TWriteThread::~TWriteThread() { Join(); }

// Normal priority, as the reader.
void TWriteThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TWriteThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TWriteThread::Execute() {
    bool notify = true;  // one MSG_TX_EMPTY at start, then one after each run of writes
    bool failed = false;
    std::vector<uint8_t> block;
    for (;;) {
        if (queue_.Pop(block)) {
            if (IsEventFdSet(closeEvent_)) break;
            const TWriteResult result = WriteAll(block);
            failed = result == TWriteResult::Failed;
            if (result != TWriteResult::Written) break;
            notify = true;
            continue;
        }
        if (notify) PostNotify(notifyWindow_, MSG_TX_EMPTY);
        notify = false;

        pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {queue_.WakeFd(), POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            failed = true;
            break;
        }
        if (fds[0].revents != 0) break;
        queue_.ClearWake();
    }
    // Refused from here on, before the owner hears of a failure: nobody would
    // send what WriteData queued.
    queue_.Close();
    tcflush(port_, TCOFLUSH);
    if (failed) PostNotify(notifyWindow_, MSG_HANGUP);
}

TWriteThread::TWriteResult TWriteThread::WriteAll(const std::vector<uint8_t>& block) {
    size_t offset = 0;
    while (offset < block.size()) {
        const ssize_t put = write(port_, block.data() + offset, block.size() - offset);
        if (put > 0) {
            offset += static_cast<size_t>(put);
            // A short write means the driver's queue is full: wait for room
            // rather than try again at once.
            if (offset == block.size()) break;
        }
        if (put < 0) {
            switch (ClassifyIoError(errno)) {
                case TIoOutcome::Retry:
                    if (errno == EINTR) continue;
                    break;
                case TIoOutcome::Closed:
                    return TWriteResult::Stopped;
                case TIoOutcome::Failed:
                    return TWriteResult::Failed;
            }
        }
        // The driver's queue is full (or took nothing): wait until it drains.
        pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {port_, POLLOUT, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return TWriteResult::Failed;
        }
        if (fds[0].revents != 0) return TWriteResult::Stopped;
        if (fds[1].revents & POLLNVAL) return TWriteResult::Stopped;
        if (!(fds[1].revents & POLLOUT) && (fds[1].revents & (POLLHUP | POLLERR)))
            return TWriteResult::Failed;
    }
    return TWriteResult::Written;
}
