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
#include <QLineSeries>
#include <QListWidget>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
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
#include "ui/desktoppalette.h"
#include "ui/screenfit.h"
#include "ui/tapplication.h"

namespace {

enum Source { kHart = 0, kModbus = 1, kBoth = 2 };

constexpr const char* kSeriesTitles[kTrendSeries] = {"Loop current", "Variable 1", "Variable 2",
                                                     "Variable 3", "Variable 4"};
// One hue a quantity, far apart on the wheel; each made readable on the plot's
// background, so its lightness follows the desktop's palette.
const QColor kHues[kTrendSeries] = {QColor(0x1F, 0x5F, 0xBF), QColor(0xD6, 0x27, 0x28),
                                    QColor(0x2C, 0xA0, 0x2C), QColor(0xE0, 0x8A, 0x00),
                                    QColor(0x94, 0x67, 0xBD)};
// Missed polls: grey, no quantity's hue.
const QColor kGapGrey(0x80, 0x80, 0x80);
constexpr QSize kSwatch(32, 14);
constexpr QSize kToggleSwatch(24, 12);  // a check box's: both sides of its quantity
enum StatsColumn { kTitle, kLast, kMin, kMax, kUnit, kDeviation, kStatsColumns };

QString Number(const std::optional<double>& value) {
    return value ? QString::number(*value, 'g', 7) : QString("-");
}

// A legend's swatch: each pen a stroke across, one above the other.
QIcon LineSwatch(const QList<QPen>& pens, QSize size = kSwatch) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    for (qsizetype i = 0; i < pens.size(); ++i) {
        const qreal y = size.height() * (i + 1.0) / (pens.size() + 1.0);
        painter.setPen(pens[i]);
        painter.drawLine(QPointF(1, y), QPointF(size.width() - 1, y));
    }
    return QIcon(pixmap);
}

QIcon TriangleSwatch(const QColor& color) {
    QPixmap pixmap(kSwatch);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(color);
    painter.setBrush(color);
    const qreal mid = kSwatch.width() / 2.0;
    painter.drawPolygon(QPolygonF({QPointF(mid - 5, 12), QPointF(mid + 5, 12), QPointF(mid, 2)}));
    return QIcon(pixmap);
}

