// The trend window against the simulated module: created on first use,
// polling HART command 3 and the MODBUS test through the sequencer, CSV
// export, and three timeouts in a row stopping it; its legend and colours in
// a light and a dark theme, and its size on a small screen.
#include <gtest/gtest.h>

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QScatterSeries>
#include <QScrollArea>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QValueAxis>
#include <map>
#include <mutex>
#include <set>

#include "exchange/requestcodes.h"
#include "darkpalette.h"
#include "screenshot.h"
#include "serial/ptypair.h"
#include "session/link.h"
#include "session/requestrunner.h"
#include "traffic/trafficlog.h"
#include "ui/desktoppalette.h"
#include "ui/trafficlogmodel.h"
#include "ui/trendwindow.h"
#include "window_fixture.h"

namespace {

QChart* TrendChart(TrendWindow* trend) { return trend->findChild<QChartView*>()->chart(); }

std::vector<QLineSeries*> TrendLines(TrendWindow* trend) {
    std::vector<QLineSeries*> lines;
    for (QAbstractSeries* series : TrendChart(trend)->series())
        if (auto* line = qobject_cast<QLineSeries*>(series)) lines.push_back(line);
    return lines;
}

TEST_F(WindowTest, TrendPollsPlotsExportsAndStopsAfterThreeTimeouts) {
    OpenOnSimulator();
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 3000));

    EXPECT_FALSE(form.findChild<TrendWindow*>());
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    ASSERT_TRUE(trend && trend->isVisible());
    trend->SetIntervalForTest(100);
    const auto& samples = trend->log().samples();

    // The engineer raises the pressure between polls.
    QObject::connect(form.Link1, &Link::received, trend, [&] {
        std::lock_guard lock(module.mutex());
        module.settings().variables[0] += 2.5f;
        module.settings().hart.loopCurrent += 1.0f;
    });
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= 4; }, 20000));
    EXPECT_EQ(samples[0].values.value[0], 12.0);
    EXPECT_EQ(samples[0].values.value[1], 12.5);
    EXPECT_EQ(samples[0].values.unit[1], "kPa");
    EXPECT_EQ(trend->log().Stats(1).min, 12.5);
    EXPECT_GT(*trend->log().Stats(1).max, 12.5);
    // A variable the instrument reports not available is no point: its line
    // breaks and the table says why, not its last number.
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.nanVariable = 1;
    }
    ASSERT_TRUE(WaitFor(
        [&] { return !samples.empty() && samples.back().values.missing[2] == "not available"; },
        20000));
    EXPECT_FALSE(samples.back().values.value[2]);
    EXPECT_EQ(trend->findChild<QTableWidget*>("tableTrendStats")->item(2, 1)->text(),
              "not available");
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.nanVariable.reset();
    }
    trend->Stop();
    ASSERT_TRUE(WaitFor([&] { return !form.Link1->RunsActive(); }, 3000));

    // Started again later: no line runs across the time nobody polled.
    const int64_t stoppedAt = samples.back().epochMs;
    const size_t beforeRestart = samples.size();
    ASSERT_TRUE(
        WaitFor([&] { return QDateTime::currentMSecsSinceEpoch() > stoppedAt + 300; }, 2000));
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= beforeRestart + 2; }, 20000));
    trend->Stop();
    ASSERT_TRUE(WaitFor([&] { return !form.Link1->RunsActive(); }, 3000));
    for (QLineSeries* line : TrendLines(trend))
        for (int i = 1; i < line->count(); ++i)
            EXPECT_FALSE(line->at(i - 1).x() <= stoppedAt && line->at(i).x() > stoppedAt)
                << line->name().toStdString();

    QTemporaryDir dir;
    const QString path = dir.filePath("trend.csv");
    ASSERT_TRUE(trend->SaveCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(samples.size()) + 1);
    EXPECT_TRUE(lines[1].contains(",12,mA,12.5,kPa,3.75,"));

    // The MODBUS side, in the lists' byte orders; then a slave that never answers.
    trend->Clear();
    trend->findChild<QComboBox*>("comboTrendSource")->setCurrentIndex(1);
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= 2; }, 10000));
    EXPECT_FALSE(samples[0].values.value[0]);
    EXPECT_EQ(samples[0].values.value[2], 3.75);
    trend->Stop();
    ASSERT_TRUE(WaitFor([&] { return !form.Link1->RunsActive(); }, 3000));

    trend->Clear();
    ui->Edit18->setText("002");
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return !trend->IsPolling(); }, 20000));
    EXPECT_EQ(trend->findChild<QLabel*>("labelTrendStatus")->text(),
              "No reply to 3 polls in a row: polling stopped.");
    // Each missed poll is a gap, with its reason.
    ASSERT_EQ(samples.size(), 3u);
    for (const TrendSample& sample : samples) EXPECT_TRUE(sample.IsGap()) << sample.gap;
    EXPECT_TRUE(messages.texts().isEmpty());
}

