// tavrix-soak: the window against the simulated module for a long time. Every
// request kind is sent in turn while the simulator delays its replies at
// random, splits some and drops some; prints requests, replies, timeouts,
// mismatches, memory at start and end and the longest event-loop stall.
// Usage: tavrix-soak [MINUTES] [SEED]   (default 60 minutes)
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <functional>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "ui/stallmeter.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

long ResidentKiB() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

void Pump(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
}

struct Figures {
    long requests = 0, replies = 0, timeouts = 0, mismatches = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 60;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1;
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
    const std::string path = server.Open();
    server.Start();

    TForm1 form;
    form.show();
    Ui::TForm1* ui = form.form();

    // What reaches the window from the line, gathered per request.
    std::string received;
    auto windowHandler = form.Comm1->OnReceiveData;
    form.Comm1->OnReceiveData = [&](TComm* sender, const uint8_t* data, uint16_t length) {
        received.append(reinterpret_cast<const char*>(data), length);
        windowHandler(sender, data, length);
    };
    // Message boxes are the timeouts; each is counted and closed.
    Figures f;
    bool timedOut = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            if (box->text().endsWith("Timeout!")) {
                timedOut = true;
            } else {
                std::fprintf(stderr, "soak: message \"%s\"\n", qPrintable(box->text()));
                ++f.mismatches;
            }
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(5);

    ui->SPREALCOM->setEditText(QString::fromStdString(path));
    ui->Button1->click();
    if (!form.PortOpen) {
        std::fprintf(stderr, "soak: cannot open %s\n", path.c_str());
        return 1;
    }
    ui->Edit10->setText("02 80 00 00");  // the typed HART frame: command 0
    ui->Edit19->setText("0");            // the MODBUS test: ten registers from 40001
    ui->Edit20->setText("10");
    QAbstractButton* const kinds[] = {ui->Button6,  ui->Button23, ui->Button8, ui->Button31,
                                      ui->Button22, ui->Button25, ui->Button7, ui->Button16,
                                      ui->Button4,  ui->Button20, ui->Button24};

    StallMeter meter;
    const long memoryStart = ResidentKiB();
    QElapsedTimer clock;
    clock.start();
    const qint64 endMs = static_cast<qint64>(minutes * 60000);
    qint64 nextReport = 300000;
    for (size_t i = 0; clock.elapsed() < endMs; ++i) {
        received.clear();
        timedOut = false;
        const int answeredBefore = server.requestsAnswered();
        const int droppedBefore = server.repliesDropped();
        kinds[i % std::size(kinds)]->click();
        ++f.requests;
        // Done when the sent reply is in and handled, or the timeout was shown.
        Pump(
            [&] {
                const bool answered = server.requestsAnswered() > answeredBefore;
                const bool handled = form.ReceiveWait->Waiting() == 0 && !form.Timer2->Enabled();
                const Bytes reply = server.LastReply();
                return timedOut || (answered && handled &&
                                    received.size() >= reply.size() && !received.empty());
            },
            8000);
        if (!received.empty()) ++f.replies;
        if (timedOut) ++f.timeouts;
        const bool dropped = server.repliesDropped() > droppedBefore;
        const Bytes reply = server.LastReply();
        if (!dropped && !received.empty() && received != std::string(reply.begin(), reply.end()))
            ++f.mismatches;
        if (clock.elapsed() > nextReport) {
            std::printf("soak: %lld min, %ld requests, %ld timeouts, %ld mismatches\n",
                        clock.elapsed() / 60000, f.requests, f.timeouts, f.mismatches);
            std::fflush(stdout);
            nextReport += 300000;
        }
    }
    const long memoryEnd = ResidentKiB();
    ui->Button1->click();
    server.Stop();

    std::printf("minutes: %.1f\n", clock.elapsed() / 60000.0);
    std::printf("requests: %ld\n", f.requests);
    std::printf("replies: %ld\n", f.replies);
    std::printf("timeouts: %ld (replies the simulator dropped: %d)\n", f.timeouts,
                server.repliesDropped());
    std::printf("mismatches: %ld\n", f.mismatches);
    std::printf("memory at start: %ld KiB, at end: %ld KiB\n", memoryStart, memoryEnd);
    std::printf("longest stall: %lld ms\n", static_cast<long long>(meter.LongestMs()));
    std::printf("blocks dropped from a full backlog: %llu\n",
                static_cast<unsigned long long>(form.ReceiveWait->Backlog().dropped()));
    return f.mismatches == 0 ? 0 : 1;
}
