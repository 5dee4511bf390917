#include "ui/trendwindow.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "hart/replies.h"
#include "modbus/request.h"
#include "protocol/strtoint.h"
#include "session/link.h"
#include "session/linkrun.h"
#include "session/windowrequest.h"
#include "session/windowsession.h"
#include "ui/controls.h"
#include "ui/tapplication.h"

namespace {

enum Source { kHart = 0, kModbus = 1, kBoth = 2 };

constexpr const char* kSeriesTitles[kTrendSeries] = {"Loop current", "Variable 1", "Variable 2",
                                                     "Variable 3", "Variable 4"};
const QColor kColors[kTrendSeries] = {QColor(0x20, 0x4A, 0x87), QColor(0xCC, 0x00, 0x00),
                                      QColor(0x4E, 0x9A, 0x06), QColor(0xC4, 0xA0, 0x00),
                                      QColor(0x75, 0x50, 0x7B)};
enum StatsColumn { kTitle, kLast, kMin, kMax, kUnit, kDeviation, kStatsColumns };

QString Number(const std::optional<double>& value) {
    return value ? QString::number(*value, 'g', 7) : QString("-");
}

bool IdentityKnown(const HartIdentity& id) {
    return id.manufacturer || id.deviceType || id.deviceId[0] || id.deviceId[1] || id.deviceId[2];
}

}  // namespace

TrendWindow::TrendWindow(WindowSession* session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session) {
    setObjectName("TrendWindow");
    setWindowTitle("Trend");

    source_ = new QComboBox;
    source_->setObjectName("comboTrendSource");
    source_->addItems({"HART command 3 (transparent mode)", "MODBUS Comm Test request",
                       "HART command 3 and MODBUS, overlaid"});
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
    chart_->legend()->setShowToolTips(true);
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTitleText("Time of day");
    timeAxis_->setFormat("HH:mm:ss");
    timeAxis_->setTickCount(6);
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    // Missed polls sit on an axis of their own, along the bottom of the plot.
    gapAxis_ = new QValueAxis;
    gapAxis_->setRange(0, 1);
    gapAxis_->setVisible(false);
    chart_->addAxis(gapAxis_, Qt::AlignRight);
    gaps_ = new QScatterSeries;
    gaps_->setName("Missed poll");
    gaps_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    gaps_->setMarkerSize(9);
    gaps_->setColor(QColor(0xB0, 0x00, 0x00));
    chart_->addSeries(gaps_);
    gaps_->attachAxis(timeAxis_);
    gaps_->attachAxis(gapAxis_);
    connect(gaps_, &QScatterSeries::hovered, this, [this](const QPointF& point, bool over) {
        if (over)
            QToolTip::showText(QCursor::pos(), GapAt(point.x()), this);
        else
            QToolTip::hideText();
    });
    for (int l = 0; l < kLines; ++l) {
        const bool modbus = l >= kTrendSeries;
        const int series = modbus ? l - kTrendSeries + 1 : l;
        lines_[l].title =
            modbus ? QString(kSeriesTitles[series]) + " (MODBUS)" : QString(kSeriesTitles[series]);
        lines_[l].color = kColors[series];
        lines_[l].dashed = modbus;
    }
    auto* view = new QChartView(chart_);
    view->setObjectName("chartTrend");
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(560, 360);

    stats_ = new QTableWidget(kTrendSeries, kStatsColumns);
    stats_->setObjectName("tableTrendStats");
    stats_->setHorizontalHeaderLabels({"Series", "Last", "Min", "Max", "Unit", "HART - MODBUS"});
    stats_->verticalHeader()->hide();
    stats_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stats_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    for (int s = 0; s < kTrendSeries; ++s) {
        for (int c = 0; c < kStatsColumns; ++c) stats_->setItem(s, c, new QTableWidgetItem);
        stats_->item(s, 0)->setText(kSeriesTitles[s]);
    }
    stats_->setMinimumWidth(380);

    auto* toggles = new QHBoxLayout;
    toggles->addWidget(new QLabel("Show:"));
    for (int s = 0; s < kTrendSeries; ++s) {
        shown_[s] = new QCheckBox(kSeriesTitles[s]);
        shown_[s]->setObjectName(QString("checkTrendSeries%1").arg(s));
        shown_[s]->setChecked(true);
        connect(shown_[s], &QCheckBox::toggled, this, [this, s](bool on) { ShowLine(s, on); });
        toggles->addWidget(shown_[s]);
    }
    toggles->addStretch();

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
    layout->addLayout(toggles);
    layout->addLayout(body, 1);
    layout->addWidget(status_);
    resize(1280, 620);

    poll_ = new QTimer(this);
    connect(poll_, &QTimer::timeout, this, &TrendWindow::Poll);
    connect(start_, &QPushButton::clicked, this, &TrendWindow::Start);
    connect(stop_, &QPushButton::clicked, this, &TrendWindow::Stop);
    connect(clear, &QPushButton::clicked, this, &TrendWindow::Clear);
    connect(exportCsv, &QPushButton::clicked, this, &TrendWindow::ExportCsv);
    connect(interval_, &QSpinBox::valueChanged, this, [this](int seconds) {
        if (!testIntervalMs_) poll_->setInterval(seconds * 1000);
    });
    // Nothing more can come: stop at once, saying why.
    connect(session_->link(), &Link::hungUp, this,
            [this] { LineLost("The device hung up (the port is gone): polling stopped."); });
    connect(session_->link(), &Link::closed, this,
            [this] { LineLost("The port closed: polling stopped."); });
    ShowControls();
}

