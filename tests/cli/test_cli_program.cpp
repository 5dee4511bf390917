// tavrix-cli as a program, against simulated modules on pseudo-terminals.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <csignal>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

#include "exchange/requeststeps.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"
#include "tests/serial/ptypair.h"
#include "tests/serial/ser2net.h"

namespace {

struct CliRun {
    int status;
    QString out;
    QString err;
};

// Backups the program keeps unasked go here, not into the home folder.
QProcessEnvironment CliEnvironment() {
    static QTemporaryDir state;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", state.path());
    return environment;
}

// `stateHome`: the journals go there rather than to the tests' shared folder.
CliRun Cli(const QStringList& args, const QString& stateHome = {}) {
    TestApp();
    QProcess process;
    QProcessEnvironment environment = CliEnvironment();
    if (!stateHome.isEmpty()) environment.insert("XDG_STATE_HOME", stateHome);
    process.setProcessEnvironment(environment);
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
    int requests() const { return server_.requestsAnswered(); }
    int collisions() const { return server_.collisions(); }
    std::vector<Bytes> heard() const { return server_.RequestsHeard(); }
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

    // An error acknowledgement fails the apply, verified or not.
    Module refusing;
    refusing.module.settings().refusedSetCommand = "QQS#MD:";
    const CliRun refused = Cli({"--port", refusing.path, "apply", file});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(
        refused.err.contains("(Operation mode) wrong: the module refused the setting: "
                             "\"QQS#MD:ERR#\""))
        << refused.err.toStdString();

    // A factory module's profile clears a used module's command bytes, and verifies.
    const QString factory = dir.filePath("factory.json");
    {
        Module fresh;
        QFile out(factory);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(Cli({"--port", fresh.path, "read"}).out.toUtf8());
    }
    Module used;
    used.module.settings().monitoringCommands[0] = {1, {0x0A, 0x0B}};
    const CliRun cleared = Cli({"--port", used.path, "apply", factory, "--verify"});
    EXPECT_EQ(cleared.status, 0) << cleared.out.toStdString() << cleared.err.toStdString();
    EXPECT_TRUE(used.module.settings().monitoringCommands[0].bytes.empty());

    // A value no field can carry: refused whole, and the module is sent nothing.
    QFile plan(file);
    ASSERT_TRUE(plan.open(QIODevice::ReadOnly));
    QByteArray zero = plan.readAll();
    zero.replace("\"system.slaveAddress\": \"042\"", "\"system.slaveAddress\": \"000\"");
    QFile zeroFile(dir.filePath("zero.json"));
    ASSERT_TRUE(zeroFile.open(QIODevice::WriteOnly));
    zeroFile.write(zero);
    zeroFile.close();
    Module untouched;
    const CliRun invalid = Cli({"--port", untouched.path, "apply", zeroFile.fileName()});
    EXPECT_EQ(invalid.status, 2);
    EXPECT_TRUE(
        invalid.err.contains("field settings.system.slaveAddress: must be a MODBUS slave "
                             "address from 1 to 247, not 000"))
        << invalid.err.toStdString();
    EXPECT_EQ(untouched.requests(), 0);
}

TEST(Cli, QueriesAndRefusals) {
    Module module;
    module.module.settings().extraRegisters = {300, 303};
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
        {{"--version"}, 0, "tavrix-cli 2.0.0"},
        {{"hart", "variables"}, 0, "Loop current 12 mA\nPV 12.5"},
        {{"--hart-address", "5", "hart", "identity"}, 1,
         "no reply to HART command 0: HART Command Timeout!\nThe module has not answered since "
         "the port was opened: check first that it answers its own queries"},
        {{"--json", "hart", "identity"}, 0, "\"result\": \"ok\""},
        {{"modbus", "read", "1", "2", "4"}, 0, "40003 "},
        {{"apply", bad.fileName()}, 2, "bad.json: field settings.x: unknown field"},
        {{"modbus", "read", "1", "x", "4"}, 2, "START must be a number"},
        {{"modbus", "read", "1", "300", "4"}, 0, "40301 012C\n40302 012D\n40303 012E\n40304 012F"},
        {{"modbus", "read", "9", "0", "4"}, 1,
         "no reply to MODBUS read: the slave did not answer within"},
        {{"modbus", "read", "0", "0", "4"}, 2, "SLAVE must be a number from 1 to 247, not '0'"},
        {{"modbus", "read", "1", "65535", "2"}, 2, "START + COUNT must stay within"},
        {{"--echo", "on", "version"}, 1, "if this adapter does not echo, set echo to auto or off"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"scan", "hart"}, 0, "polling address 0: manufacturer 0x005A, device type 0x0B"},
        {{"scan", "hart", "--range", "1-3"}, 1, "nothing answered 3 candidates"},
        {{"--answer-time", "60", "--json", "scan", "bus", "--range", "1-2"}, 0,
         "\"finds\": [\n        {\n            \"slave\": 1\n        }\n    ]"},
        {{"scan", "bus", "--range", "0-300"}, 2, "--range: the range 0-300 is not within 1-247"},
        {{"scan", "line", "--range", "1-2"}, 2, "--range belongs to scan bus and scan hart"},
        {{"hart", "loop-check"}, 0,
         "20 mA: HART 20.000 mA (100.0 %), MODBUS 40003 20.000 mA, deviation +0.000 mA: pass\n"
         "Fixed current mode left"},
        {{"hart", "loop-check", "--points", "4,30"}, 2,
         "--points: the loop point 30 mA is outside 3.5 to 22.5 mA"},
        {{"hart", "loop-check", "--tolerance", "0"}, 2, "--tolerance: the tolerance \"0\""},
        {{"--points", "4", "version"}, 2, "--points and --tolerance belong to hart loop-check"},
        // A pseudo-terminal has no RS-485 mode: the driver's refusal, with its error.
        {{"--rs485", "--rts-delay-before", "2", "version"}, 3,
         "the driver refused RS-485 mode (TIOCSRS485: Inappropriate ioctl for device)"},
        {{"--rts-delay-after", "2", "version"}, 2, "belong to --rs485"},
        {{"--rs485", "--rts-delay-after", "5000", "version"}, 2,
         "--rts-delay-after must be a number from 0 to 1000"},
        // Commissioning, each write read back; these change the instrument, so they come last.
        {{"hart", "damping", "2"}, 0, "damping 0.5 s → 2 s: done and read back: damping 2 s"},
        {{"hart", "units", "7"}, 0, "PV units kPa → bar: done and read back: PV units bar"},
        {{"hart", "units", "250"}, 2, "CODE must be a number from 0 to 249"},
        {{"hart", "damping", "-1"}, 2, "SECONDS must be a number of seconds from 0, not '-1'"},
        {{"hart", "reset-changed"}, 0,
         "reset the configuration changed flag: done and read back: configuration changed flag "
         "clear"},
        {{"hart", "self-test"}, 0, "self test: done; additional status all clear"},
        {{"hart", "reset"}, 0, "device reset: done: the instrument restarts"},
        // Standard input here is no terminal to ask for the meter's readings.
        {{"hart", "trim"}, 2, "hart trim needs --reference-4 MA and --reference-20 MA"},
        {{"hart", "trim", "--reference-4", "40.13", "--reference-20", "20"}, 2,
         "--reference-4 '40.13': the reading 40.13 mA is more than 1 mA from 4 mA"},
        {{"--reference-20", "20", "version"}, 2, "belong to hart trim"},
    };
    for (const auto& c : cases) {
        const CliRun run = Cli(QStringList{"--port", module.path} + c.args);
        EXPECT_EQ(run.status, c.status) << c.args.join(' ').toStdString() << run.err.toStdString();
        EXPECT_TRUE((c.status == 0 ? run.out : run.err).contains(c.output))
            << c.args.join(' ').toStdString() << ": " << run.out.toStdString()
            << run.err.toStdString();
    }
    EXPECT_EQ(Cli({"read"}).status, 2) << "no port";
    // Arguments and files are checked before a port is opened; a port that
    // cannot be opened says why and what to do.
    const CliRun args = Cli({"--port", "/dev/tavrix-none", "apply", bad.fileName()});
    EXPECT_EQ(args.status, 2) << args.err.toStdString();
    const CliRun missing = Cli({"--port", "/dev/tavrix-none", "--json", "version"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_TRUE(missing.err.contains("cannot open /dev/tavrix-none: Error opening serial port\n"))
        << missing.err.toStdString();
    // The window's informative text, word for word.
    EXPECT_TRUE(missing.err.contains("Error opening serial port\n/dev/tavrix-none: No such file or "
                                     "directory\n\nThere is no such device. Is the adapter "
                                     "plugged in?"))
        << missing.err.toStdString();
    EXPECT_TRUE(missing.out.contains("\"exitCode\": 3")) << missing.out.toStdString();
}

// The loop current trim with the meter's readings given: the instrument's
// output corrected and the loop released.
TEST(Cli, HartTrimWithTheMetersReadings) {
    Module module;
    module.module.settings().hart.outputZero = -0.02f;
    module.module.settings().hart.outputGain = 0.998f;
    const CliRun run = Cli({"--port", module.path, "hart", "trim", "--reference-4", "3.98",
                            "--reference-20", "19.968"});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("loop current trimmed: 4 mA read 3.980 mA, 20 mA read 19.968 mA; "
                                 "fixed current mode left"))
        << run.out.toStdString();
    {
        std::lock_guard lock(module.module.mutex());
        const auto& hart = module.module.settings().hart;
        EXPECT_FALSE(hart.fixedCurrent);
        EXPECT_NEAR(hart.outputZero, 0.0f, 1e-4f);
        EXPECT_NEAR(hart.outputGain, 1.0f, 1e-4f);
    }
}

