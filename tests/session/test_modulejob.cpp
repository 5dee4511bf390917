// Whole-module jobs end to end against simulated modules on pseudo-terminals.
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "serial/tcomm.h"
#include "session/link.h"
#include "session/modulejob.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"
#include "tests/session/simulatedline.h"

using Ms = std::chrono::milliseconds;

namespace {

// One simulated module and the tool's side of the line to it, with a job.
struct Line : SimulatedLine {
    explicit Line(SimOptions options = {}) : SimulatedLine(options) {
        // The simulated module changes its line at once and answers within
        // tens of milliseconds: lost replies cost less waiting than on a real line.
        job.SetLineSwitchPause(50);
        link.SetAnswerTime(Ms(150));
    }
    bool Wait() {
        return PumpUntil([&] { return !job.IsRunning(); }, Ms(90000));
    }
    // The adapter plugged in again: a new line to the same module, the port
    // reopened on it at the speed it was left at.
    void Replug() {
        PortSettings line = link.Settings();
        line.name = server.Plug();
        link.Close();
        link.Open(line);
    }

    ModuleJob job{&link};
};

void CommissionedSettings(ModuleSettings& s) {
    s.mode = 3;
    s.slaveAddress = "017";
    s.pollInterval = "120";
    s.rs485Baud = 4;
    s.rs485Parity = 2;
    s.responseTime = 1;
    s.range4mA = {"4.000", "-10.0", "0.5"};
    s.var1Map = 2;
    s.floatOrder = {1, 0, 1, 0};
    s.coefficientMode = 2;
    s.coefficient1 = "2.5";
    s.coefficients = {"0.1", "10.00", "3"};
    s.hartEnable = 1;
    s.preambles = 7;
    s.bufferClearTime = "030";
    s.addressBits = 5;
    s.parsing[2] = {1, 12, 1};
    s.readCommands[0] = {1, {0x01, 0x03}};
    s.readCommands[1] = {0, {0xFF}};
    s.monitoringCommands = {{{1, {0x0A, 0x0B, 0x0C}}, {0, {0x02}}}};
}

// A simulator that answers at once, and the link told so: a lost reply
// costs its line time and 50 ms, not the default 500 ms answer time.
SimOptions Quick(SimOptions options = {}) {
    options.replyDelayMs = 1;
    options.requestGapMs = 5;
    return options;
}
constexpr Ms kQuickAnswer{80};  // the adapter latency inside it, and room for a loaded machine

// A commissioned module read as a profile; `quick` for the tests that only
// need the profile, not a read at the default timing.
Profile ReadCommissioned(bool quick = false) {
    Line source(quick ? Quick() : SimOptions{});
    if (quick) source.link.SetAnswerTime(kQuickAnswer);
    CommissionedSettings(source.module.settings());
    EXPECT_TRUE(source.job.StartRead());
    EXPECT_TRUE(source.Wait());
    EXPECT_EQ(source.job.outcome(), ModuleJob::Outcome::Done) << source.job.failure().toStdString();
    EXPECT_EQ(source.job.readBack().moduleVersion, source.module.settings().version);
    return source.job.readBack();
}

}  // namespace

TEST(ModuleJob, ReadApplyToAnotherModuleAndVerify) {
    const Profile profile = ReadCommissioned();
    Line target;  // factory settings
    // The line stays the job's from its first step to its last, the pause
    // while the port changes speed included.
    bool lineLeftFree = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { lineLeftFree |= target.job.IsRunning() && !target.link.RunsActive(); });
    watch.start(10);
    ASSERT_TRUE(target.job.StartApply(profile, true));
    ASSERT_TRUE(target.Wait());
    ASSERT_EQ(target.job.outcome(), ModuleJob::Outcome::Done) << target.job.failure().toStdString();
    EXPECT_FALSE(lineLeftFree);
    EXPECT_FALSE(target.link.RunsActive());
    EXPECT_EQ(target.job.plan().steps.size(), 18u);
    EXPECT_EQ(target.job.mismatches(), 0) << ApplyReportText(target.job.report());
    EXPECT_EQ(target.job.rows().size(), profile.settings.size());
    // The port followed the module to its new line settings.
    EXPECT_EQ(target.link.Settings().baudRate, 19200u);
    EXPECT_EQ(target.link.Settings().parity, TParity::Even);
    ModuleSettings wanted;
    CommissionedSettings(wanted);
    const ModuleSettings& got = target.module.settings();
    EXPECT_EQ(got.slaveAddress, wanted.slaveAddress);
    EXPECT_EQ(got.floatOrder, wanted.floatOrder);
    EXPECT_EQ(got.monitoringCommands[0].bytes, wanted.monitoringCommands[0].bytes);
}

