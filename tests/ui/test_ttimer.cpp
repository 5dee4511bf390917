// The timer rules the reply timeout relies on.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "session/ttimer.h"
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

// Intervals are chosen so that the right and the wrong behaviour lie far
// apart: the checks hold on a loaded machine and under the sanitizers.

TEST(TTimer, EnablingARunningTimerDoesNotRestartIt) {
    TTimer timer(1000, true, nullptr);
    QElapsedTimer clock;
    clock.start();
    Pump(500);
    timer.SetEnabled(true);  // a restart would fire at 1500
    const qint64 at = MsUntilFired(timer, clock, 2500);
    EXPECT_GE(at, 990);
    EXPECT_LT(at, 1400);
}

TEST(TTimer, ChangingTheIntervalOfARunningTimerRestartsIt) {
    TTimer timer(2000, true, nullptr);
    Pump(300);
    QElapsedTimer clock;
    clock.start();
    timer.SetInterval(600);  // the old schedule would fire after 1700, a kept start after 300
    const qint64 at = MsUntilFired(timer, clock, 2500);
    EXPECT_GE(at, 595);
    EXPECT_LT(at, 1200);
}

TEST(TTimer, SettingTheSameIntervalKeepsTheSchedule) {
    TTimer timer(600, true, nullptr);
    QElapsedTimer clock;
    clock.start();
    Pump(300);
    timer.SetInterval(600);  // a restart would fire at 900
    const qint64 at = MsUntilFired(timer, clock, 2000);
    EXPECT_GE(at, 595);
    EXPECT_LT(at, 850);
}

TEST(TTimer, SettingTheIntervalOfAStoppedTimerDoesNotStartIt) {
    TTimer timer(300, false, nullptr);
    timer.SetInterval(100);
    EXPECT_FALSE(timer.Enabled());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(MsUntilFired(timer, clock, 400), -1);
    timer.SetEnabled(true);
    clock.restart();
    const qint64 at = MsUntilFired(timer, clock, 1000);
    EXPECT_GE(at, 95);
}
