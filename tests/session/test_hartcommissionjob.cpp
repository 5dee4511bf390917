// The commissioning job against a simulated instrument: a trim cancelled
// still leaves fixed current mode. (Each write's verdict is shown by the
// verdict table, the writes end to end by the window's test.)
#include <gtest/gtest.h>

#include "session/hartcommissionjob.h"
#include "sim/hartinstrument.h"
#include "tests/session/simulatedline.h"

using Ms = std::chrono::milliseconds;

namespace {

struct Line : SimulatedLine {
    ModuleSettings::HartInstrumentSettings Hart() {
        std::lock_guard lock(module.mutex());
        return module.settings().hart;
    }
    // A meter in the loop reads what the instrument drives.
    double Meter() { return HartLoopCurrent(Hart()); }

    HartCommissionJob job{&link};
};

}  // namespace

// Cancelled while the loop is held at 20 mA: only the zero is trimmed, and
// the simulated instrument's loop is released. (A whole trim is walked in the
// window's test.)
TEST(HartCommissionJob, TrimCancelledLeavesFixedCurrentMode) {
    Line cancelled;
    QObject::connect(&cancelled.job, &HartCommissionJob::readingWanted, [&] {
        if (cancelled.job.trim()->Level() == kTrimGainLevel) return cancelled.job.Cancel();
        cancelled.job.SupplyReading(cancelled.Meter());
    });
    ASSERT_TRUE(cancelled.job.StartTrim(0));
    ASSERT_TRUE(PumpUntil([&] { return !cancelled.job.IsRunning(); }, Ms(60000)));
    const HartTrimReport& c = cancelled.job.trim()->report();
    EXPECT_TRUE(c.cancelled);
    EXPECT_TRUE(c.zeroTrimmed);
    EXPECT_FALSE(c.gainTrimmed);
    EXPECT_TRUE(c.fixedLeft);
    EXPECT_FALSE(cancelled.Hart().fixedCurrent);
}
