// The loop check end to end against a simulated module and its instrument:
// it passes where both sides agree, fails exactly the point the module reads
// wrong, and leaves fixed current mode whatever ends it.
#include <gtest/gtest.h>

#include <memory>

#include "serial/tcomm.h"
#include "session/link.h"
#include "session/loopcheckjob.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"
#include "tests/session/simulatedline.h"

using Ms = std::chrono::milliseconds;

namespace {

struct Line : SimulatedLine {
    bool Run(std::vector<double> points) {
        if (!job.Start(0, std::move(points))) return false;
        return PumpUntil([&] { return !job.IsRunning(); }, Ms(60000));
    }
    std::optional<float> Fixed() {
        std::lock_guard lock(module.mutex());
        return module.settings().hart.fixedCurrent;
    }

    LoopCheckJob job{&link};
};

std::vector<bool> Passes(const LoopCheckReport& r) {
    std::vector<bool> out;
    for (const auto& p : r.points) out.push_back(p.pass);
    return out;
}

}  // namespace

TEST(LoopCheckJob, PassesAndFailsExactlyTheOffPoint) {
    {
        Line line;
        // The module scales variable 1 by 2.5 and serves it words swapped: the
        // check reads it as the module's settings say.
        line.module.settings().floatOrder[0] = 1;
        line.module.settings().coefficientMode = 2;
        line.module.settings().coefficient1 = "2.5";
        ASSERT_TRUE(line.Run({4, 12, 20}));
        const LoopCheckReport& r = line.job.report();
        EXPECT_TRUE(r.Passed()) << r.failure.toStdString() << r.Lines().front();
        EXPECT_EQ(Passes(r), (std::vector<bool>{true, true, true}));
        EXPECT_NEAR(*r.points[2].modbusValue, 50.0, 1e-4);
        EXPECT_TRUE(r.fixedModeLeft);
        EXPECT_FALSE(line.Fixed());
    }
    Line off;
    off.module.settings().currentOffset = 0.2f;
    off.module.settings().currentOffsetAt = 12.0f;
    ASSERT_TRUE(off.Run({4, 12, 20}));
    const LoopCheckReport& r = off.job.report();
    EXPECT_FALSE(r.Passed());
    EXPECT_EQ(Passes(r), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(r.points[1].why, "MODBUS 40003 12.200 mA is +0.200 mA off");
    EXPECT_TRUE(r.fixedModeLeft);
    EXPECT_FALSE(off.Fixed());
}

TEST(LoopCheckJob, CancelAndRefusalLeaveFixedCurrentMode) {
    Line line;
    std::optional<float> heldAtCancel;
    QObject::connect(&line.job, &LoopCheckJob::pointDone, [&](int i) {
        if (i != 0) return;
        heldAtCancel = line.Fixed();
        line.job.Cancel();
    });
    ASSERT_TRUE(line.Run({4, 12, 20}));
    const LoopCheckReport& r = line.job.report();
    EXPECT_EQ(heldAtCancel, 4.0f);
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.points.size(), 1u);
    EXPECT_TRUE(r.fixedModeLeft);
    EXPECT_FALSE(line.Fixed()) << "the simulator's loop is still held";
    EXPECT_EQ(r.Lines().back(),
              "Fixed current mode left: the loop current follows the process again.");

    // An instrument that refuses 40 says why, and the report never claims the loop was released.
    Line refusing;
    refusing.module.settings().hart.forcedResponse = std::pair{40, uint8_t{11}};
    ASSERT_TRUE(refusing.Run({4}));
    const LoopCheckReport& refused = refusing.job.report();
    EXPECT_NE(refused.failure.indexOf("response code 11 in multidrop mode"), -1)
        << refused.failure.toStdString();
    EXPECT_FALSE(refused.fixedModeLeft);
    EXPECT_NE(refused.exitNote.indexOf("may still be on"), -1) << refused.exitNote.toStdString();
}