// The legend and the table beside the plot: as wide as they are now (a plain
// scroll area keeps the size its contents had when set), scrolling only when
// the window is too small for them.
class SidePanel : public QScrollArea {
public:
    QSize sizeHint() const override {
        const int frame = 2 * frameWidth();
        QSize hint = widget() ? widget()->sizeHint() : QSize();
        return hint + QSize(frame + verticalScrollBar()->sizeHint().width(), frame);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget() && event->type() == QEvent::LayoutRequest) updateGeometry();
        return QScrollArea::eventFilter(watched, event);
    }
};

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
    // The chart's own legend cuts names short: the list beside the plot names them.
    chart_->legend()->hide();
    chart_->setBackgroundRoundness(0);
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
    gaps_->setMarkerShape(QScatterSeries::MarkerShapeTriangle);
    gaps_->setMarkerSize(10);
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
        lines_[l].title = QString(kSeriesTitles[series]) + (modbus ? " (MODBUS)" : " (HART)");
        lines_[l].series = series;
        lines_[l].dashed = modbus;
    }
    view_ = new QChartView(chart_);
    view_->setObjectName("chartTrend");
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setMinimumSize(320, 220);

    legend_ = new QListWidget;
    legend_->setObjectName("listTrendLegend");
    legend_->setSelectionMode(QAbstractItemView::NoSelection);
    legend_->setFocusPolicy(Qt::NoFocus);
    legend_->setIconSize(kSwatch);
    legend_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    legend_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);
    for (int l = 0; l < kLines; ++l) legend_->addItem(lines_[l].title);
    legend_->addItem(gaps_->name());

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
    // As wide and tall as its columns and rows, never narrower: the side
    // panel scrolls instead of cutting a column.
    stats_->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    stats_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stats_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stats_->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Minimum);

    auto* toggles = new QHBoxLayout;
    toggles->addWidget(new QLabel("Show:"));
    for (int s = 0; s < kTrendSeries; ++s) {
        shown_[s] = new QCheckBox(kSeriesTitles[s]);
        shown_[s]->setObjectName(QString("checkTrendSeries%1").arg(s));
        shown_[s]->setChecked(true);
        shown_[s]->setIconSize(kToggleSwatch);
        connect(shown_[s], &QCheckBox::toggled, this, [this, s](bool on) {
            ShowLine(s, on);
            ShowLegend();
        });
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
    controls->addStretch();
    auto* side = new QWidget;
    side->setObjectName("panelTrendSide");
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(legend_);
    sideLayout->addWidget(stats_);
    sideLayout->addStretch();
    auto* sideScroll = new SidePanel;
    sideScroll->setObjectName("scrollTrendSide");
    sideScroll->setFrameShape(QFrame::NoFrame);
    sideScroll->setWidgetResizable(true);
    sideScroll->setWidget(side);
    auto* body = new QHBoxLayout;
    body->addWidget(view_, 1);
    body->addWidget(sideScroll);
    // A long reason wraps rather than widening the window past the screen.
    status_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(toggles);
    layout->addLayout(body, 1);
    // What the samples are and what to do with them, on one line: rows short
    // enough for a small screen with a large font.
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(clear);
    bottom->addWidget(exportCsv);
    layout->addLayout(bottom);
    resize(FittedSize(this, QSize(1280, 620)));  // wide for the plot, within the screen

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
    connect(source_, &QComboBox::currentIndexChanged, this, &TrendWindow::ShowLegend);
    // As many time labels as fit the plot's width whole.
    connect(chart_, &QChart::plotAreaChanged, this, [this](const QRectF& area) {
        const int label = QFontMetrics(timeAxis_->labelsFont()).horizontalAdvance("00:00:00") * 3 / 2;
        timeAxis_->setTickCount(std::clamp(static_cast<int>(area.width()) / label + 1, 2, 6));
    });
    ShowControls();
    ShowEmptyTime();
    ApplyColours();
}

void TrendWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && legend_) ApplyColours();
}

QColor TrendWindow::PlotBackground() const { return palette().color(QPalette::Base); }

QPen TrendWindow::PenOf(int l) const {
    QPen pen(ReadableOn(kHues[lines_[l].series], PlotBackground()));
    pen.setWidth(2);
    if (lines_[l].dashed) pen.setStyle(Qt::DashLine);
    return pen;
}

QColor TrendWindow::GapColour() const { return ReadableOn(kGapGrey, PlotBackground()); }

void TrendWindow::StyleAxis(QAbstractAxis* axis) const {
    const QColor plot = PlotBackground();
    const QColor text = ReadableOn(palette().color(QPalette::Text), plot);
    axis->setLabelsBrush(text);
    axis->setTitleBrush(text);
    axis->setLinePenColor(text);
    // Grid lines faint: a fifth of the way from the background to the text.
    const QColor grid = QColor::fromRgbF(plot.redF() + (text.redF() - plot.redF()) * 0.2f,
                                         plot.greenF() + (text.greenF() - plot.greenF()) * 0.2f,
                                         plot.blueF() + (text.blueF() - plot.blueF()) * 0.2f);
    axis->setGridLineColor(grid);
    axis->setMinorGridLineColor(grid);
}

// The plot, its axes, lines and legend in the desktop's colours: called at the
// start and again whenever the palette changes (a light or dark theme).
void TrendWindow::ApplyColours() {
    const QColor plot = PlotBackground();
    chart_->setBackgroundBrush(plot);
    chart_->setBackgroundPen(Qt::NoPen);
    chart_->setPlotAreaBackgroundBrush(plot);
    chart_->setPlotAreaBackgroundVisible(true);
    view_->setBackgroundBrush(plot);
    for (QAbstractAxis* axis : chart_->axes()) StyleAxis(axis);
    for (int l = 0; l < kLines; ++l)
        for (QLineSeries* segment : lines_[l].segments) segment->setPen(PenOf(l));
    gaps_->setColor(GapColour());
    gaps_->setBorderColor(GapColour());
    for (int s = 0; s < kTrendSeries; ++s) {
        QList<QPen> pens{PenOf(s)};
        if (s > 0) pens.append(PenOf(kTrendSeries + s - 1));
        shown_[s]->setIcon(LineSwatch(pens, kToggleSwatch));
    }
    ShowLegend();
}