TEST(ModuleJob, AModuleThatStopsAnsweringStopsTheJobAtThatStep) {
    SimOptions options;
    options.stopAfter = 12 + 4;  // the snapshot's six queries twice, then four set commands
    Line line(options);
    Profile profile;
    profile.settings = {{ConfigSetting::SystemMode, ConfigFieldKind::ItemIndex, 1, {}},
                        {ConfigSetting::ModbusSlaveAddress, ConfigFieldKind::Text, 0, "5"},
                        {ConfigSetting::ModbusPollInterval, ConfigFieldKind::Text, 0, "50"},
                        {ConfigSetting::Rs485ResponseTime, ConfigFieldKind::ItemIndex, 1, {}},
                        {ConfigSetting::OutputVar1Map, ConfigFieldKind::ItemIndex, 1, {}},
                        {ConfigSetting::CoefficientVar1, ConfigFieldKind::Text, 0, "1"},
                        {ConfigSetting::CoefficientVar1Mode, ConfigFieldKind::ItemIndex, 1, {}}};
    ASSERT_TRUE(line.job.StartApply(profile, true));
    ASSERT_TRUE(line.Wait());
    EXPECT_EQ(line.job.outcome(), ModuleJob::Outcome::TimedOut);
    EXPECT_EQ(line.job.failure(),
              "No reply at step 17 of 24 (Variable 1 map): Parameter Setting Timeout!");
    EXPECT_EQ(line.job.applied().size(), 4u);
    EXPECT_TRUE(line.job.rows().empty());
    // Retried before giving up, and the report says what the module is left with.
    EXPECT_EQ(line.job.retries(),
              (std::vector<std::string>{"Variable 1 map (try 2 of 3): no reply",
                                        "Variable 1 map (try 3 of 3): no reply"}));
    const ApplyReport report = line.job.report();
    EXPECT_TRUE(report.HalfConfigured());
    EXPECT_TRUE(report.snapshotTaken);
    EXPECT_EQ(report.unsent.size(), 2u);
    EXPECT_EQ(report.lineNow, "9600 8N1");
    EXPECT_TRUE(ApplyReportText(report).starts_with("HALF-CONFIGURED: 4 set commands"));
}

// A reply cut for longer than its step's timeout is a failed step naming what
// is missing, never a read with settings left out.
TEST(ModuleJob, AReplyThatStaysCutFailsTheReadNamingTheGroups) {
    SimOptions options;
    options.splitAfter = 20;
    options.splitPauseMs = 3000;
    Line line(options);
    line.module.settings().version = "V2";  // "QV:V2#" is whole within the first 20 bytes
    line.job.SetRetries(0);
    ASSERT_TRUE(line.job.StartRead());
    ASSERT_TRUE(line.Wait());
    EXPECT_EQ(line.job.outcome(), ModuleJob::Outcome::WrongReply);
    EXPECT_EQ(line.job.failure(),
              "Reply at step 3 of 12 (System parameters query) incomplete: groups missing: JTM: "
              "XY1:");
    EXPECT_EQ(line.job.readReplies().size(), 1u);
}

