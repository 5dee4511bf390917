// Window figures: the CPU the whole process spends while nothing happens, and
// the time from a click to the reply's end for each request kind against the
// simulated module, beside the floor the window's own timers set.
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDockWidget>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "exchange/requestcodes.h"
#include "perf/benchutil.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

void RunFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// CPU time of the process over `ms` of idle event loop.
double IdleCpu(int ms) {
    RunFor(200);  // let start-up work settle first
    const double before = CpuMs();
    RunFor(ms);
    return CpuMs() - before;
}

void SetTrafficPanel(TForm1& form, bool shown) {
    if (auto* dock = form.findChild<QDockWidget*>("dockTraffic")) dock->setVisible(shown);
}

struct Exchange {
    const char* name;
    QPushButton* Ui::TForm1::*button;
    int code;
};

// Time from the click to the end of the exchange: the reply decoded (reply
// timer ran) or, for replies that are only shown, the reply on screen.
double ExchangeMs(TForm1& form, QPushButton* button, int code) {
    Ui::TForm1* ui = form.form();
    ui->Memo10->clear();
    double done = -1;
    const bool decoded = [&] {
        const AfterBlock after = AfterBlockFor(code);
        return after == AfterBlock::DecodeText || after == AfterBlock::DecodeHex;
    }();
    QMetaObject::Connection c =
        decoded ? QObject::connect(form.Timer2, &TTimer::OnTimer, [&] { done = bench::NowMs(); })
                : QObject::connect(ui->Memo10, &QPlainTextEdit::textChanged, [&] {
                      if (!ui->Memo10->toPlainText().isEmpty()) done = bench::NowMs();
                  });
    const double start = bench::NowMs();
    button->click();
    while (done < 0 && bench::NowMs() - start < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QObject::disconnect(c);
    RunFor(50);
    return done < 0 ? -1 : done - start;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool quick = bench::Quick(argc, argv);
    const int idleMs = quick ? 1000 : 10000;

    TForm1 form;
    form.show();
    Ui::TForm1* ui = form.form();

    bench::Print("idle_cpu.port_closed", IdleCpu(idleMs) * 10000.0 / idleMs, "ms per 10 s");

    int master = -1, slave = -1;
    char name[256];
    openpty(&master, &slave, name, nullptr, nullptr);
    ui->SPREALCOM->setEditText(QString::fromLatin1(name));
    ui->Button1->click();
    SetTrafficPanel(form, false);
    bench::Print("idle_cpu.port_open", IdleCpu(idleMs) * 10000.0 / idleMs, "ms per 10 s");
    if (form.findChild<QDockWidget*>("dockTraffic")) {
        SetTrafficPanel(form, true);
        bench::Print("idle_cpu.port_open_traffic_panel", IdleCpu(idleMs) * 10000.0 / idleMs,
                     "ms per 10 s");
        SetTrafficPanel(form, false);
    }
    ui->Button1->click();
    close(master);
    close(slave);

    TavrixModule module;
    SimServer server(module, SimOptions{});
    const std::string path = server.Open();
    server.Start();
    ui->SPREALCOM->setEditText(QString::fromStdString(path));
    ui->Button1->click();

    const Exchange exchanges[] = {
        {"communication_query", &Ui::TForm1::Button6, kCodeCommunicationQuery},
        {"system_parameters", &Ui::TForm1::Button23, kCodeSystemQuery},
        {"current_output_query", &Ui::TForm1::Button8, kCodeCurrentOutputQuery},
        {"modbus_parameter_query", &Ui::TForm1::Button31, kCodeModbusQuery},
        {"monitoring_query", &Ui::TForm1::Button22, kCodeMonitoringQuery},
        {"hart_device_query", &Ui::TForm1::Button7, kCodeHartCommand0},
        {"hart_command_query", &Ui::TForm1::Button16, kCodeHartCommand3},
        {"modbus_test", &Ui::TForm1::Button4, kCodeModbusTest},
        {"set_slave_address", &Ui::TForm1::Button29, kCodeSet},
    };
    const int runs = quick ? 1 : 5;
    for (const Exchange& e : exchanges) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) times.push_back(ExchangeMs(form, ui->*e.button, e.code));
        bench::PrintStats(std::string("exchange.") + e.name, times, "ms");
        const AfterBlock after = AfterBlockFor(e.code);
        const bool decoded = after == AfterBlock::DecodeText || after == AfterBlock::DecodeHex;
        // Silence that ends the block, the receive wait, the reply timer (for
        // decoded replies), and the simulated module's own delay before it answers.
        const double floor = (decoded ? 400 + 200 + 300 : 400 + 200) + SimOptions{}.replyDelayMs;
        bench::Print(std::string("exchange.") + e.name + ".floor", floor, "ms");
    }
    ui->Button1->click();
    server.Stop();
    return 0;
}