// On a terminal long work keeps a progress line on stderr; --quiet, or
// stderr a pipe, and nothing of it is written.
TEST(Cli, ProgressShowsOnATerminalOnly) {
    Module module;
    const QString scan = QString(TAVRIX_CLI_PATH) + " --port " + module.path + " scan bus --range 1-4";
    const auto onTerminal = [](const QString& command) {
        QProcess process;
        process.setProcessEnvironment(CliEnvironment());
        process.start("script", {"-q", "-c", command, "/dev/null"});
        process.waitForFinished(30000);
        return QString::fromUtf8(process.readAll());
    };
    const QString shown = onTerminal(scan);
    EXPECT_TRUE(shown.contains("candidate 2 of 4: slave 2, ")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("slave 1")) << shown.toStdString();
    const QString quiet = onTerminal(scan + " --quiet");
    EXPECT_FALSE(quiet.contains("candidate")) << quiet.toStdString();
    EXPECT_TRUE(quiet.contains("slave 1")) << quiet.toStdString();
    EXPECT_FALSE(Cli({"--port", module.path, "scan", "bus", "--range", "1-4"}).err.contains("candidate"))
        << "stderr a pipe";
}

// A loop check after a verified apply goes into the certificate, point by
// point; a point out of tolerance fails the run though the certificate is written.
TEST(Cli, LoopCheckIntoTheCertificate) {
    QTemporaryDir dir;
    const QString plan = dir.filePath("plan.json");
    {
        Module source;
        QFile out(plan);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(Cli({"--port", source.path, "read"}).out.toUtf8());
    }
    Module target;
    {
        std::lock_guard lock(target.module.mutex());
        target.module.settings().currentOffset = 0.2f;
        target.module.settings().currentOffsetAt = 4.0f;
        // A revision 7 instrument whose fourth variable is not available.
        target.module.settings().hart.revision = 7;
        target.module.settings().hart.manufacturer = 0x60;
        target.module.settings().hart.nanVariable = 3;
        target.module.settings().hart.preamblesRequested = 10;
        target.module.settings().hart.forcedResponse = {{3, 8}};  // its values hold all the same
    }
    const QString certificates = dir.filePath("certificates");
    const CliRun run = Cli({"--port", target.path, "apply", plan, "--verify", "--certificate",
                            certificates, "--loop-check", "--points", "4,20"});
    // Verified, but the certificate's checks did not pass (a variable not available, a point off).
    EXPECT_EQ(run.status, 5) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("verified, but cross-check: ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("loop check: 1 of 2 points within 0.05 mA")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("the loop current will be held at 4 and 20 mA")) << run.err.toStdString();
    const QStringList files = QDir(certificates).entryList({"*.json"});
    ASSERT_EQ(files.size(), 1);
    QFile json(certificates + "/" + files[0]);
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QJsonObject certificate = QJsonDocument::fromJson(json.readAll()).object();
    const QJsonObject hart = certificate["hart"].toObject();
    EXPECT_EQ(hart["identity"].toString(), "manufacturer 0x0060, device type 0x600B, id 1193046, HART 7");
    // Named as the plant knows it, and what it measures.
    EXPECT_EQ(hart["tag"].toString(), "PT-101");
    EXPECT_EQ(hart["descriptor"].toString(), "FEED PRESSURE");
    EXPECT_EQ(hart["range"].toString(), "0 to 25 kPa");
    const QJsonObject crossCheck = certificate["crossCheck"].toObject();
    EXPECT_EQ(crossCheck["rows"].toArray()[3].toObject()["hart"].toString(), "not available");
    EXPECT_TRUE(crossCheck["note"].toString().endsWith(
        "; 1 could not be compared; the HART values came with response code 8 command-specific"))
        << crossCheck["note"].toString().toStdString();
    if (!QStandardPaths::findExecutable("pdftotext").isEmpty()) {
        QProcess text;
        text.start("pdftotext", {QString(json.fileName()).replace(".json", ".pdf"), "-"});
        ASSERT_TRUE(text.waitForFinished(30000));
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        EXPECT_TRUE(page.contains("manufacturer 0x0060, device type 0x600B, id 1193046, HART 7"))
            << page.toStdString();
        EXPECT_TRUE(page.contains("PT-101") && page.contains("0 to 25 kPa")) << page.toStdString();
    }
    const QJsonArray lines = certificate["loopCheck"].toArray();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].toString().startsWith("4 mA: HART 4.000 mA (0.0 %), MODBUS 40003 4.200 mA"));
    // The warning command 3 came with, named on each point's line.
    EXPECT_TRUE(lines[2].toString().endsWith(
        ": pass (warning: command 3: response code 8 command-specific)"))
        << lines[2].toString().toStdString();
    EXPECT_EQ(lines[3].toString(), "Fixed current mode left: the loop current follows the process again.");
    EXPECT_FALSE(target.module.settings().hart.fixedCurrent);
    // The certificate's and the loop check's frames: command 0 (short) with
    // the default, every long frame with what the instrument asked for.
    int longFrames = 0;
    for (const Bytes& frame : target.heard()) {
        const auto preambles =
            std::find_if(frame.begin(), frame.end(), [](uint8_t b) { return b != 0xFF; }) -
            frame.begin();
        if (preambles == 0 || preambles == static_cast<long>(frame.size())) continue;
        const bool longFrame = frame[static_cast<size_t>(preambles)] == 0x82;
        longFrames += longFrame ? 1 : 0;
        EXPECT_EQ(preambles, longFrame ? 10 : kDefaultHartPreamble + 1);
    }
    EXPECT_GE(longFrames, 5);
    EXPECT_EQ(Cli({"--port", target.path, "read", "--loop-check"}).status, 2);
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
        {{"read"}, "monitoringCommand2.bytes", " of 12 ("},  // the step it stopped at
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