// A line that loses one reply in twenty: every apply still verifies, each lost
// reply retried and said in the report. Twenty seeds in four runs of five,
// which ctest runs side by side.
class LostReplies : public testing::TestWithParam<unsigned> {};

TEST_P(LostReplies, AreRetriedUntilEveryApplyVerifies) {
    static const Profile profile = ReadCommissioned(true);
    size_t retried = 0;
    const unsigned first = GetParam();
    for (unsigned seed = first; seed < first + 5; ++seed) {
        SimOptions lossy = Quick();
        lossy.dropPercent = 5;
        lossy.seed = seed;
        Line line(lossy);
        line.link.SetAnswerTime(kQuickAnswer);
        ASSERT_TRUE(line.job.StartApply(profile, true));
        ASSERT_TRUE(line.Wait());
        EXPECT_TRUE(line.job.verified()) << seed << ": " << line.job.failure().toStdString();
        retried += line.job.retries().size();
        EXPECT_EQ(line.job.report().retries.size(), line.job.retries().size());
    }
    EXPECT_GT(retried, 0u) << "five in a hundred replies were dropped";
}

INSTANTIATE_TEST_SUITE_P(Seeds, LostReplies, testing::Values(1u, 6u, 11u, 16u),
                         [](const testing::TestParamInfo<unsigned>& info) {
                             return "From" + std::to_string(info.param);
                         });

namespace {

// A line cut during an apply: the simulator hangs up after `hangUpAfter`
// requests and/or loses the reply to request `dropRequest`. The apply reads
// six queries twice (the snapshot, confirmed), sends eighteen set commands
// (the RS485 settings last), then reads six queries back.
struct Cut {
    std::string name;
    int hangUpAfter = 0;
    int dropRequest = 0;
};

constexpr int kSnapshotQueries = 12;
constexpr int kSetCommands = 18;

std::vector<Cut> Cuts() {
    std::vector<Cut> cuts;
    // The adapter gone before each request of the snapshot's middle, each set command, the
    // read-back.
    cuts.push_back({"UnpluggedInTheSnapshot", 5, 0});
    for (int k = 0; k <= kSetCommands; ++k)
        cuts.push_back({"UnpluggedBeforeSet" + std::to_string(k + 1), kSnapshotQueries + k, 0});
    cuts.push_back({"UnpluggedInTheReadBack", kSnapshotQueries + kSetCommands + 2, 0});
    // A set command taken by the module, its acknowledgement lost, and the
    // adapter gone before the retry.
    for (int k = 1; k <= kSetCommands; ++k) {
        const int request = kSnapshotQueries + k;
        cuts.push_back({"AckLostThenUnpluggedAtSet" + std::to_string(k), request, request});
    }
    // One reply lost at each set command in turn, the line kept; and one
    // in the snapshot and the read-back, whose queries all retry alike.
    cuts.push_back({"ReplyLostInTheSnapshot", 0, 3});
    for (int k = 1; k <= kSetCommands; ++k)
        cuts.push_back({"ReplyLostAtSet" + std::to_string(k), 0, kSnapshotQueries + k});
    cuts.push_back({"ReplyLostInTheReadBack", 0, kSnapshotQueries + kSetCommands + 3});
    return cuts;
}

class ApplyCut : public testing::TestWithParam<Cut> {};

// The factory module after the first `taken` set commands of `plan`.
ModuleSettings AfterSetCommands(const ApplyPlan& plan, size_t taken) {
    TavrixModule oracle;
    for (size_t i = 0; i < taken; ++i) {
        const std::string& frame = plan.steps[i].frame;
        oracle.Answer(Bytes(frame.begin(), frame.end()));
    }
    return oracle.settings();
}

}  // namespace

