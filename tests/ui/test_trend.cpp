// The trend window against the simulated module: created on first use,
// polling HART command 3 and the MODBUS test through the sequencer, CSV
// export, and three timeouts in a row stopping it.
#include <gtest/gtest.h>

#include <QAction>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <mutex>

#include "exchange/requestcodes.h"
#include "screenshot.h"
#include "serial/ptypair.h"
#include "session/link.h"
#include "session/requestrunner.h"
#include "traffic/trafficlog.h"
#include "ui/trafficlogmodel.h"
#include "ui/trendwindow.h"
#include "window_fixture.h"

namespace {

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