bool TrendWindow::IsPolling() const { return polling_; }

void TrendWindow::SetIntervalForTest(int ms) {
    testIntervalMs_ = ms;
    poll_->setInterval(ms);
}

void TrendWindow::Start() {
    if (polling_) return;
    if (!session_->PortOpen()) {
        status_->setText("The port is closed: open it before polling.");
        return;
    }
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
    if (run_) run_->Cancel();
    status_->setText(message);
    ShowControls();
}

void TrendWindow::LineLost(const QString& message) {
    if (!polling_) return;
    Gap(message);
    StopWith(message);
}

void TrendWindow::Gap(const QString& reason) {
    Plot(log_.AddGap(QDateTime::currentMSecsSinceEpoch(), reason.toStdString()));
    ShowStats();
}

void TrendWindow::ShowControls() {
    start_->setEnabled(!polling_);
    stop_->setEnabled(polling_);
    source_->setEnabled(!polling_);
}

std::optional<std::vector<SequenceStep>> TrendWindow::PollSteps() {
    const WindowSettings window = session_->Settings();
    const int source = source_->currentIndex();
    std::vector<SequenceStep> steps;
    try {
        if (source == kHart || source == kBoth) {
            const int preamble = StrToInt(TextBytes(window.preamble));
            if (!PreambleLengthOk(preamble)) throw std::runtime_error(kPreambleRangeMessage);
            const uint8_t master = window.master == 1 ? kSecondaryMaster : kPrimaryMaster;
            const HartIdentity identity = session_->requests()->KeptHartIdentity();
            if (!IdentityKnown(identity)) {
                // Command 3 goes to the instrument's long address, which only
                // its command 0 reply gives: read that first.
                const HartBytes frame =
                    HartCommand0Frame(preamble, master, session_->requests()->HartPollingAddress());
                return std::vector<SequenceStep>{{std::string(frame.begin(), frame.end()),
                                                  kCodeHartCommand0,
                                                  "Trend: HART command 0 (identity)"}};
            }
            const HartBytes frame = HartCommand3Frame(preamble, master, identity);
            steps.push_back({std::string(frame.begin(), frame.end()), kCodeHartCommand3,
                             "Trend: HART command 3"});
        }
        if (source == kModbus || source == kBoth) {
            const ModbusRequest frame = ReadHoldingRegistersRequest(
                StrToInt(TextBytes(window.modbusSlave)), StrToInt(TextBytes(window.modbusStart)),
                StrToInt(TextBytes(window.modbusCount)));
            modbusStartOfRun_ = frame[3];
            steps.push_back(
                {std::string(frame.begin(), frame.end()), kCodeModbusTest, "Trend: MODBUS test"});
        }
        return steps;
    } catch (const std::exception& error) {
        StopWith(QString::fromLatin1(error.what()));
        return std::nullopt;
    }
}

void TrendWindow::Poll() {
    if (!session_->PortOpen()) {
        LineLost("The port is closed: polling stopped.");
        return;
    }
    // The window's own request or another sequence has the line: skip this
    // tick rather than queue behind it.
    if (run_ || !session_->link()->LineFree()) return;
    const auto steps = PollSteps();
    if (!steps) return;
    sourceOfRun_ = source_->currentIndex();
    codesOfRun_.clear();
    for (const SequenceStep& step : *steps) codesOfRun_.push_back(step.code);
    hartOfRun_.reset();
    run_ = session_->link()->Start(*steps, {.source = "a trend poll"}, this);
    connect(run_, &LinkRun::replied, this, &TrendWindow::Replied);
    connect(run_, &LinkRun::finished, this, &TrendWindow::Ended);
}