// Wherever the line is cut, the module is as the report says: the set
// commands it lists as applied were taken, those it lists as unsent were not
// (or, the one sent without an acknowledgement, perhaps), and the line it
// names is the module's. Plugged in again, applying the snapshot puts the
// module back as it was, or applying the profile again finishes it.
TEST_P(ApplyCut, TheModuleEndsAsTheReportSaysAndComesBack) {
    static const Profile profile = ReadCommissioned(true);
    const Cut cut = GetParam();
    SimOptions options = Quick();
    options.hangUpAfter = cut.hangUpAfter;
    options.dropRequest = cut.dropRequest;
    Line line(options);
    line.link.SetAnswerTime(kQuickAnswer);
    const ModuleSettings factory = line.module.settings();
    ASSERT_TRUE(line.job.StartApply(profile, true));
    ASSERT_TRUE(line.Wait());
    const ApplyPlan& plan = line.job.plan();
    ASSERT_EQ(plan.steps.size(), static_cast<size_t>(kSetCommands));
    const ApplyReport report = line.job.report();
    const std::string text = ApplyReportText(report);
    const ModuleSettings all = AfterSetCommands(plan, plan.steps.size());

    if (cut.hangUpAfter == 0) {
        // A lost reply is retried once and the apply goes through.
        EXPECT_TRUE(line.job.verified()) << line.job.failure().toStdString();
        ASSERT_EQ(report.retries.size(), 1u) << text;
        EXPECT_TRUE(report.retries[0].ends_with("(try 2 of 3): no reply")) << report.retries[0];
        EXPECT_TRUE(report.unsent.empty());
        EXPECT_EQ(report.lineNow, "19200 8E1");
        EXPECT_TRUE(line.module.settings() == all);
        return;
    }

    EXPECT_NE(line.job.outcome(), ModuleJob::Outcome::Done) << text;
    EXPECT_TRUE(line.server.unplugged());
    const int sets = std::clamp(cut.hangUpAfter - kSnapshotQueries, 0, kSetCommands);
    const bool ackLost = cut.dropRequest != 0;
    const int acked = ackLost ? sets - 1 : sets;
    EXPECT_EQ(report.snapshotTaken, cut.hangUpAfter >= kSnapshotQueries) << text;
    EXPECT_EQ(report.applied.size(), static_cast<size_t>(acked)) << text;
    std::vector<std::string> unsent;
    for (size_t i = static_cast<size_t>(acked); i < plan.steps.size(); ++i)
        unsent.push_back(plan.steps[i].label);
    EXPECT_EQ(report.unsent, unsent) << text;
    // A command that went out unacknowledged is told apart from those never sent.
    if (ackLost)
        EXPECT_EQ(report.sentUnacknowledged.front(), plan.steps[static_cast<size_t>(acked)].label)
            << text;
    // (The request after the last answered one may have gone out into the unplugged line.)
    if (sets + 1 < kSetCommands)
        EXPECT_NE(text.find("  not sent: " + plan.steps.back().label), std::string::npos) << text;
    EXPECT_EQ(report.HalfConfigured(), acked > 0 && acked < kSetCommands) << text;
    EXPECT_EQ(text.starts_with("HALF-CONFIGURED"), report.HalfConfigured()) << text;
    // What the module took: the acknowledged commands, and the one whose
    // acknowledgement was lost, which the report leaves open.
    EXPECT_TRUE(line.module.settings() == AfterSetCommands(plan, static_cast<size_t>(sets)))
        << text;
    if (acked == kSetCommands - 1 && sets >= kSetCommands - 1) {
        // The RS485 command went out, to a module that took it or to nobody.
        EXPECT_EQ(report.lineNow,
                  "either 9600 8N1 or 19200 8E1 (the RS485 command went out, its "
                  "acknowledgement did not come back)");
    } else if (acked == kSetCommands) {
        EXPECT_TRUE(report.lineNow.starts_with("19200 8E1")) << report.lineNow;
    } else {
        EXPECT_EQ(report.lineNow, "9600 8N1");
    }

    line.Replug();
    if (ackLost) {
        // Finish it: the profile again, the commands already taken sent again.
        ASSERT_TRUE(line.job.StartApply(profile, true));
        ASSERT_TRUE(line.Wait());
        EXPECT_TRUE(line.job.verified()) << line.job.failure().toStdString();
        EXPECT_TRUE(line.module.settings() == all);
    } else if (report.snapshotTaken) {
        // Undo it: the module as the snapshot read it.
        const Profile snapshot = line.job.snapshot();
        ASSERT_TRUE(line.job.StartApply(snapshot, true));
        ASSERT_TRUE(line.Wait());
        EXPECT_TRUE(line.job.verified()) << line.job.failure().toStdString();
        EXPECT_TRUE(line.module.settings() == factory);
    } else {
        EXPECT_TRUE(line.module.settings() == factory);
    }
}

