// StallMeter: the longest time the main thread's event loop went without
// turning, measured by a 10 ms timer while the meter lives. Time the thread
// spent waiting for a CPU (other processes on a busy machine) is not counted:
// it is no fault of the window's and would make the figure depend on the load.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

class StallMeter {
public:
    StallMeter();
    qint64 LongestMs();

private:
    void Sample();

    QTimer tick_;
    QElapsedTimer clock_;
    int64_t lastWaitNs_ = 0;
    qint64 longest_ = 0;
};