// Eight modules in one command, behind four kinds of adapter, each with its
// certificate; then a module that
// stops answering half-way: the report names what was and was not
// acknowledged, and its restore command brings the module back.
TEST(Cli, AFleetIsCommissionedAndAHalfDoneApplyIsRestored) {
    QTemporaryDir dir;
    const QString plan = dir.filePath("plan.json");
    {
        Module source;
        source.module.settings().slaveAddress = "042";
        source.module.settings().pollInterval = "120";
        const CliRun reading = Cli({"--port", source.path, "read"});
        ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
        QFile out(plan);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reading.out.toUtf8());
    }
    std::vector<std::unique_ptr<Module>> fleet;
    QStringList args;
    // Behind the adapters a fleet meets: bare, echoing, a 16 ms latency timer, 40 ms and echoing.
    const SimOptions adapters[] = {{}, {.echo = true}, {.latencyMs = 16}, {.latencyMs = 40, .echo = true}};
    for (int i = 0; i < 8; ++i) {
        fleet.push_back(std::make_unique<Module>(adapters[i % 4]));
        args << "--port" << fleet.back()->path;
    }
    const QString certificates = dir.filePath("certificates");
    const CliRun all =
        Cli(args + QStringList{"apply", plan, "--verify", "--certificate", certificates});
    EXPECT_EQ(all.status, 0) << all.out.toStdString() << all.err.toStdString();
    EXPECT_TRUE(all.out.contains("8 of 8 modules verified.")) << all.out.toStdString();
    EXPECT_EQ(QDir(certificates).entryList({"*.pdf"}).size(), 8);
    EXPECT_EQ(QDir(certificates).entryList({"*.json"}).size(), 8);
    for (const auto& m : fleet) EXPECT_EQ(m->module.settings().slaveAddress, "042");

    // The snapshot's six queries, each twice, and three set commands are
    // answered, then nothing.
    TavrixModule module;
    const QString backup = dir.filePath("backup.json");
    QString restore;
    {
        SimOptions silentAfter;
        silentAfter.stopAfter = 15;
        SimServer server(module, silentAfter);
        const QString path = QString::fromStdString(server.Open());
        server.Start();
        const CliRun half = Cli({"--port", path, "--json", "apply", plan, "--verify", "--backup",
                                 backup, "--certificate", certificates});
        server.Stop();
        EXPECT_EQ(half.status, 1);
        // Its record beside the others', saying what failed.
        const QStringList records = QDir(certificates).entryList({"*.json"}, QDir::Files, QDir::Time);
        ASSERT_EQ(records.size(), 9);
        QFile record(certificates + "/" + records.first());
        ASSERT_TRUE(record.open(QIODevice::ReadOnly));
        const QJsonObject failed = QJsonDocument::fromJson(record.readAll()).object();
        EXPECT_FALSE(failed["verified"].toBool());
        EXPECT_TRUE(failed["failure"].toString().contains("RS485 response time"))
            << failed["failure"].toString().toStdString();
        EXPECT_EQ(QDir(certificates).entryList({"*.pdf"}).size(), 9);
        const QJsonObject report = QJsonDocument::fromJson(half.out.toUtf8()).object();
        EXPECT_EQ(report["result"].toString(), "failed");
        EXPECT_EQ(report["exitCode"].toInt(), 1);
        EXPECT_EQ(report["step"].toString(), "RS485 response time");
        EXPECT_EQ(report["lineNow"].toString(), "9600 8N1");
        EXPECT_TRUE(report["halfConfigured"].toBool());
        EXPECT_EQ(report["applied"].toArray().size(), 3);
        EXPECT_EQ(report["unsent"].toArray().first().toString(), "RS485 response time");
        // It went out; its acknowledgement never came. The rest were never sent.
        EXPECT_EQ(report["sentUnacknowledged"].toArray(), QJsonArray{"RS485 response time"});
        restore = report["restoreCommand"].toString();
        EXPECT_TRUE(restore.endsWith(" apply " + backup + " --verify")) << restore.toStdString();
    }
    EXPECT_EQ(module.settings().slaveAddress, "042") << "half-configured";
    SimServer again(module, {});  // the same module, answering again
    const QString path = QString::fromStdString(again.Open());
    again.Start();
    QStringList words = restore.split(' ').mid(1);
    words[words.indexOf("--port") + 1] = path;  // a new line to the same module
    const CliRun restored = Cli(words);
    again.Stop();
    EXPECT_EQ(restored.status, 0) << restored.out.toStdString() << restored.err.toStdString();
    EXPECT_EQ(module.settings().slaveAddress, ModuleSettings{}.slaveAddress);
    EXPECT_EQ(module.settings().pollInterval, ModuleSettings{}.pollInterval);
}

// SIGTERM during an apply: the run stops after the exchange under way and the
// report says what the module is left with.
// Terminated while the loop is held: the check stops and the loop is released.
TEST(Cli, ATerminatedLoopCheckLeavesFixedCurrentMode) {
    Module module;
    const auto held = [&] {
        std::lock_guard lock(module.module.mutex());
        return module.module.settings().hart.fixedCurrent;
    };
    QProcess process;
    process.setProcessEnvironment(CliEnvironment());
    process.start(TAVRIX_CLI_PATH, {"--port", module.path, "hart", "loop-check", "--points",
                                    "4,6,8,10,12,14,16,18,20,22"});
    ASSERT_TRUE(PumpUntil([&] { return held().has_value(); }, std::chrono::milliseconds(20000)));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(err.contains("the loop check was stopped")) << err.toStdString();
    EXPECT_TRUE(out.contains("Fixed current mode left")) << out.toStdString();
    EXPECT_FALSE(held()) << "the simulator's loop is still held";
}