INSTANTIATE_TEST_SUITE_P(EachStep, ApplyCut, testing::ValuesIn(Cuts()),
                         [](const testing::TestParamInfo<Cut>& info) { return info.param.name; });

namespace {

// A noisy line of the line model: `loss` percent of the bytes lost either
// way, or `flips` percent of the replies with one bit flipped.
struct Noise {
    const char* name;
    double loss = 0;
    double flips = 0;
    unsigned firstSeed = 1;
};

class NoisyRead : public testing::TestWithParam<Noise> {};

}  // namespace

// Ten seeded reads each: a read that ends Done holds exactly the module's
// settings, whatever the line did to the replies; a read that cannot get a
// confirmed reply says so.
TEST_P(NoisyRead, NeverEndsDoneWithAValueTheModuleDoesNotHold) {
    static const QByteArray truth = WriteProfile(ReadCommissioned(true));
    const Noise noise = GetParam();
    int done = 0;
    for (unsigned seed = noise.firstSeed; seed < noise.firstSeed + 10; ++seed) {
        SimOptions options = Quick();
        options.seed = seed;
        options.loseReplies = options.loseRequests = noise.loss;
        options.flipReplies = noise.flips;
        Line line(options);
        line.link.SetAnswerTime(kQuickAnswer);
        CommissionedSettings(line.module.settings());
        ASSERT_TRUE(line.job.StartRead());
        ASSERT_TRUE(line.Wait());
        if (line.job.outcome() != ModuleJob::Outcome::Done) {
            EXPECT_FALSE(line.job.failure().isEmpty()) << seed;
            continue;
        }
        ++done;
        EXPECT_EQ(WriteProfile(line.job.readBack()).toStdString(), truth.toStdString())
            << noise.name << " seed " << seed;
    }
    EXPECT_GT(done, 0) << noise.name;
}

INSTANTIATE_TEST_SUITE_P(Seeds, NoisyRead,
                         testing::Values(Noise{"Loss1", 1, 0, 1}, Noise{"Loss11", 1, 0, 11},
                                         Noise{"Loss21", 1, 0, 21}, Noise{"Flips1", 0, 2, 1},
                                         Noise{"Flips11", 0, 2, 11}, Noise{"Flips21", 0, 2, 21}),
                         [](const testing::TestParamInfo<Noise>& info) { return info.param.name; });

// Applies on a line losing one byte in a hundred either way, three retries:
// each verifies or names its failure, and most verify.
TEST(ModuleJob, AppliesOnALossyLineVerifyOrNameTheirFailure) {
    static const Profile profile = ReadCommissioned(true);
    int verified = 0;
    constexpr int kApplies = 10;
    for (unsigned seed = 1; seed <= kApplies; ++seed) {
        SimOptions options = Quick();
        options.seed = seed;
        options.loseReplies = options.loseRequests = 1;
        Line line(options);
        line.link.SetAnswerTime(kQuickAnswer);
        line.job.SetRetries(3);
        ASSERT_TRUE(line.job.StartApply(profile, true));
        ASSERT_TRUE(line.Wait());
        if (line.job.verified()) {
            ++verified;
            continue;
        }
        EXPECT_FALSE(line.job.failure().isEmpty() && line.job.mismatches() == 0) << seed;
    }
    EXPECT_GE(verified, kApplies * 8 / 10);
}
