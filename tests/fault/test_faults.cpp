// Faults injected through a pseudo-terminal playing the device. Each test
// checks that the window stays responsive (the longest event-loop stall),
// that every block it accepted is accounted for, and which messages it shows.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "exchange/requestcodes.h"
#include "fault_harness.h"
#include "profile/profile.h"
#include "session/link.h"
#include "session/modulejob.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "traffic/trafficlog.h"
#include "ui/applyreportdialog.h"
#include "ui/moduleprofiles.h"
#include "ui/trafficlogmodel.h"

namespace {

TEST_F(FaultTest, BurstsOf2And4And64KiB) {
    OpenOnPty();
    const long memoryBefore = ResidentKiB();
    for (const size_t size : {2048u, 4096u, 65536u}) {
        const uint64_t bytesBefore = Backlog().acceptedBytes();
        size_t mostWaiting = 0;
        StallMeter meter;
        pty->Send(RandomBytes(size, static_cast<unsigned>(size)));
        ASSERT_TRUE(WaitFor(
            [&] {
                mostWaiting = std::max(mostWaiting, form.Requests->ReceiveWait()->Waiting());
                return Backlog().acceptedBytes() - bytesBefore == size &&
                       form.Requests->ReceiveWait()->Waiting() == 0;
            },
            15000))
            << size;
        EXPECT_LT(meter.LongestMs(), kStallLimitMs) << size;
        EXPECT_LE(mostWaiting, TReceiveWait::kBacklogLimit) << size;
        ExpectEveryBlockAccountedFor();
    }
    // Fonts and text layout take their share on first use; the backlog's own
    // bound is the waiting count above.
    if (kCountsMemoryAndThreads) {
        EXPECT_LT(ResidentKiB() - memoryBefore, 16384);
    }
    // 64 KiB arrive as 32 blocks of 2048 bytes; five seconds' worth are kept.
    EXPECT_EQ(Backlog().dropped(), 32 - TReceiveWait::kBacklogLimit);
    EXPECT_EQ(form.Traffic->log().stats().droppedBlocks(), Backlog().dropped());
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(FaultTest, CloseDuringABacklogRespondsAndDiscardsIt) {
    OpenOnPty();
    pty->Send(RandomBytes(65536, 1));
    ASSERT_TRUE(WaitFor([&] { return form.Requests->ReceiveWait()->Waiting() >= 10; }, 5000));
    StallMeter meter;
    Click(ui->Button1);
    EXPECT_FALSE(form.PortOpen);
    const uint64_t handled = form.Requests->ReceiveWait()->Handled();
    const QString shown = ui->Memo10->toPlainText();
    Pump(600);
    EXPECT_EQ(form.Requests->ReceiveWait()->Handled(), handled);
    EXPECT_EQ(ui->Memo10->toPlainText(), shown);
    EXPECT_GT(Backlog().discarded(), 0u);
    EXPECT_LT(meter.LongestMs(), kStallLimitMs);
    ExpectEveryBlockAccountedFor();
}

}  // namespace

// 2 KiB every 100 ms for `seconds`: a full block each time, twice what the
// wait lets through. Memory is read once the backlog has been full a while and
// must stay flat from then on. `startFull` fills the backlog with a burst
// first, so a short run spends its time at the bound rather than reaching it.
void FaultTest::FloodWithUnsolicitedBlocks(int seconds, int memoryAtMs, bool startFull) {
    OpenOnPty();
    if (startFull) {
        pty->Send(RandomBytes(65536, 0));
        ASSERT_TRUE(WaitFor(
            [&] { return form.Requests->ReceiveWait()->Waiting() == TReceiveWait::kBacklogLimit; }, 5000));
    }
    const uint64_t droppedBefore = Backlog().dropped();
    long memoryAfterFilling = 0;
    std::atomic<bool> stop{false};
    std::thread device([&] {
        for (unsigned i = 1; !stop; ++i) {
            pty->Send(RandomBytes(2048, i));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    StallMeter meter;
    size_t mostWaiting = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        Pump(50);
        if (memoryAfterFilling == 0 && clock.elapsed() > memoryAtMs)
            memoryAfterFilling = ResidentKiB();
        mostWaiting = std::max(mostWaiting, form.Requests->ReceiveWait()->Waiting());
    }
    const qint64 longest = meter.LongestMs();
    StallMeter closing;
    Click(ui->Button1);
    const qint64 closeStall = closing.LongestMs();
    stop = true;
    device.join();

    EXPECT_LT(longest, kStallLimitMs);
    EXPECT_LT(closeStall, kStallLimitMs);
    EXPECT_LE(mostWaiting, TReceiveWait::kBacklogLimit);
    EXPECT_GT(Backlog().dropped(), droppedBefore);  // the flood's own, not only the burst's
    // About one per 200 ms went on being handled: two thirds of that at least.
    EXPECT_GT(form.Requests->ReceiveWait()->Handled(), static_cast<uint64_t>(seconds * 5 * 2 / 3));
    if (kCountsMemoryAndThreads) {
        EXPECT_LT(ResidentKiB() - memoryAfterFilling, 2048);  // flat once the backlog is full
    }
    ExpectEveryBlockAccountedFor();
    EXPECT_TRUE(messages.texts().isEmpty());
}

namespace {

TEST_F(FaultTest, UnsolicitedBlocksFasterThanOnePer200MsFor3Seconds) {
    FloodWithUnsolicitedBlocks(3, 1000, true);
}

// Ten times as long, left to ./soak --flood: the backlog fills by the flood
// alone and holds its bound for 20 s.
TEST_F(FaultTest, UnsolicitedBlocksFasterThanOnePer200MsFor30Seconds) {
    FloodWithUnsolicitedBlocks(30, 10000, false);
}

TEST_F(FaultTest, GarbageAndRandomBinaryRepliesUnderEveryRequestCode) {
    OpenOnPty();
    WindowTimings fast = kFastWindowTimings;
    fast.readIntervalMs = 20;  // one block per reply, sooner
    form.Requests->SetTimings(fast);
    // A decoder may refuse a number it cannot read; nothing else may show.
    const QRegularExpression allowed("^'.*' is not a valid integer value$",
                                     QRegularExpression::DotMatchesEverythingOption);
    StallMeter meter;
    unsigned seed = 0;
    for (const RequestCode& code : kRequestCodes) {
        for (const std::string& reply :
             {RandomBytes(300, ++seed), std::string("QX#BA2:9Z,MD:,ADR:-1#DA\xFF:,,,,#QV:"),
              std::string("\x02\x80\x00\x0E\xFF", 5)}) {
            const uint64_t handled = form.Requests->ReceiveWait()->Handled();
            form.Requests->SetPending(code.code, 0);
            pty->Send(reply);
            ASSERT_TRUE(WaitFor(
                [&] {
                    return form.Requests->ReceiveWait()->Handled() > handled &&
                           !form.Timer2->Enabled();
                },
                5000))
                << code.code;
        }
    }
    EXPECT_LT(meter.LongestMs(), kStallLimitMs);
    for (const QString& text : messages.texts())
        EXPECT_TRUE(allowed.match(text).hasMatch()) << text.toStdString();
    ExpectEveryBlockAccountedFor();
}

TEST_F(FaultTest, DeviceVanishesMidReply) {
    OpenOnPty();
    StallMeter meter;
    Click(ui->Button6);
    pty->Send("QV:2.");
    ASSERT_TRUE(pty->WaitInputTaken(std::chrono::milliseconds(2000)));
    pty->CloseMaster();
    Pump(1500);
    EXPECT_LT(meter.LongestMs(), kStallLimitMs);
    // The bytes read before the line went are handled as a block.
    EXPECT_EQ(ui->Memo10->toPlainText(), "QV:2.");
    ExpectEveryBlockAccountedFor();
    form.Timer3->SetEnabled(false);
}

TEST_F(FaultTest, DeviceVanishesWithABacklogAndThePortIsOpenedAgain) {
    OpenOnPty();
    pty->Send(RandomBytes(65536, 2));
    ASSERT_TRUE(WaitFor([&] { return form.Requests->ReceiveWait()->Waiting() >= 10; }, 5000));
    pty->CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !form.PortOpen; }, 3000));
    const uint64_t handled = form.Requests->ReceiveWait()->Handled();
    OpenOnPty();
    EXPECT_EQ(form.Requests->ReceiveWait()->Waiting(), 0u);
    EXPECT_EQ(form.Requests->ReceiveWait()->Handled(), handled);
    EXPECT_GT(Backlog().discarded(), 0u);
    ExpectEveryBlockAccountedFor();
}

TEST_F(FaultTest, DeviceVanishesWhileALargeWriteIsPending) {
    OpenOnPty();
    // More than the pseudo-terminal buffers, with nobody reading it.
    const std::string big(60000, 'W');
    ASSERT_TRUE(form.Comm1->WriteData(big.data(), static_cast<uint16_t>(big.size())));
    Pump(200);
    StallMeter meter;
    pty->CloseMaster();
    Pump(500);
    Click(ui->Button1);
    EXPECT_FALSE(form.Comm1->IsOpen());
    EXPECT_LT(meter.LongestMs(), kStallLimitMs);
}

TEST_F(FaultTest, TwoHundredOpenCloseCyclesWithTrafficInFlight) {
    OpenOnPty();
    Click(ui->Button1);
    const int descriptors = ProcEntries("fd");
    const int threads = ProcEntries("task");
    std::atomic<bool> stop{false};
    std::thread device([&] {
        for (unsigned i = 0; !stop; ++i) {
            pty->Send(RandomBytes(512, i));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    StallMeter meter;
    for (int i = 0; i < 200; ++i) {
        Click(ui->Button1);
        ASSERT_TRUE(form.PortOpen) << i;
        // A write in flight too, without a request whose timeout would interrupt.
        ASSERT_TRUE(form.Comm1->WriteData("QQQ#QV#", 7));
        Pump(i % 10);
        Click(ui->Button1);
        ASSERT_FALSE(form.PortOpen) << i;
    }
    stop = true;
    device.join();
    EXPECT_LT(meter.LongestMs(), kStallLimitMs);
    EXPECT_EQ(form.Requests->ReceiveWait()->Waiting(), 0u);
    ExpectEveryBlockAccountedFor();
    EXPECT_EQ(ProcEntries("fd"), descriptors);
    if (kCountsMemoryAndThreads) {
        // A joined thread can stay listed for a moment while the kernel reaps it;
        // one of an earlier test's (an idle pool thread) may end meanwhile.
        EXPECT_TRUE(WaitFor([&] { return ProcEntries("task") <= threads; }, 2000))
            << ProcEntries("task") << " threads, " << threads << " before";
    }
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
}

TEST_F(FaultTest, DeviceHeldByAnotherProcess) {
    pty = std::make_unique<TPtyPair>();
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        // Only async-signal-safe calls in the child of a threaded process.
        const int fd = open(pty->SlavePath().c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        char c;
        if (read(release[0], &c, 1) < 0) _exit(1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    ui->SPREALCOM->setEditText(QString::fromStdString(pty->SlavePath()));
    Click(ui->Button1);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts(), QStringList{"Error opening serial port"});
    EXPECT_FALSE(form.PortOpen);
    if (write(release[1], "x", 1) != 1) ADD_FAILURE();
    waitpid(holder, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(FaultTest, DirectoryRegularFileAndMissingPath) {
    const std::string file = testing::TempDir() + "tavrix-fault-regular";
    std::fclose(std::fopen(file.c_str(), "w"));
    const struct {
        std::string path;
        std::string message;
    } cases[] = {{"/tmp", "Error opening serial port"},
                 {file, file + " is a regular file, not a serial port."},
                 {"/nonexistent/ttyUSB9", "Error opening serial port"}};
    for (const auto& c : cases) {
        messages.clear();
        ui->SPREALCOM->setEditText(QString::fromStdString(c.path));
        Click(ui->Button1);
        ASSERT_TRUE(messages.WaitForCount(1, 2000)) << c.path;
        EXPECT_EQ(messages.texts(), QStringList{QString::fromStdString(c.message)}) << c.path;
        EXPECT_FALSE(form.PortOpen) << c.path;
    }
    std::remove(file.c_str());
}

}  // namespace

namespace {

// A commissioned module's settings as a profile file, read from a simulated
// module of its own.
QString CommissionedProfileFile(const QString& folder) {
    TavrixModule source;
    source.settings().slaveAddress = "017";
    source.settings().mode = 3;
    source.settings().coefficient1 = "2.5";
    SimServer server(source, SimOptions{});
    Link link;
    const std::string device = server.Open();
    server.Start();
    link.Open({.name = device});
    ModuleJob job(&link);
    job.StartRead();
    QElapsedTimer clock;
    clock.start();
    while (job.IsRunning() && clock.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    link.Close();
    server.Stop();
    EXPECT_EQ(job.outcome(), ModuleJob::Outcome::Done) << job.failure().toStdString();
    const QString path = folder + "/commissioned.json";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(WriteProfile(job.readBack()));
    return path;
}

}  // namespace

// The adapter pulled out in the middle of the window's apply: the window says
// so and stays responsive, the report names the module half-configured, and
// once the adapter is back Restore puts the module as it was.
TEST_F(FaultTest, AdapterPulledOutMidApplyThenRestored) {
    QTemporaryDir dir;
    const QString profile = CommissionedProfileFile(dir.path());
    SimOptions options;
    // The read that shows what will change and the snapshot (six queries,
    // twice each), then five set commands.
    options.hangUpAfter = 12 + 12 + 5;
    options.replyDelayMs = 1;
    options.requestGapMs = 5;
    OpenOnSimulator(options);
    form.Link1->SetAnswerTime(std::chrono::milliseconds(80));
    const ModuleSettings factory = module.settings();
    StallMeter meter;
    ASSERT_TRUE(form.Profiles->ApplyProfileFrom(profile));
    ASSERT_TRUE(WaitFor([&] { return !form.Profiles->job()->IsRunning(); }, 60000));
    EXPECT_FALSE(form.PortOpen);
    EXPECT_TRUE(messages.texts().join("|").contains("was disconnected."))
        << messages.texts().join("|").toStdString();
    auto* report = form.findChild<ApplyReportDialog*>("ApplyReportDialog");
    ASSERT_NE(report, nullptr);
    const QString text = report->findChild<QPlainTextEdit*>("textApplyReport")->toPlainText();
    EXPECT_TRUE(text.startsWith("HALF-CONFIGURED: 5 set commands")) << text.toStdString();
    EXPECT_EQ(module.settings().slaveAddress, "017") << "the first five were taken";

    // Plugged in again: a new device, the window opens it, Restore.
    ui->SPREALCOM->setEditText(QString::fromStdString(server->Plug()));
    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    auto* restore = report->findChild<QPushButton*>("buttonRestore");
    ASSERT_NE(restore, nullptr);
    ASSERT_TRUE(restore->isEnabled());
    restore->click();
    ASSERT_TRUE(WaitFor([&] { return form.Profiles->job()->IsRunning(); }, 5000));
    ASSERT_TRUE(WaitFor([&] { return !form.Profiles->job()->IsRunning(); }, 60000));
    EXPECT_TRUE(form.Profiles->job()->verified()) << form.Profiles->job()->failure().toStdString();
    EXPECT_TRUE(module.settings() == factory);
    EXPECT_LT(meter.LongestMs(), kStallLimitMs);
}