TEST(Cli, ATerminatedApplyStopsBetweenExchangesWithItsReport) {
    QTemporaryDir dir;
    const QString plan = dir.filePath("plan.json");
    Module module;
    {
        QFile out(plan);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(Cli({"--port", module.path, "read"}).out.toUtf8());
    }
    const int before = module.requests();
    QProcess process;
    process.setProcessEnvironment(CliEnvironment());
    process.start(TAVRIX_CLI_PATH, {"--port", module.path, "apply", plan, "--verify", "--backup",
                                    dir.filePath("backup.json")});
    // Into the set commands: the snapshot's six queries twice and a few more answered.
    ASSERT_TRUE(PumpUntil([&] { return module.requests() >= before + 15; },
                          std::chrono::milliseconds(20000)));
    process.terminate();
    ASSERT_TRUE(process.waitForFinished(10000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(out.startsWith("HALF-CONFIGURED: ")) << out.toStdString();
    EXPECT_TRUE(out.contains("Stopped: Stopped on request")) << out.toStdString();
    EXPECT_TRUE(out.contains("To restore the module as it was: ")) << out.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("backup.json")));
}

// Finding what is on the line, through the simulator: the module's own line
// settings, every module on the bus and no others, the instrument with its
// identity at a polling address of the usual and of the extended range.
TEST(Cli, ScansFindTheLineTheModulesOnTheBusAndTheInstrument) {
    const struct {
        const char* what;
        std::function<void(TavrixModule&, SimOptions&)> setUp;
        QStringList args;
        QStringList finds;  // each find's identifying fields, in order
    } cases[] = {
        {"a module at 19200 Even",
         [](TavrixModule& m, SimOptions& o) {
             m.settings().rs485Baud = 4;
             m.settings().rs485Parity = 2;
             o.rs485Line = true;
         },
         {"scan", "line"},
         {"19200 even TAVRIX HART-MODBUS V2.0 2025-02-23"}},
        {"a module at 19200 Even behind a 1 ms adapter",
         [](TavrixModule& m, SimOptions& o) {
             m.settings().rs485Baud = 4;
             m.settings().rs485Parity = 2;
             o.rs485Line = true;
             o.latencyMs = 1;
         },
         {"scan", "line"},
         {"19200 even TAVRIX HART-MODBUS V2.0 2025-02-23"}},
        {"a module at 19200 Even behind a 16 ms adapter",
         [](TavrixModule& m, SimOptions& o) {
             m.settings().rs485Baud = 4;
             m.settings().rs485Parity = 2;
             o.rs485Line = true;
             o.latencyMs = 16;
         },
         {"scan", "line"},
         {"19200 even TAVRIX HART-MODBUS V2.0 2025-02-23"}},
        {"a module at 19200 Even behind a 40 ms adapter",
         [](TavrixModule& m, SimOptions& o) {
             m.settings().rs485Baud = 4;
             m.settings().rs485Parity = 2;
             o.rs485Line = true;
             o.latencyMs = 40;
         },
         {"scan", "line"},
         {"19200 even TAVRIX HART-MODBUS V2.0 2025-02-23"}},
        {"modules at 3, 17 and 200",
         [](TavrixModule& m, SimOptions& o) {
             m.settings().slaveAddress = "003";
             m.settings().otherModules = {17, 200};
             o.halfDuplex = true;  // a request over an answer would collide
         },
         {"scan", "bus"},
         {"slave 3", "slave 17", "slave 200"}},
        {"an instrument at 5",
         [](TavrixModule& m, SimOptions&) { m.settings().hart.pollingAddress = 5; },
         {"scan", "hart"},
         {"address 5 90/11 123456 rev 5/1"}},
        {"an instrument at 42",
         [](TavrixModule& m, SimOptions&) { m.settings().hart.pollingAddress = 42; },
         {"scan", "hart", "--range", "0-63"},
         {"address 42 90/11 123456 rev 5/1"}},
    };
    for (const auto& c : cases) {
        SimOptions options;
        TavrixModule module;
        c.setUp(module, options);
        SimServer server(module, options);
        const QString path = QString::fromStdString(server.Open());
        server.Start();
        const CliRun run = Cli(QStringList{"--port", path, "--json"} + c.args);
        server.Stop();
        EXPECT_EQ(run.status, 0) << c.what << ": " << run.err.toStdString();
        EXPECT_EQ(server.collisions(), 0) << c.what;
        QStringList finds;
        for (const QJsonValue& value :
             QJsonDocument::fromJson(run.out.toUtf8()).object()["finds"].toArray()) {
            const QJsonObject f = value.toObject();
            if (f.contains("baud")) {
                finds << QString("%1 %2 %3").arg(f["baud"].toInt()).arg(f["parity"].toString(),
                                                                        f["version"].toString());
            } else if (f.contains("slave")) {
                finds << QString("slave %1").arg(f["slave"].toInt());
            } else {
                finds << QString("address %1 %2/%3 %4 rev %5/%6")
                             .arg(f["pollingAddress"].toInt())
                             .arg(f["manufacturer"].toInt())
                             .arg(f["deviceType"].toInt())
                             .arg(f["deviceId"].toString())
                             .arg(f["universalRevision"].toInt())
                             .arg(f["deviceRevision"].toInt());
            }
        }
        EXPECT_EQ(finds, c.finds) << c.what << ": " << run.out.toStdString();
    }
}

// The instrument's data as it gives it, through the simulator: a revision 7
// identity by its 16-bit manufacturer code and expanded device type, a
// variable not available, a warning's data kept, an error's meaning, and
// every frame after command 0 with the preambles it asked for. (What the
// replies decode to is shown by the decoders' own tables.)
TEST(Cli, HartDataAsTheInstrumentGivesIt) {
    using Hart = ModuleSettings::HartInstrumentSettings;
    const struct {
        const char* what;
        std::function<void(Hart&)> setUp;
        QStringList args;
        int status;
        QStringList out;  // each in stdout, or for a failure in stderr
    } cases[] = {
        {"revision 7",
         [](Hart& h) {
             h.revision = 7;
             h.manufacturer = 0x60;
         },
         {"hart", "identity"},
         0,
         {"manufacturer 0x0060, device type 0x600B, id 1193046, HART 7\npreambles 5"}},
        {"revision 7 in JSON",
         [](Hart& h) {
             h.revision = 7;
             h.manufacturer = 0x60;
         },
         {"--json", "hart", "identity"},
         0,
         {"\"manufacturerCode\": 96,", "\"expandedDeviceType\": 24587,", "\"revision\": 7",
          "\"manufacturer\": 96,", "\"deviceType\": 24587,"}},
        {"revision 7 found by the scan",
         [](Hart& h) {
             h.revision = 7;
             h.manufacturer = 0x60;
         },
         {"scan", "hart", "--range", "0-0"},
         0,
         {"polling address 0: manufacturer 0x0060, device type 0x600B, id 1193046, HART 7"}},
        {"a variable not available in JSON", [](Hart& h) { h.nanVariable = 1; },
         {"--json", "hart", "variables"}, 0,
         {"\"available\": false,", "\"unitCode\": 32,", "\"value\": \"not available\""}},
        {"a warning keeps the data", [](Hart& h) { h.forcedResponse = {{3, 8}}; },
         {"hart", "variables"}, 0, {"PV 12.5 kPa", "warning: response code 8"}},
        {"an error gives none", [](Hart& h) { h.forcedResponse = {{3, 16}}; },
         {"hart", "variables"}, 1, {"response code 16 access restricted"}},
        {"preambles asked for", [](Hart& h) { h.preamblesRequested = 10; }, {"hart", "variables"},
         0, {"Loop current 12 mA"}},
    };
    for (const auto& c : cases) {
        Module module;
        c.setUp(module.module.settings().hart);
        const CliRun run = Cli(QStringList{"--port", module.path} + c.args);
        EXPECT_EQ(run.status, c.status) << c.what << ": " << run.err.toStdString();
        for (const QString& part : c.out)
            EXPECT_TRUE((c.status == 0 ? run.out : run.err).contains(part))
                << c.what << ": " << part.toStdString() << " in " << run.out.toStdString()
                << run.err.toStdString();
        // Command 0 goes with the default; what follows carries what it asked for.
        if (c.args.contains("scan")) continue;
        const auto heard = module.heard();
        const int asked = module.module.settings().hart.preamblesRequested;
        for (size_t i = 0; i < heard.size(); ++i) {
            const auto preambles = std::find_if(heard[i].begin(), heard[i].end(),
                                                [](uint8_t b) { return b != 0xFF; }) -
                                   heard[i].begin();
            if (preambles == 0) continue;  // not a HART frame
            if (i == 0)
                EXPECT_EQ(preambles, kDefaultHartPreamble + 1) << c.what;
            else
                EXPECT_EQ(preambles, asked) << c.what << ": request " << i;
        }
    }
}

