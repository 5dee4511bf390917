// The commissioning commands end to end against a simulated instrument: each
// write read back or its refusal named, and the loop current trim that
// corrects the instrument's output and always leaves fixed current mode.
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
        {"damping", {}, {HartCommission::Kind::Damping, 2.0f}, V::Done,
         "done and read back: damping 2 s", [](const Hart& h) { return h.damping == 2.0f; }},
        {"write protected", [](Hart& h) { h.writeProtect = true; },
         {HartCommission::Kind::Damping, 2.0f}, V::Refused,
         "refused: response code 7 in write-protect mode",
         [](const Hart& h) { return h.damping == 0.5f; }},
        // A warning comes with the write carried out: read back against what was taken.
        {"nearest value", {}, {HartCommission::Kind::Damping, 99.0f}, V::Done,
         "done and read back: damping 60 s (carried out with response code 8 set to nearest "
         "possible value)",
         [](const Hart& h) { return h.damping == 60.0f; }},
        {"units", {}, {HartCommission::Kind::PvUnits, 0, 7}, V::Done,
         "done and read back: PV units bar", [](const Hart& h) { return h.unitCodes[0] == 7; }},
        {"flag and counter of revision 7",
         [](Hart& h) {
             h.revision = 7;
             h.configChanged = true;
             h.configChangeCounter = 5;
         },
         {HartCommission::Kind::ResetChanged}, V::Done,
         "done and read back: configuration changed flag clear, change counter 5",
         [](const Hart& h) { return !h.configChanged; }},
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

TEST(HartCommissionJob, TrimCorrectsTheOutputAndLeavesFixedCurrentMode) {
    Line line;
    line.module.settings().hart.outputZero = 0.04f;
    line.module.settings().hart.outputGain = 0.995f;
    std::vector<double> suggested, read;
    QObject::connect(&line.job, &HartCommissionJob::readingWanted, [&] {
        // The module measures the loop as the meter does: its reading is the suggestion.
        suggested.push_back(line.job.trim()->Suggestion().value_or(-1));
        read.push_back(line.Meter());
        EXPECT_TRUE(line.job.SupplyReading(read.back()));
    });
    ASSERT_TRUE(line.job.StartTrim(0));
    ASSERT_TRUE(PumpUntil([&] { return !line.job.IsRunning(); }, Ms(60000)));
    const HartTrimReport& r = line.job.trim()->report();
    EXPECT_TRUE(r.Done()) << r.Summary();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_NEAR(read[0], 4.04, 1e-4);
    EXPECT_NEAR(suggested[0], read[0], 1e-4);
    EXPECT_NEAR(suggested[1], read[1], 1e-4);
    const auto hart = line.Hart();
    EXPECT_FALSE(hart.fixedCurrent);
    EXPECT_NEAR(hart.outputZero, 0.0f, 1e-4);
    EXPECT_NEAR(hart.outputGain, 1.0f, 1e-4);

    // Cancelled while the loop is held at 20 mA: only the zero is trimmed, the loop is released.
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