// Every line the source draws or the chart holds, by its full name, with its
// swatch; a series switched off greyed.
void TrendWindow::ShowLegend() {
    const int source = source_->currentIndex();
    for (int l = 0; l < kLines; ++l) {
        const bool drawn = lines_[l].dashed ? source != kHart : source != kModbus;
        QListWidgetItem* item = legend_->item(l);
        item->setHidden(!drawn && lines_[l].segments.empty());
        item->setIcon(LineSwatch({PenOf(l)}));
        item->setData(Qt::UserRole, PenOf(l));
        const bool on = shown_[lines_[l].series]->isChecked();
        item->setFlags(on ? Qt::ItemIsEnabled : Qt::NoItemFlags);
    }
    QListWidgetItem* missed = legend_->item(kLines);
    missed->setIcon(TriangleSwatch(GapColour()));
    missed->setData(Qt::UserRole, QPen(GapColour()));
    missed->setFlags(Qt::ItemIsEnabled);
    legend_->updateGeometry();
}

// Nothing plotted: the last minute up to now, so the time labels differ.
void TrendWindow::ShowEmptyTime() {
    const QDateTime now = QDateTime::currentDateTime();
    timeAxis_->setRange(now.addSecs(-60), now);
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
    log_.Stop();  // no line joins across the time nobody polled
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
    Plot(log_.Add(QDateTime::currentMSecsSinceEpoch(), *values), code == kCodeModbusTest);
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
    StyleAxis(axis);
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
            trimmed_ = true;
        }
        auto* segment = new QLineSeries;
        segment->setName(line.title);
        segment->setPen(PenOf(l));
        segment->setMarkerSize(6);
        chart_->addSeries(segment);
        segment->attachAxis(timeAxis_);
        segment->attachAxis(axis);
        segment->setVisible(shown_[line.series]->isChecked());
        const bool first = line.segments.empty();
        line.segments.push_back(segment);
        line.axis = axis;
        line.breakNext = false;
        if (first) ShowLegend();
    }
    QLineSeries* segment = line.segments.back();
    segment->append(static_cast<qreal>(x), y);
    // A lone point (the first after a gap or a stop) draws no line: a dot
    // until the next one joins it.
    segment->setPointsVisible(segment->count() == 1);
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

void TrendWindow::Plot(const TrendSample& sample, bool modbusSource) {
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
    // Never joined across a stop or a value the instrument lacks (TrendBreaks).
    for (int s = 0; s < kTrendSeries; ++s) {
        const size_t i = static_cast<size_t>(s);
        // The MODBUS test polled alone: its variables are MODBUS's lines.
        const int l = modbusSource && s > 0 ? kTrendSeries + s - 1 : s;
        if (TrendBreaks(sample, s)) lines_[l].breakNext = true;
        if (const auto& value = sample.values.value[i])
            AddPoint(l, sample.epochMs, *value, sample.values.unit[i]);
    }
    for (int v = 1; v < kTrendSeries; ++v) {
        const size_t i = static_cast<size_t>(v);
        const int l = kTrendSeries + v - 1;
        if (TrendBreaks(sample, v, true)) lines_[l].breakNext = true;
        if (!sample.modbus) continue;
        // MODBUS registers carry no unit: the HART variable's is theirs.
        const std::string& unit =
            sample.modbus->unit[i].empty() ? sample.values.unit[i] : sample.modbus->unit[i];
        if (const auto& value = sample.modbus->value[i]) AddPoint(l, sample.epochMs, *value, unit);
    }
}

void TrendWindow::ShowLine(int series, bool shown) {
    for (Line& line : lines_) {
        if (line.series != series) continue;
        for (QLineSeries* segment : line.segments) segment->setVisible(shown);
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

void TrendWindow::AddForTest(int64_t epochMs, const TrendValues& hart, const TrendValues& modbus) {
    Plot(log_.Add(epochMs, hart, modbus));
    ShowStats();
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
    ShowEmptyTime();
    ShowLegend();
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
