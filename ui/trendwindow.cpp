#include "ui/trendwindow.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <cmath>
#include <stdexcept>

#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "modbus/request.h"
#include "protocol/strtoint.h"
#include "session/requestrunner.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

enum Source { kHart = 0, kModbus = 1 };

constexpr const char* kSeriesTitles[kTrendSeries] = {"Loop current", "Variable 1", "Variable 2",
                                                     "Variable 3", "Variable 4"};

QString Number(const std::optional<double>& value) {
    return value ? QString::number(*value, 'g', 7) : QString("-");
}

}  // namespace

TrendWindow::TrendWindow(TForm1* window) : QWidget(window, Qt::Window), window_(window) {
    setObjectName("TrendWindow");
    setWindowTitle("Trend");

    source_ = new QComboBox;
    source_->setObjectName("comboTrendSource");
    source_->addItems({"HART command 3 (transparent mode)", "MODBUS Comm Test request"});
    interval_ = new QSpinBox;
    interval_->setObjectName("spinTrendInterval");
    interval_->setRange(1, 60);
    interval_->setValue(2);
    interval_->setSuffix(" s");
    start_ = new QPushButton("Start");
    start_->setObjectName("buttonTrendStart");
    stop_ = new QPushButton("Stop");
    stop_->setObjectName("buttonTrendStop");
    auto* clear = new QPushButton("Clear");
    clear->setObjectName("buttonTrendClear");
    auto* exportCsv = new QPushButton("Export CSV...");
    exportCsv->setObjectName("buttonTrendExport");
    status_ = new QLabel;
    status_->setObjectName("labelTrendStatus");

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignBottom);
    timeAxis_ = new QValueAxis;
    timeAxis_->setTitleText("s");
    timeAxis_->setLabelFormat("%.0f");
    valueAxis_ = new QValueAxis;
    valueAxis_->setTitleText("Variables");
    currentAxis_ = new QValueAxis;
    currentAxis_->setTitleText("Loop current (mA)");
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(valueAxis_, Qt::AlignLeft);
    chart_->addAxis(currentAxis_, Qt::AlignRight);
    for (int s = 0; s < kTrendSeries; ++s) {
        series_[s] = new QLineSeries;
        series_[s]->setName(kSeriesTitles[s]);
        chart_->addSeries(series_[s]);
        series_[s]->attachAxis(timeAxis_);
        series_[s]->attachAxis(s == 0 ? currentAxis_ : valueAxis_);
    }
    auto* view = new QChartView(chart_);
    view->setObjectName("chartTrend");
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(560, 360);

    stats_ = new QTableWidget(kTrendSeries, 5);
    stats_->setObjectName("tableTrendStats");
    stats_->setHorizontalHeaderLabels({"Series", "Last", "Min", "Max", "Unit"});
    stats_->verticalHeader()->hide();
    stats_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stats_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int s = 0; s < kTrendSeries; ++s) {
        for (int c = 0; c < 5; ++c) stats_->setItem(s, c, new QTableWidgetItem);
        stats_->item(s, 0)->setText(kSeriesTitles[s]);
    }
    stats_->setMinimumWidth(330);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel("Poll:"));
    controls->addWidget(source_);
    controls->addWidget(new QLabel("every"));
    controls->addWidget(interval_);
    controls->addWidget(start_);
    controls->addWidget(stop_);
    controls->addWidget(clear);
    controls->addWidget(exportCsv);
    controls->addStretch();
    auto* body = new QHBoxLayout;
    body->addWidget(view, 1);
    body->addWidget(stats_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(body, 1);
    layout->addWidget(status_);
    resize(1000, 520);

    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, &TrendWindow::Poll);
    connect(start_, &QPushButton::clicked, this, &TrendWindow::Start);
    connect(stop_, &QPushButton::clicked, this, &TrendWindow::Stop);
    connect(clear, &QPushButton::clicked, this, &TrendWindow::Clear);
    connect(exportCsv, &QPushButton::clicked, this, &TrendWindow::ExportCsv);
    connect(interval_, &QSpinBox::valueChanged, this, [this](int seconds) {
        if (!testIntervalMs_) poll_->setInterval(seconds * 1000);
    });
    RequestRunner* runner = window_->Sequencer;
    connect(runner, &RequestRunner::replied, this,
            [this](int, const QByteArray& reply) { Replied(reply); });
    connect(runner, &RequestRunner::ended, this, &TrendWindow::Ended);
    ShowControls();
}

bool TrendWindow::IsPolling() const { return polling_; }

void TrendWindow::SetIntervalForTest(int ms) {
    testIntervalMs_ = ms;
    poll_->setInterval(ms);
}

void TrendWindow::Start() {
    if (polling_) return;
    polling_ = true;
    timeoutsInARow_ = 0;
    poll_->setInterval(testIntervalMs_ ? testIntervalMs_ : interval_->value() * 1000);
    poll_->start();
    status_->setText("Polling.");
    ShowControls();
    Poll();
}

void TrendWindow::Stop() { StopWith("Stopped."); }

void TrendWindow::StopWith(const QString& message) {
    polling_ = false;
    poll_->stop();
    if (ownRun_) window_->Sequencer->Cancel();
    status_->setText(message);
    ShowControls();
}

void TrendWindow::ShowControls() {
    start_->setEnabled(!polling_);
    stop_->setEnabled(polling_);
    source_->setEnabled(!polling_);
}

