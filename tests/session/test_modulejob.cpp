// Whole-module jobs end to end against simulated modules on pseudo-terminals.
#include <gtest/gtest.h>

#include <QTimer>
#include <memory>

#include "serial/tcomm.h"
#include "session/link.h"
#include "session/modulejob.h"
#include "session/requestrunner.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"

using Ms = std::chrono::milliseconds;

namespace {

// One simulated module and the tool's side of the line to it.
struct Line {
    explicit Line(SimOptions options = {}) : server(module, options) {
        TestApp();
        comm.CommName = server.Open();
        server.Start();
        comm.SetOutx_XonXoffFlow(false);
        comm.SetInx_XonXoffFlow(false);
        comm.SetReadIntervalTimeout(400);
        comm.OpenPort();
    }
    ~Line() {
        comm.ClosePort();
        server.Stop();
    }
    bool Wait() {
        return PumpUntil([&] { return !job.IsRunning(); }, Ms(90000));
    }

    TavrixModule module;
    SimServer server;
    Link link;
    TComm& comm = *link.Comm();
    RequestRunner& runner = *link.Sequencer();
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

// A commissioned module read as a profile.
Profile ReadCommissioned() {
    Line source;
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
                     [&] { lineLeftFree |= target.job.IsRunning() && !target.runner.IsRunning(); });
    watch.start(10);
    ASSERT_TRUE(target.job.StartApply(profile, true));
    ASSERT_TRUE(target.Wait());
    ASSERT_EQ(target.job.outcome(), ModuleJob::Outcome::Done) << target.job.failure().toStdString();
    EXPECT_FALSE(lineLeftFree);
    EXPECT_FALSE(target.runner.IsRunning());
    EXPECT_EQ(target.job.plan().steps.size(), 18u);
    EXPECT_EQ(target.job.mismatches(), 0) << ApplyReportText(target.job.report());
    EXPECT_EQ(target.job.rows().size(), profile.settings.size());
    // The port followed the module to its new line settings.
    EXPECT_EQ(target.comm.BaudRate(), 19200u);
    EXPECT_EQ(target.comm.Parity, TParity::Even);
    ModuleSettings wanted;
    CommissionedSettings(wanted);
    const ModuleSettings& got = target.module.settings();
    EXPECT_EQ(got.slaveAddress, wanted.slaveAddress);
    EXPECT_EQ(got.floatOrder, wanted.floatOrder);
    EXPECT_EQ(got.monitoringCommands[0].bytes, wanted.monitoringCommands[0].bytes);
}

TEST(ModuleJob, AModuleThatStopsAnsweringStopsTheJobAtThatStep) {
    SimOptions options;
    options.stopAfter = 6 + 4;  // the snapshot's six queries, then four set commands
    Line line(options);
    Profile profile;
    profile.settings = {{ConfigControl::ComboBox7, ConfigFieldKind::ItemIndex, 1, {}},
                        {ConfigControl::Edit14, ConfigFieldKind::Text, 0, "5"},
                        {ConfigControl::Edit6, ConfigFieldKind::Text, 0, "50"},
                        {ConfigControl::RS485ADY, ConfigFieldKind::ItemIndex, 1, {}},
                        {ConfigControl::YINSHE, ConfigFieldKind::ItemIndex, 1, {}},
                        {ConfigControl::Beilv, ConfigFieldKind::Text, 0, "1"},
                        {ConfigControl::ComboBox18, ConfigFieldKind::ItemIndex, 1, {}}};
    ASSERT_TRUE(line.job.StartApply(profile, true));
    ASSERT_TRUE(line.Wait());
    EXPECT_EQ(line.job.outcome(), ModuleJob::Outcome::TimedOut);
    EXPECT_EQ(line.job.failure(),
              "No reply at step 11 of 18 (Variable 1 map): Parameter Setting Timeout!");
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
              "Reply at step 2 of 6 (System parameters query) incomplete: groups missing: JTM: "
              "XY1:");
    EXPECT_EQ(line.job.readReplies().size(), 1u);
}

// A line that loses one reply in twenty: every apply still verifies, each lost
// reply retried and said in the report.
TEST(ModuleJob, LostRepliesAreRetriedUntilEveryApplyVerifies) {
    const Profile profile = ReadCommissioned();
    size_t retried = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
        SimOptions lossy;
        lossy.dropPercent = 5;
        lossy.seed = seed;
        lossy.replyDelayMs = 1;  // quick, so twenty runs take seconds
        lossy.requestGapMs = 5;
        Line line(lossy);
        // The simulator answers within 20 ms: a lost reply need not wait 500.
        line.link.SetAnswerTime(std::chrono::milliseconds(50));
        ASSERT_TRUE(line.job.StartApply(profile, true));
        ASSERT_TRUE(line.Wait());
        EXPECT_TRUE(line.job.verified()) << seed << ": " << line.job.failure().toStdString();
        retried += line.job.retries().size();
        EXPECT_EQ(line.job.report().retries.size(), line.job.retries().size());
    }
    EXPECT_GT(retried, 0u) << "five in a hundred replies were dropped";
}