void TrendWindow::Replied(int step, const QByteArray& reply) {
    if (step < 0 || static_cast<size_t>(step) >= codesOfRun_.size()) return;
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(reply.constData()),
                                 static_cast<size_t>(reply.size()));
    const int code = codesOfRun_[static_cast<size_t>(step)];
    if (code == kCodeHartCommand0) {
        if (const auto device = ParseHartCommand0Reply(bytes)) {
            session_->requests()->KeepHartIdentity(device->identity);
            session_->requests()->KeepHartRevision(device->universalRevision);
            status_->setText("HART identity read (command 0): polling command 3.");
        }
        return;
    }
    std::optional<TrendValues> values;
    if (code == kCodeHartCommand3) {
        values = TrendValuesFromHart(bytes);
        if (values && sourceOfRun_ == kBoth) {
            hartOfRun_ = values;  // plotted with the MODBUS reply of the same poll
            return;
        }
    } else {
        const auto orders = session_->Settings().byteOrders;
        values = TrendValuesFromModbus(bytes, kFirstHoldingRegister + modbusStartOfRun_, orders);
        if (values && sourceOfRun_ == kBoth) {
            TrendValues hart = hartOfRun_.value_or(TrendValues{});
            Plot(log_.Add(QDateTime::currentMSecsSinceEpoch(), hart, *values));
            ShowStats();
            return;
        }
    }
    if (!values) {
        Gap("A reply that does not decode: point skipped.");
        return;
    }
    Plot(log_.Add(QDateTime::currentMSecsSinceEpoch(), *values));
    ShowStats();
}

void TrendWindow::Ended() {
    LinkRun* poll = run_;
    run_ = nullptr;
    poll->deleteLater();
    if (!polling_) return;
    if (poll->state() == LinkRun::State::Failed) {
        timeoutsInARow_ = 0;
        const QString reason = "Reply " + poll->failure() + ": point skipped.";
        Gap(reason);
        status_->setText(reason);
        return;
    }
    if (poll->state() != LinkRun::State::TimedOut) {
        timeoutsInARow_ = 0;
        return;
    }
    Gap("No reply: " + poll->failure());
    if (++timeoutsInARow_ >= kTimeoutsToStop) {
        StopWith(QString("No reply to %1 polls in a row: polling stopped.").arg(kTimeoutsToStop));
    } else {
        status_->setText(QString("No reply (%1 of %2 allowed in a row).")
                             .arg(timeoutsInARow_)
                             .arg(kTimeoutsToStop - 1));
    }
}

QValueAxis* TrendWindow::AxisFor(const QString& unit) {
    const QString title = unit.isEmpty() ? QString("Variables") : unit;
    for (const AxisRange& range : axes_)
        if (range.axis->titleText() == title) return range.axis;
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat("%.5g");
    axis->setTruncateLabels(false);
    // Alternate sides so that each axis stays readable.
    chart_->addAxis(axis, axes_.size() % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight);
    axes_.push_back({axis, std::nullopt, std::nullopt});
    return axis;
}

void TrendWindow::AddPoint(int l, int64_t x, double y, const std::string& unit) {
    Line& line = lines_[l];
    QValueAxis* axis = AxisFor(QString::fromStdString(unit));
    if (line.segments.empty() || line.breakNext || line.axis != axis) {
        if (line.segments.size() >= kSegmentsKept) {
            chart_->removeSeries(line.segments.front());
            delete line.segments.front();
            line.segments.erase(line.segments.begin());
            for (QLegendMarker* marker : chart_->legend()->markers(line.segments.front()))
                marker->setVisible(true);
            trimmed_ = true;
        }
        auto* segment = new QLineSeries;
        segment->setName(line.title);
        QPen pen(line.color);
        pen.setWidth(2);
        if (line.dashed) pen.setStyle(Qt::DashLine);
        segment->setPen(pen);
        chart_->addSeries(segment);
        segment->attachAxis(timeAxis_);
        segment->attachAxis(axis);
        const int series = l >= kTrendSeries ? l - kTrendSeries + 1 : l;
        segment->setVisible(shown_[series]->isChecked());
        // One legend entry a line, however many segments its gaps made.
        const auto markers = chart_->legend()->markers(segment);
        if (!line.segments.empty())
            for (QLegendMarker* marker : markers) marker->setVisible(false);
        line.segments.push_back(segment);
        line.axis = axis;
        line.breakNext = false;
    }
    line.segments.back()->append(static_cast<qreal>(x), y);
    for (AxisRange& range : axes_) {
        if (range.axis != axis) continue;
        range.low = range.low ? std::min(*range.low, y) : y;
        range.high = range.high ? std::max(*range.high, y) : y;
        // The axis spans its series' extremes with a margin, so flat lines show.
        const double margin = std::max((*range.high - *range.low) * 0.1,
                                       std::max(std::fabs(*range.high), 1.0) * 0.01);
        axis->setRange(*range.low - margin, *range.high + margin);
    }
}