// A line that keeps failing: every stretch between gaps is a chart series,
// and the chart keeps the newest 50 of a line while the CSV keeps every sample.
TEST_F(WindowTest, TrendChartKeepsTheNewestStretchesOfAFlakyLine) {
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    ASSERT_TRUE(trend);
    const int64_t start = 1'800'000'000'000;
    for (int i = 0; i < 200; ++i)
        trend->AddForTest(start + i * 1000, i % 2 ? std::nullopt : std::optional(4.0 + i % 16));
    QChart* chart = trend->findChild<QChartView*>()->chart();
    EXPECT_EQ(chart->series().size(), 50 + 1);  // and the gaps' marks
    EXPECT_EQ(trend->log().samples().size(), 200u);
    // The time axis starts at the oldest point still drawn.
    auto* time = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).front());
    ASSERT_TRUE(time);
    EXPECT_EQ(time->min().toMSecsSinceEpoch(), start + 100 * 1000);
    QTemporaryDir dir;
    ASSERT_TRUE(trend->SaveCsv(dir.filePath("flaky.csv")));
    QFile file(dir.filePath("flaky.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().trimmed().split('\n').size(), 201);
}

// Started before any identity, the trend reads it first; polling HART and
// MODBUS together overlays them with their deviation, a MODBUS side that
// stops answering leaves gaps with their reason, also in the CSV.
TEST_F(WindowTest, TrendReadsTheIdentityFirstOverlaysBothSidesAndShowsGaps) {
    OpenOnSimulator();
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    ASSERT_TRUE(trend);
    trend->SetIntervalForTest(100);
    const auto& samples = trend->log().samples();
    trend->findChild<QComboBox*>("comboTrendSource")->setCurrentIndex(2);
    trend->resize(1400, 700);
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= 2; }, 20000));
    // The process moves between the HART and the MODBUS read of each poll.
    QObject::connect(form.Link1, &Link::received, trend,
                     [&](const QByteArray&, const ExchangeRecord& request) {
                         const bool hart = request.code == kCodeHartCommand3;
                         std::lock_guard lock(module.mutex());
                         if (hart) module.settings().variables[0] += 0.5f;
                         module.settings().hart.loopCurrent += hart ? 0.2f : 0.0f;
                     });
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= 6; }, 20000));
    const HartIdentity identity = form.Requests->KeptHartIdentity();
    EXPECT_TRUE(identity.manufacturer || identity.deviceType);
    ASSERT_TRUE(samples[0].modbus);
    EXPECT_EQ(samples[0].values.value[1], 12.5);
    EXPECT_TRUE(samples[0].modbus->value[1]);
    EXPECT_TRUE(TrendDeviation(samples[0], 1));

    // The MODBUS side goes quiet for a poll, then answers again.
    ui->Edit18->setText("002");
    ASSERT_TRUE(WaitFor([&] { return !samples.empty() && samples.back().IsGap(); }, 20000));
    ui->Edit18->setText("001");
    const size_t gapAt = samples.size() - 1;
    ASSERT_TRUE(
        WaitFor([&] { return samples.size() > gapAt + 5 && !samples.back().IsGap(); }, 20000));
    EXPECT_EQ(samples[gapAt].gap.rfind("No reply: ", 0), 0u) << samples[gapAt].gap;
    SaveScreenshot(trend, "trend.png");

    // The legend names every line in full with the pen it is drawn with: a
    // variable's MODBUS line dashed in its HART line's colour, each pen its
    // own, missed polls in a colour no line has.
    QStringList names;
    std::map<QString, QPen> pens;
    for (int i = 0; i < trend->legend()->count(); ++i) {
        const QListWidgetItem* item = trend->legend()->item(i);
        EXPECT_FALSE(item->isHidden()) << item->text().toStdString();
        names << item->text();
        pens[item->text()] = item->data(Qt::UserRole).value<QPen>();
    }
    EXPECT_EQ(names, QStringList({"Loop current (HART)", "Variable 1 (HART)", "Variable 2 (HART)",
                                  "Variable 3 (HART)", "Variable 4 (HART)", "Variable 1 (MODBUS)",
                                  "Variable 2 (MODBUS)", "Variable 3 (MODBUS)",
                                  "Variable 4 (MODBUS)", "Missed poll"}));
    std::set<std::pair<QRgb, Qt::PenStyle>> distinct;
    for (const auto& [name, pen] : pens) {
        distinct.insert({pen.color().rgb(), pen.style()});
        if (!name.endsWith("(MODBUS)")) continue;
        const QString hart = QString(name).replace("(MODBUS)", "(HART)");
        EXPECT_EQ(pen.style(), Qt::DashLine) << name.toStdString();
        EXPECT_EQ(pens[hart].style(), Qt::SolidLine) << hart.toStdString();
        EXPECT_EQ(pen.color(), pens[hart].color()) << name.toStdString();
    }
    EXPECT_EQ(distinct.size(), pens.size());
    std::set<QRgb> hues;
    for (const auto& [name, pen] : pens) hues.insert(pen.color().rgb());
    EXPECT_EQ(hues.size(), 6u);  // five quantities and the missed polls
    auto* gaps = qobject_cast<QScatterSeries*>(TrendChart(trend)->series().front());
    ASSERT_TRUE(gaps);
    EXPECT_EQ(gaps->markerShape(), QScatterSeries::MarkerShapeTriangle);

    // Every line and every axis text reads at 4.5:1 on the plot, in the
    // desktop's light palette and in a dark one it switches to.
    const QPalette light = QApplication::palette();
    struct Restore {
        QPalette palette;
        ~Restore() { QApplication::setPalette(palette); }
    } restore{light};
    for (const QPalette& desktop : {light, DarkPalette()}) {
        QApplication::setPalette(desktop);
        const QColor plot = desktop.color(QPalette::Base);
        ASSERT_TRUE(WaitFor(
            [&] { return TrendChart(trend)->plotAreaBackgroundBrush().color() == plot; }, 2000));
        const auto readable = [&](const QColor& color, const QString& what) {
            EXPECT_GE(ContrastRatio(color, plot), 4.5)
                << what.toStdString() << " " << color.name().toStdString() << " on "
                << plot.name().toStdString();
        };
        int lines = 0;
        for (QLineSeries* line : TrendLines(trend)) {
            readable(line->pen().color(), line->name());
            EXPECT_EQ(line->pen(), trend->legend()
                                       ->findItems(line->name(), Qt::MatchExactly)
                                       .front()
                                       ->data(Qt::UserRole)
                                       .value<QPen>());
            ++lines;
        }
        EXPECT_GE(lines, 9);
        readable(gaps->color(), "missed poll");
        for (QAbstractAxis* axis : TrendChart(trend)->axes()) {
            if (!axis->isVisible()) continue;
            readable(axis->labelsBrush().color(), "labels of " + axis->titleText());
            readable(axis->titleBrush().color(), "title " + axis->titleText());
        }
        SaveScreenshot(trend, IsDarkPalette(desktop) ? "trend-dark.png" : "trend-light.png");
    }
    trend->Stop();
    ASSERT_TRUE(WaitFor([&] { return !form.Link1->RunsActive(); }, 3000));
    QTemporaryDir dir;
    ASSERT_TRUE(trend->SaveCsv(dir.filePath("trend.csv")));
    QFile file(dir.filePath("trend.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    // Quoted: the reason holds commas.
    EXPECT_TRUE(csv.contains(",\"No reply: ")) << csv.toStdString();
}

void EmptyChartLabelsDiffer(TrendWindow* trend, const char* state) {
    auto* time = qobject_cast<QDateTimeAxis*>(TrendChart(trend)->axes(Qt::Horizontal).front());
    ASSERT_TRUE(time);
    std::set<QString> labels;
    const qint64 span = time->max().toMSecsSinceEpoch() - time->min().toMSecsSinceEpoch();
    for (int i = 0; i < time->tickCount(); ++i)
        labels.insert(
            time->min().addMSecs(span * i / (time->tickCount() - 1)).toString(time->format()));
    EXPECT_EQ(labels.size(), static_cast<size_t>(time->tickCount())) << state;
    for (QAbstractAxis* axis : TrendChart(trend)->axes(Qt::Vertical))
        if (auto* value = qobject_cast<QValueAxis*>(axis); value && value->isVisible())
            EXPECT_LT(value->min(), value->max()) << state;
}

// On a 1024x768 laptop with a fifth larger desktop font the window fits and
// its table shows the deviation column whole; an empty chart's time labels
// differ, fresh and cleared.
TEST_F(WindowTest, TrendFitsASmallScreenWithALargerFontAndLabelsAnEmptyChart) {
    struct Restore {
        QFont font;
        ~Restore() { QApplication::setFont(font); }
    } restore{QApplication::font()};
    QFont larger = restore.font;
    larger.setPointSizeF(larger.pointSizeF() * 1.2);
    QApplication::setFont(larger);
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    ASSERT_TRUE(trend);  // its size hints are measured with the other windows' (ThemeTest)
    EmptyChartLabelsDiffer(trend, "fresh");

    trend->resize(1024, 700);  // the laptop's screen less its panel
    // Numbers and units wider than the empty table's.
    TrendValues hart, modbus;
    for (size_t s = 0; s < kTrendSeries; ++s) {
        hart.value[s] = -0.000123456 - static_cast<double>(s);
        hart.unit[s] = "unit code 200";
        modbus.value[s] = 1234.567;
    }
    trend->AddForTest(1'800'000'000'000, hart, modbus);
    auto* table = trend->findChild<QTableWidget*>("tableTrendStats");
    auto* side = trend->findChild<QScrollArea*>("scrollTrendSide");
    ASSERT_TRUE(table && side);
    QHeaderView* header = table->horizontalHeader();
    const auto holds = [&](int column, const QString& text) {
        return header->sectionSize(column) >= header->fontMetrics().horizontalAdvance(text);
    };
    ASSERT_TRUE(WaitFor([&] { return holds(1, table->item(0, 1)->text()); }, 2000));
    EXPECT_TRUE(holds(5, table->horizontalHeaderItem(5)->text()));
    // Every column inside the table, the table inside the side panel's view.
    EXPECT_TRUE(WaitFor(
        [&] {
            return header->length() <= table->viewport()->width() &&
                   table->width() <= side->viewport()->width();
        },
        2000))
        << header->length() << " " << table->viewport()->width() << " " << table->width() << " "
        << side->viewport()->width();
    SaveScreenshot(trend, "trend-small.png");

    trend->Clear();
    EmptyChartLabelsDiffer(trend, "cleared");
}

// The device unplugged while polling: polling stops at once, saying so, and
// no poll goes to the closed port.
TEST_F(WindowTest, TrendStopsAtOnceWhenTheDeviceHangsUp) {
    TPtyPair pty;
    ui->SPREALCOM->setEditText(QString::fromStdString(pty.SlavePath()));
    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen);
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    trend->SetIntervalForTest(100);
    trend->findChild<QComboBox*>("comboTrendSource")->setCurrentIndex(1);
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return form.Link1->RunsActive(); }, 3000));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return !trend->IsPolling(); }, 3000));
    EXPECT_EQ(trend->findChild<QLabel*>("labelTrendStatus")->text(),
              "The device hung up (the port is gone): polling stopped.");
    Pump(500);
    const auto& events = form.Traffic->log().events();
    const auto hangup = std::find_if(events.begin(), events.end(), [](const TrafficEvent& e) {
        return e.kind == TrafficKind::HangUp;
    });
    ASSERT_NE(hangup, events.end());
    EXPECT_TRUE(std::none_of(hangup, events.end(),
                             [](const TrafficEvent& e) { return e.kind == TrafficKind::Sent; }));
}

}  // namespace
