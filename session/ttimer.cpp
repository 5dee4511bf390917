#include "session/ttimer.h"

TTimer::TTimer(int intervalMs, bool enabled, QObject* owner)
    : QObject(owner), interval_(intervalMs), enabled_(false) {
    // Coarse timers may fire up to 5 % early; the timeouts are user-visible.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(false);
    connect(&timer_, &QTimer::timeout, this, &TTimer::OnTimer);
    SetEnabled(enabled);
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

void TTimer::SetInterval(int intervalMs) {
    if (intervalMs == interval_) return;
    interval_ = intervalMs;
    if (!enabled_) return;
    if (interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}
