// tavrix-soak: the window against the simulated module for a long time, with
// everything an engineer does at once. The window's requests of every kind
// go out in turn while the trend polls the MODBUS side every 700 ms; between
// rounds a commissioning run applies one of two profiles as a transaction and
// verifies it through the link; every few rounds the adapter is unplugged (the
// simulator's pseudo-terminal closed) and plugged in again (a new one behind
// the same link path) and the window reopens it. The simulator delays its
// replies at random, splits some and drops some.
//
// Prints, at every quarter of the run (0, 15, 30, 45 and 60 minutes of an
// hour), the resident memory, the traffic log's and the trend's sizes, and at
// the end: requests, replies, timeouts beside the replies the simulator
// dropped, mismatches, applies, unplug cycles and the longest event-loop stall.
// Usage: tavrix-soak [MINUTES] [SEED]   (default 60 minutes)
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>

#include "exchange/requestcodes.h"
#include "session/journalfollower.h"
#include "session/link.h"
#include "session/modulejob.h"
#include "session/receivewait.h"
#include "session/requestrunner.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "traffic/trafficlog.h"
#include "ui/controls.h"
#include "ui/stallmeter.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui/trafficlogmodel.h"
#include "ui/trendwindow.h"
#include "ui_tform1.h"

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Sleeps between events as the window's own loop does (the message-box
// closer's 5 ms timer wakes it at the latest); the overload with a time limit
// never waits, and would spin a core for the whole run.
void Pump(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

struct Figures {
    long requests = 0, replies = 0, timeouts = 0, slowTimeouts = 0, mismatches = 0;
    long windowRequests = 0, applies = 0, appliesVerified = 0, applyRetries = 0;
    long unplugs = 0, trendRestarts = 0;
    long lateTails = 0;  // sequences that took the tail of an earlier split reply
};

// Points `link` at `target`, replacing any link there in one step.
bool PointLink(const std::string& link, const std::string& target) {
    const std::string next = link + ".new";
    unlink(next.c_str());
    return symlink(target.c_str(), next.c_str()) == 0 && rename(next.c_str(), link.c_str()) == 0;
}

void SetNumber(Profile& profile, ConfigSetting setting, int number) {
    for (ConfigField& f : profile.settings)
        if (f.setting == setting) f.number = number;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 60;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1;
    // The journal, where the window keeps one, goes to a folder of the run's own.
    const QByteArray state = QByteArray("/tmp/tavrix-soak-") + QByteArray::number(getpid());
    if (!std::getenv("XDG_STATE_HOME")) setenv("XDG_STATE_HOME", state.constData(), 1);
    TApplication app(argc, argv);

    TavrixModule module;
    SimOptions options;
    options.replyDelayMs = 0;
    options.randomDelayMs = 1200;
    options.splitPercent = 20;
    options.splitPauseMs = 800;  // at most; pauses past 400 ms split the block
    options.dropPercent = 5;
    options.seed = seed;
    SimServer server(module, options);
    const std::string linkPath = "/tmp/tavrix-soak-" + std::to_string(getpid()) + ".link";
    if (!PointLink(linkPath, server.Open())) {
        std::fprintf(stderr, "soak: cannot make the link %s\n", linkPath.c_str());
        return 1;
    }
    server.Start();

    TForm1 form;
    form.show();
    Ui::TForm1* ui = form.form();
    Link& link = *form.Link1;
    Figures f;

    // Every frame out is a request; its first block is its reply.
    // A timeout with no reply dropped since its request went out was a slow
    // reply: the window's connection query allows 1 s, the simulator up to 2.
    int droppedAtSend = 0;
    QObject::connect(&link, &Link::sent, [&](const ExchangeRecord&) {
        ++f.requests;
        droppedAtSend = server.repliesDropped();
    });
    // Bytes the simulator wrote that the tool has not yet been handed: the
    // tail of a reply still on its way (an unplug loses what was in flight,
    // so the count starts again from each plugging in).
    uint64_t toolBytes = 0, lostBytes = 0;
    const auto inFlight = [&] { return server.bytesWritten() - lostBytes > toolBytes; };
    QObject::connect(&link, &Link::received, [&](const QByteArray& block, const ExchangeRecord& r) {
        toolBytes += static_cast<uint64_t>(block.size());
        if (!r.answered && !r.timedOut) ++f.replies;
    });
    QObject::connect(&link, &Link::timedOut, [&](const ExchangeRecord&) {
        ++f.timeouts;
        if (server.repliesDropped() == droppedAtSend) ++f.slowTimeouts;
    });
    // A reply the sequences judged wrong (not merely cut) is a mismatch,
    // unless the sequence started while the simulator was still sending an
    // earlier reply: a trend poll that takes the line when the window's
    // request has decoded the first part of a split reply gets its tail.
    // Those are counted apart, as what the tool does with such a line.
    bool startedOnBusyLine = false;
    QObject::connect(form.Link1->Runner(), &RequestRunner::runStarted, [&] {
        startedOnBusyLine = server.requestsServed() != server.requestsHeard() || inFlight();
    });
    QObject::connect(form.Link1->Runner(), &RequestRunner::runFinished, [&](const LinkRun* run) {
        if (run->state() == LinkRun::State::Failed &&
            run->verdict().state != VerdictState::Incomplete) {
            if (startedOnBusyLine) {
                ++f.lateTails;
                return;
            }
            std::fprintf(stderr, "soak: wrong reply: %s\n", qPrintable(run->failure()));
            ++f.mismatches;
        }
    });

    // Message boxes: timeouts, the unplugged adapter and a trend that gave up
    // are expected; anything else is counted and printed.
    bool unplugging = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        const QString text = box->text();
        const bool expected = text.endsWith("Timeout!") ||
                              (unplugging && text.endsWith("was disconnected.")) ||
                              text.contains("polling stopped");
        if (!expected) {
            std::fprintf(stderr, "soak: message \"%s\"\n", qPrintable(text));
            ++f.mismatches;
        }
        box->done(QMessageBox::Ok);
    });
    closer.start(5);

    const auto openPort = [&] {
        ui->SPREALCOM->setEditText(QString::fromStdString(linkPath));
        ui->Button1->click();
        return form.PortOpen;
    };
    if (!openPort()) {
        std::fprintf(stderr, "soak: cannot open %s\n", linkPath.c_str());
        return 1;
    }
    // The simulator may wait 1.2 s and pause 0.8 s inside a reply: the
    // sequences allow for it, so only a dropped reply times out.
    link.SetAnswerTime(std::chrono::milliseconds(2500));
    const auto type = [&form](std::string_view caption, const char* text) {
        qobject_cast<QLineEdit*>(CaptionedControl(form, caption))->setText(text);
    };
    type("Manual HART Command", "02 80 00 00");  // the typed HART frame: command 0
    type("Modbus Data Start Address", "0");      // the MODBUS test: ten registers from 40001
    type("Read Data Length", "10");
    QAbstractButton* const kinds[] = {ui->Button6,  ui->Button23, ui->Button8, ui->Button31,
                                      ui->Button22, ui->Button25, ui->Button7, ui->Button16,
                                      ui->Button4,  ui->Button20, ui->Button24};

    // The trend polls the MODBUS side through the same link all along.
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>();
    trend->findChild<QWidget*>("comboTrendSource")->setProperty("currentIndex", 1);
    trend->SetIntervalForTest(700);
    trend->Start();

    // The two profiles a commissioning run alternates between: the module as
    // it came, and the same at 19200 baud even parity.
    ModuleJob job(&link);
    long trendPolls = 0;  // sequences that were not the job's
    QObject::connect(form.Link1->Runner(), &RequestRunner::runStarted, [&] {
        if (!job.IsRunning()) ++trendPolls;
    });
    // Free, and quiet: the simulator is done with every request, so a slow
    // reply to a request that timed out cannot land in the next one.
    const auto lineFree = [&] {
        return link.LineFree() && !job.IsRunning() &&
               server.requestsServed() == server.requestsHeard() && !inFlight();
    };
    // Bytes lost on the way (a port closed under them) would keep the line
    // busy for ever: after 10 s of it the count starts again.
    const auto waitLineFree = [&] {
        Pump(lineFree, 10000);
        if (!lineFree() && link.LineFree() && !job.IsRunning() && inFlight()) {
            std::fprintf(
                stderr, "soak: %llu bytes never arrived\n",
                static_cast<unsigned long long>(server.bytesWritten() - lostBytes - toolBytes));
            lostBytes = server.bytesWritten() - toolBytes;
        }
        Pump(lineFree, 30000);
    };
    const auto runJob = [&](const std::function<bool()>& start) {
        waitLineFree();
        if (!start()) return false;
        Pump([&] { return !job.IsRunning(); }, 600000);
        return !job.IsRunning();
    };
    trend->Stop();
    if (!runJob([&] { return job.StartRead(); }) || job.outcome() != ModuleJob::Outcome::Done) {
        std::fprintf(stderr, "soak: cannot read the module: %s\n", qPrintable(job.failure()));
        return 1;
    }
    trend->Start();
    Profile profiles[2] = {job.readBack(), job.readBack()};
    SetNumber(profiles[1], ConfigSetting::Rs485BaudRate, 4);
    SetNumber(profiles[1], ConfigSetting::Rs485Parity, 2);

    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    const qint64 endMs = static_cast<qint64>(minutes * 60000);
    const auto report = [&](int quarter) {
        std::printf(
            "soak: %5.1f min memory %ld KiB, traffic log %zu events, trend %zu samples, "
            "journal %lld KiB, %ld requests, %ld timeouts, %d dropped, %ld mismatches\n",
            clock.elapsed() / 60000.0, ResidentKiB(), form.Traffic->log().events().size(),
            trend->log().samples().size(),
            QFileInfo(QString::fromStdString(form.Journal->path())).size() / 1024, f.requests,
            f.timeouts, server.repliesDropped(), f.mismatches);
        std::fflush(stdout);
        (void)quarter;
    };
    report(0);
    int quarter = 1;
    for (size_t round = 0; clock.elapsed() < endMs; ++round) {
        // The window's own requests, each when the line is free.
        for (QAbstractButton* kind : kinds) {
            waitLineFree();
            kind->click();
            ++f.windowRequests;
            Pump(
                [&] {
                    return !form.Requests->Active() && form.Requests->ReceiveWait()->Waiting() == 0;
                },
                10000);
            // The trend's turn: its next poll, if it comes within its interval.
            const long polls = trendPolls;
            Pump([&] { return trendPolls > polls && lineFree(); }, 1000);
        }
        // A commissioning run: apply and verify.
        const Profile& profile = profiles[round % 2];
        if (runJob([&] { return job.StartApply(profile, true); })) {
            ++f.applies;
            f.applyRetries += static_cast<long>(job.retries().size());
            if (job.verified()) {
                ++f.appliesVerified;
            } else {
                std::fprintf(stderr, "soak: apply not verified: %s\n", qPrintable(job.failure()));
                f.mismatches += job.mismatches();
            }
        }
        // Every third round the adapter is pulled out and put back.
        if (round % 3 == 2) {
            trend->Stop();
            Pump(lineFree, 30000);
            unplugging = true;
            server.Unplug();
            Pump([&] { return !form.PortOpen; }, 5000);
            Pump([] { return false; }, 300);
            lostBytes = server.bytesWritten() - toolBytes;
            if (!PointLink(linkPath, server.Plug()) || !openPort()) {
                std::fprintf(stderr, "soak: cannot open %s after plugging in\n", linkPath.c_str());
                ++f.mismatches;
                Pump([] { return false; }, 1000);
                openPort();
            }
            unplugging = false;
            ++f.unplugs;
            trend->Start();
        }
        if (!trend->IsPolling()) {
            ++f.trendRestarts;
            trend->Start();
        }
        while (quarter <= 4 && clock.elapsed() >= endMs * quarter / 4) report(quarter++);
    }
    while (quarter <= 4) report(quarter++);
    trend->Stop();
    Pump(lineFree, 30000);
    ui->Button1->click();
    server.Stop();
    unlink(linkPath.c_str());

    std::printf("minutes: %.1f\n", clock.elapsed() / 60000.0);
    std::printf(
        "requests: %ld (window %ld, applies %ld of which verified %ld, unplug cycles %ld)\n",
        f.requests, f.windowRequests, f.applies, f.appliesVerified, f.unplugs);
    std::printf("replies: %ld\n", f.replies);
    std::printf(
        "timeouts: %ld (replies the simulator dropped: %d; replies slower than the request "
        "allowed: %ld; apply retries %ld)\n",
        f.timeouts, server.repliesDropped(), f.slowTimeouts, f.applyRetries);
    std::printf("mismatches: %ld\n", f.mismatches);
    std::printf("sequences started while an earlier reply was still coming, judged wrong: %ld\n",
                f.lateTails);
    std::printf(
        "trend samples: %zu, restarts (the port reopened by an apply, or three lost "
        "polls in a row): %ld\n",
        trend->log().samples().size(), f.trendRestarts);
    std::printf("longest stall: %lld ms\n", static_cast<long long>(meter.LongestMs()));
    std::printf("journal: %s\n", form.Journal->path().c_str());
    std::printf("blocks dropped from a full backlog: %llu\n",
                static_cast<unsigned long long>(form.Requests->ReceiveWait()->Backlog().dropped()));
    return f.mismatches == 0 ? 0 : 1;
}