namespace {

// Every option the help names has its entry in the manual.
TEST(Cli, TheManualListsEveryOptionOfTheHelp) {
    const CliRun help = Cli({"--help"});
    ASSERT_EQ(help.status, 0);
    QFile page(TAVRIX_SOURCE_DIR "/man/tavrix-cli.1");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(page.readAll()).replace("\\-", "-");
    QSet<QString> options;
    for (const auto& match : QRegularExpression("(--[a-z][a-z0-9-]*)").globalMatch(help.out))
        options.insert(match.captured(1));
    EXPECT_GE(options.size(), 14);
    for (const QString& option : options) {
        EXPECT_TRUE(QRegularExpression("\n\\.BI? " + QRegularExpression::escape(option) + "[ \n]")
                        .match(manual)
                        .hasMatch())
            << option.toStdString();
    }
}

}  // namespace

namespace {

// A signal stops the run after the exchange under way; a second one closes
// the port at once. Either way the tty's exclusive flag is cleared.
TEST(Cli, SignalsCloseThePortProperly) {
    TestApp();
    for (const bool twice : {false, true}) {
        TPtyPair pty;  // nobody answers: the exchange waits its answer time
        QProcess cli;
        cli.setProcessEnvironment(CliEnvironment());
        cli.start(TAVRIX_CLI_PATH,
                  {"--port", QString::fromStdString(pty.SlavePath()), "--answer-time", "1500",
                   "version"});
        ASSERT_TRUE(cli.waitForStarted(10000));
        int exclusive = 0;
        const auto flag = [&] {
            exclusive = -1;
            ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive);
            return exclusive;
        };
        ASSERT_TRUE(PumpUntil([&] { return flag() == 1; }, std::chrono::milliseconds(20000)));
        kill(static_cast<pid_t>(cli.processId()), SIGHUP);
        if (twice) {
            ASSERT_TRUE(PumpUntil([&] { return cli.readAllStandardError().contains("stopping"); },
                                  std::chrono::milliseconds(10000)));
            kill(static_cast<pid_t>(cli.processId()), SIGHUP);
        }
        ASSERT_TRUE(cli.waitForFinished(20000));
        EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
        if (twice) EXPECT_EQ(cli.exitCode(), 128 + SIGHUP);
        else EXPECT_EQ(cli.exitCode(), 1) << "the exchange under way timed out";
        EXPECT_EQ(flag(), 0) << (twice ? "second signal" : "first signal");
    }
}

}  // namespace

namespace {

// The frames of a journal's TX rows, in order.
std::vector<Bytes> JournalFrames(const QString& path) {
    QFile file(path);
    std::vector<Bytes> frames;
    if (!file.open(QIODevice::ReadOnly)) return frames;
    // The columns by their names, as the file's own column row gives them.
    qsizetype dir = -1, hex = -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> cells = line.split('\t');
        if (line.startsWith("#")) continue;
        if (dir < 0) {
            dir = cells.indexOf("Dir");
            hex = cells.indexOf("Hex");
            continue;
        }
        if (cells.size() <= std::max(dir, hex) || cells[dir] != "TX") continue;
        Bytes frame;
        for (const QByteArray& h : cells[hex].split(' ')) frame.push_back(h.toUInt(nullptr, 16));
        frames.push_back(frame);
    }
    return frames;
}

}  // namespace

// tavrix-cli killed outright in the middle of an apply: its journal holds
// every frame the module heard, in order, whichever step it was at; from the
// first set command on, the snapshot is on disk and the next run on the port
// says the apply did not finish, with a restore command that works.
TEST(Cli, AKilledApplyLeavesEveryFrameSentInItsJournal) {
    QTemporaryDir dir;
    const QString file = dir.filePath("plan.json");
    {
        Module source;
        source.module.settings().slaveAddress = "042";
        const CliRun reading = Cli({"--port", source.path, "read"});
        ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reading.out.toUtf8());
    }
    // The snapshot (twelve readings), early and late set commands, the read-back.
    constexpr int kSnapshotReadings = 12;
    for (const int killAt : {2, 14, 23, 32}) {
        QTemporaryDir state;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_STATE_HOME", state.path());
        Module target;
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(TAVRIX_CLI_PATH, {"--port", target.path, "apply", file, "--verify"});
        ASSERT_TRUE(PumpUntil([&] { return static_cast<int>(target.heard().size()) >= killAt; },
                              std::chrono::milliseconds(30000)))
            << killAt;
        cli.kill();  // SIGKILL: nothing of the program's own runs after it
        ASSERT_TRUE(cli.waitForFinished(10000));
        EXPECT_EQ(cli.exitStatus(), QProcess::CrashExit);
        const std::vector<Bytes> heard = target.heard();

        const QStringList journals =
            QDir(state.filePath("tavrix")).entryList({"traffic-*.txt"}, QDir::Files);
        ASSERT_EQ(journals.size(), 1) << killAt;
        const QString name = journals.front();
        EXPECT_TRUE(name.endsWith("-" + QFileInfo(target.path).fileName() + ".txt"))
            << name.toStdString();
        const std::vector<Bytes> sent = JournalFrames(state.filePath("tavrix/" + name));
        // A frame is journalled before it is written, so at most one more.
        ASSERT_GE(sent.size(), heard.size()) << killAt;
        EXPECT_LE(sent.size(), heard.size() + 1) << killAt;
        for (size_t i = 0; i < heard.size(); ++i) EXPECT_EQ(sent[i], heard[i]) << killAt << " " << i;

        QProcess next;
        next.setProcessEnvironment(environment);
        next.start(TAVRIX_CLI_PATH, {"--port", target.path, "version"});
        ASSERT_TRUE(next.waitForFinished(30000));
        EXPECT_EQ(next.exitCode(), 0);
        const QString warning = QString::fromUtf8(next.readAllStandardError());
        if (killAt <= kSnapshotReadings) {
            EXPECT_FALSE(warning.contains("did not finish")) << warning.toStdString();
            continue;
        }
        EXPECT_TRUE(warning.contains("did not finish: the module may be half-configured"))
            << killAt << warning.toStdString();
        const QRegularExpressionMatch restore =
            QRegularExpression("restore: tavrix-cli (.*)\n").match(warning);
        ASSERT_TRUE(restore.hasMatch()) << warning.toStdString();
        QProcess undo;
        undo.setProcessEnvironment(environment);
        undo.start(TAVRIX_CLI_PATH, QProcess::splitCommand(restore.captured(1)));
        ASSERT_TRUE(undo.waitForFinished(60000));
        EXPECT_EQ(undo.exitCode(), 0) << killAt << undo.readAllStandardOutput().toStdString();
        EXPECT_EQ(target.module.settings().slaveAddress, ModuleSettings{}.slaveAddress) << killAt;
        // The restore ended with its report: the note is gone.
        next.start(TAVRIX_CLI_PATH, {"--port", target.path, "version"});
        ASSERT_TRUE(next.waitForFinished(30000));
        EXPECT_FALSE(next.readAllStandardError().contains("did not finish")) << killAt;
    }
}

