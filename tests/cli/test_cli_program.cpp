// tavrix-cli as a program, against simulated modules on pseudo-terminals.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"

namespace {

struct CliRun {
    int status;
    QString out;
    QString err;
};

CliRun Cli(const QStringList& args) {
    TestApp();
    QProcess process;
    process.start(TAVRIX_CLI_PATH, args);
    process.waitForFinished(90000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

class Module {
public:
    explicit Module(SimOptions options = {}) : server_(module, options) {
        path = QString::fromStdString(server_.Open());
        server_.Start();
    }
    ~Module() { server_.Stop(); }
    TavrixModule module;
    QString path;

private:
    SimServer server_;
};

}  // namespace

TEST(Cli, ReadSaveApplyVerify) {
    QTemporaryDir dir;
    const QString file = dir.filePath("plan.json");
    {
        Module source;
        source.module.settings().responseTime = 5;
        source.module.settings().slaveAddress = "042";
        const CliRun reading = Cli({"--port", source.path, "read"});
        ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reading.out.toUtf8());
    }
    Module target;
    const CliRun apply = Cli({"--port", target.path, "apply", file, "--verify"});
    EXPECT_EQ(apply.status, 0) << apply.out.toStdString() << apply.err.toStdString();
    EXPECT_EQ(target.module.settings().slaveAddress, "042");
    EXPECT_TRUE(apply.out.contains("Verification: 0 mismatches")) << apply.out.toStdString();

    Module stubborn;
    stubborn.module.settings().ignoredSetCommand = "QQS#XY1:";
    const CliRun mismatch = Cli({"--port", stubborn.path, "--json", "apply", file, "--verify"});
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_TRUE(mismatch.out.contains("\"setting\": \"rs485.responseTime\""))
        << mismatch.out.toStdString();
    EXPECT_EQ(mismatch.err, "tavrix-cli: 1 settings read back differ\n");
}

TEST(Cli, QueriesAndRefusals) {
    Module module;
    QTemporaryDir dir;
    QFile bad(dir.filePath("bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(
        "{\"format\": \"Tavrix module profile\", \"formatVersion\": 1, \"settings\": {\"x\": 1}}");
    bad.close();
    const struct {
        QStringList args;
        int status;
        const char* output;  // in stdout, or for a failure in stderr
    } cases[] = {
        {{"version"}, 0, "TAVRIX HART-MODBUS V2.0"},
        {{"hart", "variables"}, 0, "PV 12.5"},
        {{"modbus", "read", "1", "2", "4"}, 0, "40003 "},
        {{"apply", bad.fileName()}, 2, "bad.json: field settings.x: unknown field"},
        {{"modbus", "read", "1", "x", "4"}, 2, "START must be a number"},
        {{"frobnicate"}, 2, "unknown command"},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli(QStringList{"--port", module.path} + c.args);
        EXPECT_EQ(run.status, c.status) << c.args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_TRUE((c.status == 0 ? run.out : run.err).contains(c.output))
            << c.args.join(' ').toStdString() << ": " << run.out.toStdString()
            << run.err.toStdString();
    }
    EXPECT_EQ(Cli({"read"}).status, 2) << "no port";
}

// Replies paused part-way: waited out when the pause is shorter than the
// step's timeout, else a failure naming the step; never a short result.
TEST(Cli, SplitRepliesAreWaitedOutOrFailNamingTheStep) {
    const struct {
        QStringList args;
        const char* whole;   // in stdout when the pause is waited out
        const char* failed;  // in stderr when it is not
    } cases[] = {
        {{"version"}, "TAVRIX HART-MODBUS V2.0 2025-02-23", "reply to Communication query"},
        {{"read"}, "monitoringCommand2.bytes", "step 1 of 6 (Communication query)"},
        {{"hart", "variables"}, "QV 25", "reply to HART command 0"},
        {{"modbus", "read", "1", "0", "10"}, "40010 ", "reply to MODBUS read"},
    };
    const struct {
        int after, percent, pauseMs;
        bool waitedOut;
    } splits[] = {{12, 0, 300, true}, {0, 60, 300, true}, {12, 0, 2000, false}};
    for (const auto& split : splits) {
        SimOptions options;
        options.splitAfter = split.after;
        options.splitPercent = split.percent;
        options.splitPauseMs = split.pauseMs;
        for (const auto& c : cases) {
            Module module(options);  // a fresh one: a paused reply must not meet the next request
            const CliRun run = Cli(QStringList{"--port", module.path} + c.args);
            const std::string what = c.args.join(' ').toStdString() + " " +
                                     std::to_string(split.after) + "/" +
                                     std::to_string(split.percent);
            if (split.waitedOut) {
                EXPECT_EQ(run.status, 0) << what << run.err.toStdString();
                EXPECT_TRUE(run.out.contains(c.whole)) << what << run.out.toStdString();
            } else {
                EXPECT_EQ(run.status, 1) << what << run.out.toStdString();
                EXPECT_TRUE(run.err.contains(c.failed)) << what << run.err.toStdString();
            }
        }
    }
}