void TrendWindow::Plot(const TrendSample& sample) {
    int64_t first = log_.samples().front().epochMs;
    if (trimmed_) {
        // From the oldest point still drawn.
        first = sample.epochMs;
        for (const Line& line : lines_)
            if (!line.segments.empty() && line.segments.front()->count() > 0)
                first = std::min(first, static_cast<int64_t>(line.segments.front()->at(0).x()));
    }
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(first),
                        QDateTime::fromMSecsSinceEpoch(std::max(sample.epochMs, first + 10000)));
    if (sample.IsGap()) {
        for (Line& line : lines_) line.breakNext = true;
        gaps_->append(static_cast<qreal>(sample.epochMs), 0.03);
        return;
    }
    for (int s = 0; s < kTrendSeries; ++s) {
        const size_t i = static_cast<size_t>(s);
        if (const auto& value = sample.values.value[i])
            AddPoint(s, sample.epochMs, *value, sample.values.unit[i]);
        else if (!sample.values.missing[i].empty())
            lines_[s].breakNext = true;  // never joined across a value the instrument lacks
    }
    if (sample.modbus) {
        for (int v = 1; v < kTrendSeries; ++v) {
            const size_t i = static_cast<size_t>(v);
            // MODBUS registers carry no unit: the HART variable's is theirs.
            const std::string& unit =
                sample.modbus->unit[i].empty() ? sample.values.unit[i] : sample.modbus->unit[i];
            if (const auto& value = sample.modbus->value[i])
                AddPoint(kTrendSeries + v - 1, sample.epochMs, *value, unit);
        }
    }
}

void TrendWindow::ShowLine(int series, bool shown) {
    for (int l = 0; l < kLines; ++l) {
        const int of = l >= kTrendSeries ? l - kTrendSeries + 1 : l;
        if (of != series) continue;
        for (QLineSeries* segment : lines_[l].segments) segment->setVisible(shown);
    }
}

QString TrendWindow::GapAt(double x) const {
    const TrendSample* nearest = nullptr;
    for (const TrendSample& sample : log_.samples()) {
        if (!sample.IsGap()) continue;
        if (!nearest || std::fabs(sample.epochMs - x) < std::fabs(nearest->epochMs - x))
            nearest = &sample;
    }
    if (!nearest) return {};
    return QDateTime::fromMSecsSinceEpoch(nearest->epochMs).toString("HH:mm:ss.zzz") + ": " +
           QString::fromStdString(nearest->gap);
}

void TrendWindow::ShowStats() {
    const TrendSample* last = nullptr;
    for (auto it = log_.samples().rbegin(); it != log_.samples().rend() && !last; ++it)
        if (!it->IsGap()) last = &*it;
    for (int s = 0; s < kTrendSeries; ++s) {
        const TrendStats stats = log_.Stats(s);
        const std::string& missing = last ? last->values.missing[static_cast<size_t>(s)] : "";
        stats_->item(s, kLast)->setText(missing.empty() ? Number(stats.last)
                                                        : QString::fromStdString(missing));
        stats_->item(s, kMin)->setText(Number(stats.min));
        stats_->item(s, kMax)->setText(Number(stats.max));
        stats_->item(s, kUnit)->setText(
            last ? QString::fromStdString(last->values.unit[static_cast<size_t>(s)]) : QString());
        const auto deviation = last ? TrendDeviation(*last, s) : std::nullopt;
        stats_->item(s, kDeviation)->setText(deviation ? Number(deviation) : QString());
    }
    if (!log_.samples().empty() && log_.samples().back().IsGap())
        status_->setText(QString::fromStdString(log_.samples().back().gap));
    else
        status_->setText(QString("%1 points.").arg(log_.samples().size()));
}

void TrendWindow::AddForTest(int64_t epochMs, std::optional<double> loopCurrent) {
    if (!loopCurrent) {
        Plot(log_.AddGap(epochMs, "lost"));
        return;
    }
    TrendValues values;
    values.value[0] = loopCurrent;
    values.unit[0] = "mA";
    Plot(log_.Add(epochMs, values));
}

void TrendWindow::Clear() {
    trimmed_ = false;
    log_.Clear();
    for (Line& line : lines_) {
        for (QLineSeries* segment : line.segments) chart_->removeSeries(segment), delete segment;
        line.segments.clear();
        line.axis = nullptr;
        line.breakNext = false;
    }
    for (AxisRange& range : axes_) chart_->removeAxis(range.axis), delete range.axis;
    axes_.clear();
    gaps_->clear();
    ShowStats();
}

void TrendWindow::ExportCsv() {
    const QString path =
        WithSuffix(QFileDialog::getSaveFileName(this, "Export Trend", "trend.csv",
                                                "CSV files (*.csv);;All files (*)"),
                   "csv");
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