// --no-journal leaves the state folder as it was.
TEST(Cli, NoJournalWritesNone) {
    Module module;
    QTemporaryDir state;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", state.path());
    for (const bool journal : {false, true}) {
        QProcess cli;
        cli.setProcessEnvironment(environment);
        QStringList args{"--port", module.path, "version"};
        if (!journal) args.prepend("--no-journal");
        cli.start(TAVRIX_CLI_PATH, args);
        ASSERT_TRUE(cli.waitForFinished(30000));
        EXPECT_EQ(cli.exitCode(), 0);
        const QStringList files =
            QDir(state.filePath("tavrix")).entryList({"traffic-*.txt"}, QDir::Files);
        EXPECT_EQ(files.size(), journal ? 1 : 0);
    }
}

namespace {

QString JournalsText(const QString& stateHome) {
    QString text;
    const QDir folder(stateHome + "/tavrix");
    for (const QString& name : folder.entryList({"traffic-*"}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
    }
    return text;
}

}  // namespace

// An adapter that echoes what it sends, or holds bytes back for its latency
// timer, changes nothing a command finds: each gives what it gives on the bare
// line, and the journal shows the echo taken off.
TEST(Cli, EchoingAndSlowAdaptersGiveWhatTheBareLineGives) {
    QTemporaryDir dir;
    const QString profile = dir.filePath("profile.json");
    const QList<QStringList> commands = {
        {"read"},
        {"apply", profile, "--verify"},
        {"hart", "variables"},
        {"modbus", "read", "1", "0", "4"},
        {"--json", "scan", "line"},
        {"--json", "scan", "bus", "--range", "1-5"},
        {"--json", "scan", "hart", "--range", "0-3"},
    };
    // Timings and ports differ from line to line; the findings must not.
    const auto findings = [](QString out) {
        static const QRegularExpression varying(
            R"re("(elapsedMs|floorMs|port|tool\w*|saved\w*|date\w*|time\w*)": [^,\n]*|Snapshot before the apply: .*)re");
        return out.replace(varying, "").toStdString();
    };
    const struct {
        const char* what;
        SimOptions options;
        QStringList args;  // before the command
        bool echoes;
    } lines[] = {
        {"bare", {}, {}, false},
        {"echo", {.echo = true}, {}, true},
        {"latency 16", {.latencyMs = 16}, {}, false},
        // A 40 ms adapter needs an answer time that covers it (the scans default to 50 ms).
        {"echo on, latency 40", {.latencyMs = 40, .echo = true}, {"--echo", "on", "--answer-time", "300"}, true},
    };
    std::vector<std::string> bare;
    for (const auto& line : lines) {
        QTemporaryDir state;
        Module module(line.options);
        for (size_t i = 0; i < static_cast<size_t>(commands.size()); ++i) {
            const CliRun run =
                Cli(QStringList{"--port", module.path} + line.args + commands[i], state.path());
            EXPECT_EQ(run.status, 0) << line.what << ": " << commands[i].join(' ').toStdString()
                                     << ": " << run.err.toStdString();
            if (i == 0 && bare.empty()) {
                QFile out(profile);
                ASSERT_TRUE(out.open(QIODevice::WriteOnly));
                out.write(run.out.toUtf8());
            }
            if (bare.size() < static_cast<size_t>(commands.size())) {
                bare.push_back(findings(run.out));
            } else {
                EXPECT_EQ(findings(run.out), bare[i])
                    << line.what << ": " << commands[i].join(' ').toStdString();
            }
        }
        const QString journal = JournalsText(state.path());
        EXPECT_EQ(journal.contains("this adapter echoes what it sends: echo removed"),
                  line.echoes && line.args.isEmpty())
            << line.what;
        EXPECT_EQ(journal.contains("ECHO"), line.echoes) << line.what;
        EXPECT_FALSE(journal.contains("echo differs")) << line.what;
    }
}

// A bus scan waits for each slave's reply before it asks the next: its
// journal shows each find as an OK reply right after its own request, and
// no request written before the reply before it had ended and t3.5 (3.65 ms
// at 9600 baud) had passed.
TEST(Cli, ABusScanNeverAsksOverAnAnsweringSlave) {
    SimOptions options;
    TavrixModule module;
    module.settings().slaveAddress = "003";
    module.settings().otherModules = {17};
    SimServer server(module, options);
    const QString path = QString::fromStdString(server.Open());
    server.Start();
    QTemporaryDir state;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", state.path());
    QProcess cli;
    cli.setProcessEnvironment(environment);
    cli.start(TAVRIX_CLI_PATH, {"--port", path, "--json", "scan", "bus", "--range", "1-20"});
    ASSERT_TRUE(cli.waitForFinished(30000));
    server.Stop();
    const QJsonObject result = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(result["finds"].toArray().size(), 2);
    EXPECT_EQ(result["noisy"].toInt(-1), 0);

    const QStringList journals =
        QDir(state.filePath("tavrix")).entryList({"traffic-*.txt"}, QDir::Files);
    ASSERT_EQ(journals.size(), 1);
    QFile file(state.filePath("tavrix/" + journals.front()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    struct Event {
        QDateTime time;
        QByteArray dir, verdict;
        int slave;
    };
    std::vector<Event> events;
    qsizetype timeAt = -1, dir = -1, verdict = -1, hex = -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> cells = line.split('\t');
        if (line.startsWith("#") || line.isEmpty()) continue;
        if (dir < 0) {
            timeAt = cells.indexOf("Time");
            dir = cells.indexOf("Dir");
            verdict = cells.indexOf("Verdict");
            hex = cells.indexOf("Hex");
            continue;
        }
        events.push_back({QDateTime::fromString(QString::fromLatin1(cells[timeAt]), Qt::ISODateWithMs),
                          cells[dir], cells[verdict], cells[hex].left(2).toInt(nullptr, 16)});
    }
    std::vector<int> found;
    for (size_t i = 0; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.dir != "RX") continue;
        found.push_back(e.slave);
        EXPECT_EQ(e.verdict, "OK") << "slave " << e.slave;
        // Its own request just before it, and no timeout for it.
        ASSERT_GE(i, 1u);
        EXPECT_EQ(events[i - 1].dir, "TX");
        EXPECT_EQ(events[i - 1].slave, e.slave);
        ASSERT_LT(i + 1, events.size());
        const Event& next = events[i + 1];
        EXPECT_EQ(next.dir, "TX") << "slave " << e.slave;
        // The journal's times are whole milliseconds.
        EXPECT_GE(e.time.msecsTo(next.time), 3) << "slave " << e.slave;
    }
    EXPECT_EQ(found, (std::vector<int>{3, 17}));
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const Event& e) { return e.dir == "TIMEOUT"; }),
              18);
}

