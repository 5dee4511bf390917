#include "serial/readthread.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <new>

#include "serial/ioerror.h"
#include "serial/linecounters.h"
#include "serial/notifymessage.h"
#include "serial/tcomm.h"

namespace {

// A year: keeps huge total timeouts from overflowing the clock.
constexpr uint64_t kLongestTotalMs = 365ull * 24 * 3600 * 1000;

timespec Remaining(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const auto left = std::max(nanoseconds::zero(), deadline - steady_clock::now());
    const auto secs = duration_cast<seconds>(left);
    return timespec{static_cast<time_t>(secs.count()),
                    static_cast<long>(duration_cast<nanoseconds>(left - secs).count())};
}

}  // namespace

TReadThread::TReadThread(int port, int closeEvent, QObject* notifyWindow,
                         std::shared_ptr<const TReadTimeouts> timeouts)
    : port_(port),
      closeEvent_(closeEvent),
      notifyWindow_(notifyWindow),
      timeouts_(std::move(timeouts)) {}

TReadThread::~TReadThread() { Join(); }

// Normal priority: raising it needs privileges the tool does not have, and the
// reader only ever waits on the kernel.
void TReadThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TReadThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TReadThread::Execute() {
    TLineCounters counters(port_);
    std::array<uint8_t, ReadBlockSize> buffer;
    size_t count = 0;
    Clock::time_point readStart = Clock::now();
    Clock::time_point lastByte;

    for (;;) {
        const auto deadline = BlockDeadline(count, readStart, lastByte);
        timespec wait{};
        if (deadline) wait = Remaining(*deadline);
        pollfd fds[2] = {{closeEvent_, POLLIN, 0}, {port_, POLLIN, 0}};
        if (ppoll(fds, 2, deadline ? &wait : nullptr, nullptr) < 0) {
            if (errno == EINTR) continue;
            PostNotify(notifyWindow_, MSG_HANGUP);
            break;
        }
        if (fds[0].revents != 0) break;  // the close event wins over data and deadlines
        if (fds[1].revents & POLLNVAL) break;

        if (fds[1].revents != 0) {
            const ssize_t got = read(port_, buffer.data() + count, buffer.size() - count);
            if (got > 0) {
                count += static_cast<size_t>(got);
                lastByte = Clock::now();
                ReportLineEvents(counters);
            } else {
                // 0 bytes from a blocking-mode tty means the line hung up.
                TIoOutcome outcome = got == 0 ? TIoOutcome::Failed : ClassifyIoError(errno);
                if (outcome == TIoOutcome::Retry && (fds[1].revents & (POLLHUP | POLLERR)))
                    outcome = TIoOutcome::Failed;  // would spin on a dead line
                if (outcome == TIoOutcome::Closed) break;
                if (outcome == TIoOutcome::Failed) {
                    if (count > 0) Deliver(buffer.data(), count);  // bytes before the hang-up
                    PostNotify(notifyWindow_, MSG_HANGUP);
                    break;
                }
            }
        }

        const auto now = Clock::now();
        const auto due = BlockDeadline(count, readStart, lastByte);
        const bool expired = due && now >= *due;
        if (count == buffer.size() || (count > 0 && expired)) {
            if (!Deliver(buffer.data(), count)) {
                PostNotify(notifyWindow_, MSG_HANGUP);
                break;
            }
            count = 0;
            readStart = now;
        } else if (count == 0 && expired) {
            readStart = now;  // a total timeout with nothing read: start over, post nothing
        }
    }
    tcflush(port_, TCIFLUSH);
}

std::optional<TReadThread::Clock::time_point> TReadThread::BlockDeadline(
    size_t count, Clock::time_point readStart, Clock::time_point lastByte) const {
    using std::chrono::milliseconds;
    std::optional<Clock::time_point> due;
    const uint32_t interval = timeouts_->interval.load();
    if (count > 0 && interval > 0) due = lastByte + milliseconds(interval);
    const uint64_t total = std::min<uint64_t>(
        uint64_t{timeouts_->multiplier.load()} * ReadBlockSize + timeouts_->constant.load(),
        kLongestTotalMs);
    if (total > 0) {
        const auto end = readStart + milliseconds(total);
        due = due ? std::min(*due, end) : end;
    }
    return due;
}

bool TReadThread::Deliver(const uint8_t* bytes, size_t count) {
    std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[count + 1]);
    if (!block) return false;
    std::copy(bytes, bytes + count, block.get());
    block[count] = 0;
    PostNotify(notifyWindow_, MSG_RX_DATA, count, 0, std::move(block));
    return true;
}

void TReadThread::ReportLineEvents(TLineCounters& counters) {
    const TLineEvents e = counters.Update();
    if (e.errors != 0) PostNotify(notifyWindow_, MSG_RX_ERROR, 0, e.errors);
    if (e.modem != 0) PostNotify(notifyWindow_, MSG_MODEM_STATE, 0, e.modem);
}