std::optional<SequenceStep> TrendWindow::PollStep() {
    const Ui::TForm1& ui = *window_->form();
    try {
        if (source_->currentIndex() == kHart) {
            const int preamble = StrToInt(TextBytes(ui.Edit9->text()));
            if (!PreambleLengthOk(preamble)) throw std::runtime_error(kPreambleRangeMessage);
            const HartIdentity identity = window_->Link1->KeptHartIdentity();
            const uint8_t master =
                ItemIndex(ui.ComboBox42) == 1 ? kSecondaryMaster : kPrimaryMaster;
            const HartBytes frame = HartCommand3Frame(preamble, master, identity);
            return SequenceStep{std::string(frame.begin(), frame.end()), kCodeHartCommand3,
                                "Trend: HART command 3"};
        }
        const ModbusRequest frame = ReadHoldingRegistersRequest(
            StrToInt(TextBytes(ui.Edit18->text())), StrToInt(TextBytes(ui.Edit19->text())),
            StrToInt(TextBytes(ui.Edit20->text())));
        modbusStartOfRun_ = frame[3];
        return SequenceStep{std::string(frame.begin(), frame.end()), kCodeModbusTest,
                            "Trend: MODBUS test"};
    } catch (const std::exception& error) {
        StopWith(QString::fromLatin1(error.what()));
        return std::nullopt;
    }
}

void TrendWindow::Poll() {
    // The window's own request or another sequence has the line: skip this
    // tick rather than queue behind it.
    if (ownRun_ || !window_->Link1->LineFree()) return;
    const auto step = PollStep();
    if (!step) return;
    sourceOfRun_ = source_->currentIndex();
    ownRun_ = window_->Sequencer->Run({*step});
}

void TrendWindow::Replied(const QByteArray& reply) {
    if (!ownRun_) return;
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(reply.constData()),
                                 static_cast<size_t>(reply.size()));
    std::optional<TrendValues> values;
    if (sourceOfRun_ == kHart) {
        values = TrendValuesFromHart(bytes);
    } else {
        const Ui::TForm1& ui = *window_->form();
        const std::array<int, 4> orders{ItemIndex(ui.FAMOUT3), ItemIndex(ui.FAMOUT5),
                                        ItemIndex(ui.FAMOUT7), ItemIndex(ui.FAMOUT9)};
        values = TrendValuesFromModbus(bytes, kFirstHoldingRegister + modbusStartOfRun_, orders);
    }
    if (!values) {
        status_->setText("A reply that does not decode: point skipped.");
        return;
    }
    Plot(log_.Add(QDateTime::currentMSecsSinceEpoch(), *values));
    ShowStats();
}

void TrendWindow::Ended() {
    if (!ownRun_) return;
    ownRun_ = false;
    if (!polling_) return;
    const RequestSequence& poll = window_->Sequencer->sequence();
    if (poll.state() == RequestSequence::State::Failed) {
        timeoutsInARow_ = 0;
        status_->setText("Reply " + window_->Sequencer->failure() + ": point skipped.");
        return;
    }
    if (poll.state() != RequestSequence::State::TimedOut) {
        timeoutsInARow_ = 0;
        return;
    }
    if (++timeoutsInARow_ >= kTimeoutsToStop) {
        StopWith(QString("No reply to %1 polls in a row: polling stopped.").arg(kTimeoutsToStop));
    } else {
        status_->setText(QString("No reply (%1 of %2 allowed in a row).")
                             .arg(timeoutsInARow_)
                             .arg(kTimeoutsToStop - 1));
    }
}

void TrendWindow::Plot(const TrendSample& sample) {
    for (int s = 0; s < kTrendSeries; ++s) {
        if (const auto& value = sample.values.value[static_cast<size_t>(s)]) {
            series_[s]->append(sample.seconds, *value);
        }
    }
    timeAxis_->setRange(0, std::max(10.0, sample.seconds));
    // Each axis spans its series' extremes with a margin, so flat lines show.
    const auto fit = [this](QValueAxis* axis, int first, int last) {
        std::optional<double> low, high;
        for (int s = first; s <= last; ++s) {
            const TrendStats stats = log_.Stats(s);
            if (!stats.min) continue;
            low = low ? std::min(*low, *stats.min) : *stats.min;
            high = high ? std::max(*high, *stats.max) : *stats.max;
        }
        if (!low) return;
        const double margin =
            std::max((*high - *low) * 0.1, std::max(std::fabs(*high), 1.0) * 0.01);
        axis->setRange(*low - margin, *high + margin);
    };
    fit(currentAxis_, 0, 0);
    fit(valueAxis_, 1, kTrendSeries - 1);
}

void TrendWindow::ShowStats() {
    const TrendSample* last = log_.samples().empty() ? nullptr : &log_.samples().back();
    for (int s = 0; s < kTrendSeries; ++s) {
        const TrendStats stats = log_.Stats(s);
        stats_->item(s, 1)->setText(Number(stats.last));
        stats_->item(s, 2)->setText(Number(stats.min));
        stats_->item(s, 3)->setText(Number(stats.max));
        stats_->item(s, 4)->setText(
            last ? QString::fromStdString(last->values.unit[static_cast<size_t>(s)]) : QString());
    }
    status_->setText(QString("%1 points.").arg(log_.samples().size()));
}

void TrendWindow::Clear() {
    log_.Clear();
    for (QLineSeries* series : series_) series->clear();
    ShowStats();
}

void TrendWindow::ExportCsv() {
    const QString path = QFileDialog::getSaveFileName(this, "Export Trend", "trend.csv",
                                                      "CSV files (*.csv);;All files (*)");
    if (!path.isEmpty()) SaveCsv(path);
}

bool TrendWindow::SaveCsv(const QString& path) {
    QFile file(path);
    const QByteArray csv = QByteArray::fromStdString(log_.Csv());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(csv) != csv.size() ||
        !file.flush()) {
        ShowMessage(QString("Cannot write %1: %2").arg(path, file.errorString()));
        return false;
    }
    status_->setText(QString("%1 points written to %2.").arg(log_.samples().size()).arg(path));
    return true;
}