// On a line that loses bytes, a scan never reports a clean result it did not
// have: 0 only with nothing left garbled, 4 with finds but some candidates
// still garbled, and never a slave that is not there.
TEST(Cli, ANoisyBusScanSaysWhatItMayHaveMissed) {
    for (const unsigned seed : {1u, 2u, 3u}) {
        TavrixModule module;
        module.settings().slaveAddress = "003";
        module.settings().otherModules = {17};
        SimServer server(module, {.seed = seed, .halfDuplex = true, .loseReplies = 15});
        const QString path = QString::fromStdString(server.Open());
        server.Start();
        const CliRun run = Cli({"--port", path, "--json", "scan", "bus", "--range", "1-20"});
        server.Stop();
        const QJsonObject result = QJsonDocument::fromJson(run.out.toUtf8()).object();
        const int noisy = result["noisy"].toInt(-1);
        ASSERT_GE(noisy, 0) << run.out.toStdString();
        QSet<int> found;
        for (const QJsonValue& f : result["finds"].toArray()) found << f.toObject()["slave"].toInt();
        EXPECT_TRUE(found.subtract({3, 17}).isEmpty()) << seed;
        const int expected = result["finds"].toArray().isEmpty() ? 1 : noisy > 0 ? 4 : 0;
        EXPECT_EQ(run.status, expected) << seed << run.out.toStdString();
        EXPECT_EQ(server.collisions(), 0) << seed;
    }
}

// ---- serial device servers: ser2net in front of simulated modules ----

namespace {

SimOptions HeldLine() {
    SimOptions o;
    o.rs485Line = true;  // the pty's termios, as ser2net sets it, decides the line's speed
    return o;
}

QString WriteProfile(const QTemporaryDir& dir, const QString& name, QString profile,
                     const QString& baud) {
    profile.replace("\"rs485.baudRate\": \"9600\"", "\"rs485.baudRate\": \"" + baud + "\"");
    QFile out(dir.filePath(name));
    out.open(QIODevice::WriteOnly);
    out.write(profile.toUtf8());
    return out.fileName();
}

}  // namespace

// Through RFC 2217 the tool sets the line: a read, an apply that moves the
// module to 19200 baud and follows it, HART commands whose 0xFF preambles
// pass the Telnet layer whole, and a line scan that finds 19200 even.
TEST(CliNetwork, Rfc2217CarriesReadsAppliesHartAndTheLineScan) {
    REQUIRE_SER2NET();
    QTemporaryDir dir;
    Module module(HeldLine());
    Ser2net server({module.path});
    ASSERT_TRUE(server.started()) << server.Log().toStdString();

    const CliRun reading = Cli({"--port", server.Rfc(), "read"});
    ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
    ASSERT_TRUE(reading.out.contains("\"rs485.baudRate\": \"9600\"")) << reading.out.toStdString();
    const QString faster = WriteProfile(dir, "faster.json", reading.out, "19200");

    ASSERT_TRUE(server.WaitIdle());
    const CliRun apply = Cli({"--port", server.Rfc(), "apply", faster, "--verify"});
    EXPECT_EQ(apply.status, 0) << apply.out.toStdString() << apply.err.toStdString();
    EXPECT_TRUE(apply.out.contains("Verification: 0 mismatches")) << apply.out.toStdString();
    EXPECT_EQ(module.module.settings().rs485Baud, 4);

    for (const char* command : {"identity", "variables"}) {
        ASSERT_TRUE(server.WaitIdle());
        const CliRun hart = Cli({"--port", server.Rfc(), "--baud", "19200", "hart", command});
        EXPECT_EQ(hart.status, 0) << command << ": " << hart.err.toStdString();
        const Bytes last = module.heard().back();
        ASSERT_GE(last.size(), 2u);
        EXPECT_EQ(last[0], 0xFF) << command << ": the preamble as sent";
        EXPECT_EQ(last[1], 0xFF) << command;
    }
    ASSERT_TRUE(server.WaitIdle());
    EXPECT_TRUE(Cli({"--port", server.Rfc(), "--baud", "19200", "hart", "variables"})
                    .out.contains("Loop current"));
}

// The scans through RFC 2217, on the machine and across a plant network's
// 40 ms round trip: each finds what is there, and nothing collides. The
// module's replies take their line time (half duplex): one written at once
// would come sooner than its speed allows, and the scan would rightly credit
// it to the candidate before.
TEST(CliNetwork, Rfc2217ScansFindWhatIsThereAlsoAcrossA40MsRoundTrip) {
    REQUIRE_SER2NET();
    SimOptions paced = HeldLine();
    paced.halfDuplex = true;
    Module elsewhere(paced);
    elsewhere.module.settings().rs485Baud = 4;
    elsewhere.module.settings().rs485Parity = 2;
    elsewhere.module.settings().otherModules = {3};
    Ser2net server({elsewhere.path});
    ASSERT_TRUE(server.started());
    DelayProxy network(server.RfcPort(), std::chrono::milliseconds(20));
    const auto finds = [](const CliRun& run) {
        return QJsonDocument::fromJson(run.out.toUtf8()).object()["finds"].toArray();
    };
    for (const QString& port :
         {server.Rfc(), QString("rfc2217://127.0.0.1:%1").arg(network.port())}) {
        const std::string where = port.toStdString();
        ASSERT_TRUE(server.WaitIdle());
        const CliRun line = Cli({"--port", port, "--json", "scan", "line"});
        EXPECT_EQ(line.status, 0) << where << line.err.toStdString();
        ASSERT_EQ(finds(line).size(), 1) << where << line.out.toStdString();
        EXPECT_EQ(finds(line)[0].toObject()["baud"].toInt(), 19200) << where;
        EXPECT_EQ(finds(line)[0].toObject()["parity"].toString(), "even") << where;

        const QStringList there = {"--port", port, "--baud", "19200", "--parity", "even", "--json"};
        ASSERT_TRUE(server.WaitIdle());
        const CliRun bus = Cli(there + QStringList{"scan", "bus", "--range", "1-5"});
        EXPECT_EQ(bus.status, 0) << where << bus.err.toStdString();
        ASSERT_EQ(finds(bus).size(), 2) << where << bus.out.toStdString();
        EXPECT_EQ(finds(bus)[0].toObject()["slave"].toInt(), 1) << where;
        EXPECT_EQ(finds(bus)[1].toObject()["slave"].toInt(), 3) << where;

        ASSERT_TRUE(server.WaitIdle());
        const CliRun hart = Cli(there + QStringList{"scan", "hart", "--range", "0-2"});
        EXPECT_EQ(hart.status, 0) << where << hart.err.toStdString();
        EXPECT_EQ(finds(hart).size(), 1) << where << hart.out.toStdString();
    }
    EXPECT_EQ(elsewhere.collisions(), 0);
}

