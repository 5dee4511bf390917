// The timer rules the reply timeout relies on.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "ui/ttimer.h"
#include "window_helpers.h"

namespace {

// Milliseconds from `start` until the timer fires, or -1 within `limitMs`.
qint64 MsUntilFired(TTimer& timer, const QElapsedTimer& start, int limitMs) {
    bool fired = false;
    auto connection = QObject::connect(&timer, &TTimer::OnTimer, [&] { fired = true; });
    WaitFor([&] { return fired; }, limitMs);
    QObject::disconnect(connection);
    return fired ? start.elapsed() : -1;
}

}  // namespace

TEST(TTimer, EnablingARunningTimerDoesNotRestartIt) {
    TTimer timer(300, true, nullptr);
    QElapsedTimer clock;
    clock.start();
    Pump(150);
    timer.SetEnabled(true);
    const qint64 at = MsUntilFired(timer, clock, 1000);
    EXPECT_GE(at, 295);
    EXPECT_LT(at, 420);
}

TEST(TTimer, ChangingTheIntervalOfARunningTimerRestartsIt) {
    TTimer timer(300, true, nullptr);
    Pump(150);
    QElapsedTimer clock;
    clock.start();
    timer.SetInterval(400);
    const qint64 at = MsUntilFired(timer, clock, 1000);
    EXPECT_GE(at, 395);
    EXPECT_LT(at, 550);
}

TEST(TTimer, SettingTheSameIntervalKeepsTheSchedule) {
    TTimer timer(300, true, nullptr);
    QElapsedTimer clock;
    clock.start();
    Pump(150);
    timer.SetInterval(300);
    const qint64 at = MsUntilFired(timer, clock, 1000);
    EXPECT_LT(at, 420);
}

TEST(TTimer, SettingTheIntervalOfAStoppedTimerDoesNotStartIt) {
    TTimer timer(300, false, nullptr);
    timer.SetInterval(100);
    EXPECT_FALSE(timer.Enabled());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(MsUntilFired(timer, clock, 300), -1);
    timer.SetEnabled(true);
    clock.restart();
    const qint64 at = MsUntilFired(timer, clock, 1000);
    EXPECT_GE(at, 95);
}

TEST(TTimer, PreciseSoNeverEarly) {
    TTimer timer(400, true, nullptr);
    EXPECT_EQ(timer.timer().timerType(), Qt::PreciseTimer);
}
