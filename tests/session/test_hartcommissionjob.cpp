// The commissioning commands against a simulated instrument: the answers
// only the instrument gives, and a trim cancelled that still leaves fixed
// current mode.
#include <gtest/gtest.h>

#include <functional>

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
    bool Write(const HartCommission& write) {
        return job.Start(0, write) && PumpUntil([&] { return !job.IsRunning(); }, Ms(60000));
    }
    // A meter in the loop reads what the instrument drives.
    double Meter() { return HartLoopCurrent(Hart()); }

    HartCommissionJob job{&link};
};

}  // namespace

// What the window's end-to-end test does not walk: the instrument's own
// answers to a value out of range, a stale change counter, a self test and a
// reset, as the simulated instrument gives them.
TEST(HartCommissionJob, WritesReadBackOrRefused) {
    using V = HartCommissionResult::Verdict;
    using Hart = ModuleSettings::HartInstrumentSettings;
    const struct {
        const char* name;
        std::function<void(Hart&)> setup;
        HartCommission write;
        V verdict;
        const char* text;
        std::function<bool(const Hart&)> after;
    } cases[] = {
        // A warning comes with the write carried out: read back against what was taken.
        {"nearest value", {}, {HartCommission::Kind::Damping, 99.0f}, V::Done,
         "done and read back: damping 60 s (carried out with response code 8 set to nearest "
         "possible value)",
         [](const Hart& h) { return h.damping == 60.0f; }},
        // Another master changed it since the engineer looked: not acknowledged unseen.
        {"counter seen is old",
         [](Hart& h) {
             h.revision = 7;
             h.configChanged = true;
             h.configChangeCounter = 6;
         },
         {HartCommission::Kind::ResetChanged, 0, 0, 5}, V::Refused,
         "refused: response code 9 configuration change counter mismatch",
         [](const Hart& h) { return h.configChanged; }},
        // The instrument is busy after its self test: its status is asked again.
        {"self test", {}, {HartCommission::Kind::SelfTest}, V::Done,
         "done; additional status all clear", {}},
        {"reset", [](Hart& h) { h.fixedCurrent = 12.0f; }, {HartCommission::Kind::DeviceReset},
         V::Done, "done: the instrument restarts",
         [](const Hart& h) { return !h.fixedCurrent; }},
    };
    for (const auto& c : cases) {
        Line line;
        if (c.setup) c.setup(line.module.settings().hart);
        ASSERT_TRUE(line.Write(c.write)) << c.name;
        const HartCommissionResult& r = line.job.result();
        EXPECT_EQ(r.verdict, c.verdict) << c.name << ": " << r.text;
        EXPECT_EQ(r.text.rfind(c.text, 0), 0u) << c.name << ": " << r.text;
        if (c.after) EXPECT_TRUE(c.after(line.Hart())) << c.name;
    }
}

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
