// The trend window against the simulated module: created on first use,
// polling HART command 3 and the MODBUS test through the sequencer, CSV
// export, and three timeouts in a row stopping it.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <mutex>

#include "screenshot.h"
#include "session/requestrunner.h"
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
    QObject::connect(form.Sequencer, &RequestRunner::replied, trend, [&] {
        std::lock_guard lock(module.mutex());
        module.settings().variables[0] += 2.5f;
        module.settings().hart.loopCurrent += 1.0f;
    });
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= 4; }, 20000));
    EXPECT_EQ(samples[0].values.value[0], 12.0);
    EXPECT_EQ(samples[0].values.value[1], 12.5);
    EXPECT_EQ(samples[0].values.unit[1], "KPa");
    EXPECT_EQ(trend->log().Stats(1).min, 12.5);
    EXPECT_GT(*trend->log().Stats(1).max, 12.5);
    SaveScreenshot(trend, "trend.png");
    trend->Stop();
    ASSERT_TRUE(WaitFor([&] { return !form.Sequencer->IsRunning(); }, 3000));

    QTemporaryDir dir;
    const QString path = dir.filePath("trend.csv");
    ASSERT_TRUE(trend->SaveCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    ASSERT_EQ(lines.size(), static_cast<qsizetype>(samples.size()) + 1);
    EXPECT_TRUE(lines[1].contains(",12,mA,12.5,KPa,3.75,"));

    // The MODBUS side, in the lists' byte orders; then a slave that never answers.
    trend->Clear();
    trend->findChild<QComboBox*>("comboTrendSource")->setCurrentIndex(1);
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return samples.size() >= 2; }, 10000));
    EXPECT_FALSE(samples[0].values.value[0]);
    EXPECT_EQ(samples[0].values.value[2], 3.75);
    trend->Stop();
    ASSERT_TRUE(WaitFor([&] { return !form.Sequencer->IsRunning(); }, 3000));

    trend->Clear();
    ui->Edit18->setText("002");
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return !trend->IsPolling(); }, 20000));
    EXPECT_EQ(trend->findChild<QLabel*>("labelTrendStatus")->text(),
              "No reply to 3 polls in a row: polling stopped.");
    EXPECT_TRUE(samples.empty());
    EXPECT_TRUE(messages.texts().isEmpty());
}

}  // namespace
