#include "ui/stallmeter.h"

#include <algorithm>
#include <cstdio>

namespace {

// Nanoseconds the calling thread has waited on a run queue; 0 where the
// kernel does not keep the figure.
int64_t RunQueueWaitNs() {
    long long onCpu = 0, waited = 0;
    FILE* f = std::fopen("/proc/thread-self/schedstat", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%lld %lld", &onCpu, &waited) != 2) waited = 0;
    std::fclose(f);
    return waited;
}

}  // namespace

StallMeter::StallMeter() {
    tick_.setTimerType(Qt::PreciseTimer);
    tick_.setInterval(10);
    QObject::connect(&tick_, &QTimer::timeout, [this] { Sample(); });
    lastWaitNs_ = RunQueueWaitNs();
    clock_.start();
    tick_.start();
}

void StallMeter::Sample() {
    const int64_t wait = RunQueueWaitNs();
    const qint64 gap = clock_.restart() - (wait - lastWaitNs_) / 1000000;
    lastWaitNs_ = wait;
    longest_ = std::max(longest_, gap);
}

qint64 StallMeter::LongestMs() {
    Sample();
    return longest_;
}
