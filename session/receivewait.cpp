#include "session/receivewait.h"

TReceiveWait::TReceiveWait(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), wait_(this) {
    wait_.setSingleShot(true);
    wait_.setTimerType(Qt::PreciseTimer);
    wait_.setInterval(kWaitMs);
    connect(&wait_, &QTimer::timeout, this, &TReceiveWait::HandleHead);
}

void TReceiveWait::Enqueue(const uint8_t* data, uint16_t length) {
    const size_t pushedOut =
        backlog_.Push(std::string(reinterpret_cast<const char*>(data), length));
    // A block pushed out of the head takes none of the running wait with it:
    // the next block inherits it, as it would have waited behind that one.
    if (!wait_.isActive()) wait_.start();
    if (pushedOut > 0) emit BlocksDropped(static_cast<int>(pushedOut));
}

void TReceiveWait::Discard() {
    wait_.stop();
    backlog_.Clear();
}

void TReceiveWait::HandleHead() {
    auto block = backlog_.Pop();
    if (!block) return;
    // The next wait starts before the handler runs so that one that throws or
    // opens a modal box does not strand the blocks behind it.
    if (!backlog_.empty()) wait_.start();
    ++handled_;
    handler_(*block);
}