// A raw TCP port carries the bytes at the server's line and says plainly
// that it cannot change it; names that reach nothing say why.
TEST(CliNetwork, RawSocketsAndConnectionsThatFailSayWhy) {
    REQUIRE_SER2NET();
    QTemporaryDir dir;
    Module module(HeldLine());
    Ser2net server({module.path});
    ASSERT_TRUE(server.started()) << server.Log().toStdString();

    const CliRun reading = Cli({"--port", server.Raw(), "read"});
    ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
    ASSERT_TRUE(server.WaitIdle());
    const CliRun moved = Cli(
        {"--port", server.Raw(), "apply", WriteProfile(dir, "faster.json", reading.out, "19200")});
    EXPECT_NE(moved.status, 0);
    // Refused before anything is sent: the module stays where the port can reach it.
    EXPECT_TRUE(moved.err.contains("moves the module's line to 19200 8N1, which this port cannot "
                                   "follow") &&
                moved.err.contains("Change the server's settings"))
        << moved.err.toStdString();
    ASSERT_TRUE(server.WaitIdle());
    EXPECT_EQ(Cli({"--port", server.Raw(), "version"}).status, 0) << "the module moved";

    const struct {
        QString port;
        const char* cause;
        const char* fix;
    } cases[] = {
        {QString("rfc2217://127.0.0.1:%1").arg(FreeTcpPort()), "refused the connection",
         "Nothing listens at that port"},
        {"socket://no-such-host.invalid:4001", "unknown host \"no-such-host.invalid\"",
         "Check the server's host name"},
        {"rfc2217://127.0.0.1", "is not a network port of the form HOST:PORT",
         "rfc2217://HOST:PORT or socket://HOST:PORT"},
        // A raw port answers no Telnet: the line cannot be set.
        {server.Raw().replace("socket://", "rfc2217://"), "did not take the COM-PORT option",
         "speaks RFC 2217"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(server.WaitIdle());
        const CliRun run = Cli({"--port", c.port, "version"});
        EXPECT_EQ(run.status, 3) << c.port.toStdString();
        EXPECT_TRUE(run.err.contains(c.cause) && run.err.contains(c.fix))
            << c.port.toStdString() << ": " << run.err.toStdString();
    }
}

// The server gone in the middle of an apply: the hang-up ends it, the report
// says the module is half-configured, and the journal named after the
// server holds every frame the module heard.
TEST(CliNetwork, AServerKilledMidApplyIsAHangUp) {
    REQUIRE_SER2NET();
    QTemporaryDir dir;
    QString plan;
    {
        Module source;
        source.module.settings().slaveAddress = "042";
        const CliRun reading = Cli({"--port", source.path, "read"});
        ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
        plan = WriteProfile(dir, "plan.json", reading.out, "9600");
    }
    QTemporaryDir state;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_STATE_HOME", state.path());
    Module target;
    Ser2net server({target.path});
    ASSERT_TRUE(server.started()) << server.Log().toStdString();
    QProcess cli;
    cli.setProcessEnvironment(environment);
    cli.start(TAVRIX_CLI_PATH, {"--port", server.Rfc(), "--json", "apply", plan, "--verify"});
    ASSERT_TRUE(PumpUntil([&] { return target.heard().size() >= 14; },  // past the snapshot
                          std::chrono::milliseconds(30000)));
    server.Kill();
    ASSERT_TRUE(cli.waitForFinished(30000));
    const std::vector<Bytes> heard = target.heard();
    EXPECT_EQ(cli.exitCode(), 1);
    const QJsonObject report = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
    EXPECT_EQ(report["result"].toString(), "failed");
    EXPECT_TRUE(report["halfConfigured"].toBool()) << QJsonDocument(report).toJson().toStdString();

    const QStringList journals =
        QDir(state.filePath("tavrix")).entryList({"traffic-*.txt"}, QDir::Files);
    ASSERT_EQ(journals.size(), 1);
    EXPECT_TRUE(
        journals.front().endsWith(QString("-rfc2217-127.0.0.1-%1.txt").arg(server.RfcPort())))
        << journals.front().toStdString();
    const std::vector<Bytes> sent = JournalFrames(state.filePath("tavrix/" + journals.front()));
    ASSERT_GE(sent.size(), heard.size());
    for (size_t i = 0; i < heard.size(); ++i) EXPECT_EQ(sent[i], heard[i]) << i;
}

// Four modules behind one server in one command, beside one alone: the
// figure is reported, not held to a bound.
TEST(CliNetwork, AFleetOfNetworkPortsInOneCommand) {
    REQUIRE_SER2NET();
    QTemporaryDir dir;
    std::vector<std::unique_ptr<Module>> fleet;
    QStringList devices;
    for (int i = 0; i < 4; ++i) {
        fleet.push_back(std::make_unique<Module>());
        devices << fleet.back()->path;
    }
    Ser2net server(devices);
    ASSERT_TRUE(server.started()) << server.Log().toStdString();
    const CliRun reading = Cli({"--port", server.Rfc(0), "read"});
    ASSERT_EQ(reading.status, 0) << reading.err.toStdString();
    QString profile = reading.out;
    profile.replace("\"system.slaveAddress\": \"001\"", "\"system.slaveAddress\": \"042\"");
    const QString plan = WriteProfile(dir, "plan.json", profile, "9600");

    ASSERT_TRUE(server.WaitIdle());
    QElapsedTimer clock;
    clock.start();
    const CliRun one = Cli({"--port", server.Rfc(0), "apply", plan, "--verify"});
    const qint64 oneMs = clock.elapsed();
    ASSERT_TRUE(server.WaitIdle());
    clock.restart();
    QStringList args;
    for (int i = 0; i < 4; ++i) args << "--port" << server.Rfc(i);
    const CliRun all = Cli(args + QStringList{"apply", plan, "--verify"});
    const qint64 allMs = clock.elapsed();
    EXPECT_EQ(one.status, 0) << one.err.toStdString();
    EXPECT_EQ(all.status, 0) << all.out.toStdString() << all.err.toStdString();
    EXPECT_TRUE(all.out.contains("4 of 4 modules verified.")) << all.out.toStdString();
    RecordProperty("oneModuleMs", static_cast<int>(oneMs));
    RecordProperty("fourModulesMs", static_cast<int>(allMs));
    std::printf("one module through ser2net: %lld ms, four in one command: %lld ms (%.2fx)\n",
                static_cast<long long>(oneMs), static_cast<long long>(allMs),
                oneMs > 0 ? static_cast<double>(allMs) / oneMs : 0.0);
}
