// The cross-check dialog against the simulated module: reached from the View
// menu, fed by the window's own HART and MODBUS exchanges, following the
// byte-order lists, never changing what the window shows.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QTableWidget>

#include "exchange/requestcodes.h"
#include "screenshot.h"
#include "session/requestrunner.h"
#include "traffic/trafficlog.h"
#include "ui/crosscheckdialog.h"
#include "ui/trafficlogmodel.h"
#include "ui/trendwindow.h"
#include "window_fixture.h"

namespace {

// The window's own requests for both sides: the identity, command 3, the MODBUS test.
void ReadBothSides(TForm1& form) {
    Ui::TForm1* ui = form.form();
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 3000));
    Click(ui->Button16);
    ASSERT_TRUE(WaitFor([&] { return form.Captured.hart.has_value(); }, 3000));
    Click(ui->Button4);
    ASSERT_TRUE(WaitFor([&] { return !form.Captured.modbus.empty(); }, 3000));
}

TEST_F(WindowTest, CrossCheckFindsTheByteOrderTheModuleUses) {
    module.settings().floatOrder = {0, 1, 0, 0};  // the window's lists all say 0
    module.settings().modbusValueFault[2] = 99.0f;
    OpenOnSimulator();
    ASSERT_NO_FATAL_FAILURE(ReadBothSides(form));
    EXPECT_TRUE(ui->Memo10->toPlainText().startsWith("01 03 14 00 00 00 01 41 48 00 00 "));

    form.findChild<QAction*>("actionCrossCheck")->trigger();
    auto* dialog = form.findChild<CrossCheckDialog*>("CrossCheckDialog");
    ASSERT_TRUE(dialog && dialog->isVisible());
    const auto* summary = dialog->findChild<QLabel*>("labelModbusSummary");
    EXPECT_TRUE(
        summary->text().startsWith("Slave 1, function 03 Read holding registers, 20 data "
                                   "bytes, CRC "));
    EXPECT_TRUE(summary->text().endsWith(" correct"));
    const auto* registers = dialog->findChild<QTableWidget*>("tableModbusRegisters");
    EXPECT_EQ(registers->item(2, 0)->text(), "40003");
    EXPECT_EQ(registers->item(2, 3)->text(), "12.5");
    const auto* table = dialog->findChild<QTableWidget*>("tableCrossCheck");
    const auto* verdicts = dialog->findChild<QLabel*>("labelCrossCheckVerdicts");
    EXPECT_EQ(table->item(0, 7)->text(), "yes");
    EXPECT_EQ(table->item(1, 7)->text(), "no");
    EXPECT_TRUE(verdicts->text().contains(
        "Variable 2: byte order 1 (FF2 FF1 FF4 FF3) matches; the list says 0"));
    EXPECT_TRUE(verdicts->text().contains("Variable 3: no byte order matches 101.325"));
    SaveScreenshot(dialog, "crosscheck.png");

    // The engineer sets the list; the dialog follows, the module is untouched.
    ui->FAMOUT5->setCurrentIndex(1);
    EXPECT_EQ(table->item(1, 7)->text(), "yes");
    EXPECT_EQ(module.settings().floatOrder[1], 1);
    EXPECT_TRUE(messages.texts().isEmpty());

    // HART read again: the MODBUS reply is older than its values.
    const QDateTime modbusTime = form.Captured.modbusTime;
    Click(ui->Button16);
    ASSERT_TRUE(WaitFor([&] { return form.Captured.hartTime > modbusTime; }, 3000));
    ASSERT_TRUE(WaitFor([&] { return table->item(1, 7)->text() == "could not compare"; }, 3000));
    EXPECT_TRUE(verdicts->text().contains("is older than the HART values")) <<
        verdicts->text().toStdString();
    // An exception reply: nothing to compare, which is no disagreement.
    ui->Edit20->setText("126");
    Click(ui->Button4);
    ASSERT_TRUE(WaitFor([&] { return form.Captured.modbusVerdict.exception; }, 3000));
    ASSERT_TRUE(WaitFor([&] { return table->item(0, 7)->text() == "could not compare"; }, 3000));
    EXPECT_TRUE(verdicts->text().startsWith("Could not compare: the MODBUS reply is an exception"))
        << verdicts->text().toStdString();
    EXPECT_TRUE(dialog->findChild<QLabel*>("labelCrossCheckSources")->text().contains(" s old)"));
    SaveScreenshot(dialog, "crosscheck-could-not-compare.png");
    // A later request that times out: the reply kept no longer stands for the module.
    ui->Edit20->setText("10");
    ui->Edit18->setText("002");
    Click(ui->Button4);
    ASSERT_TRUE(WaitFor([&] { return verdicts->text().contains("timed out"); }, 6000))
        << verdicts->text().toStdString();
    EXPECT_EQ(table->item(0, 7)->text(), "could not compare");
}

// The trend polls after the window's own requests: the cross-check compares
// the poll's newer values and says where they came from.
TEST_F(WindowTest, CrossCheckTakesTheNewestRepliesFromATrendPoll) {
    OpenOnSimulator();
    ASSERT_NO_FATAL_FAILURE(ReadBothSides(form));
    EXPECT_EQ(form.Captured.hartSource, "the window's request");
    {
        std::lock_guard lock(module.mutex());
        module.settings().variables[0] = 20.0f;
    }
    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    trend->SetIntervalForTest(100);
    trend->findChild<QComboBox*>("comboTrendSource")->setCurrentIndex(2);  // both sides
    trend->Start();
    ASSERT_TRUE(WaitFor([&] { return form.Captured.modbusSource == "a trend poll"; }, 10000));
    trend->Stop();
    EXPECT_EQ(form.Captured.hartSource, "a trend poll");
    EXPECT_EQ(form.Captured.hart->variables[0].value, 20.0f);

    form.findChild<QAction*>("actionCrossCheck")->trigger();
    auto* dialog = form.findChild<CrossCheckDialog*>("CrossCheckDialog");
    const QString sources = dialog->findChild<QLabel*>("labelCrossCheckSources")->text();
    EXPECT_TRUE(sources.contains("), from a trend poll; MODBUS reply of ")) << sources.toStdString();
    const auto* table = dialog->findChild<QTableWidget*>("tableCrossCheck");
    EXPECT_EQ(table->item(0, 7)->text(), "yes");
}

// A trend poll stopped while its HART reply is on its way: the reply answers
// nobody, so the dialog still shows the last MODBUS reply the window received.
TEST_F(WindowTest, AReplyToAStoppedTrendPollReachesNobody) {
    OpenOnSimulator();
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 3000));
    Click(ui->Button4);
    ASSERT_TRUE(WaitFor([&] { return !form.Captured.modbus.empty(); }, 3000));
    const std::vector<uint8_t> modbus = form.Captured.modbus;
    const QString shown = ui->Memo10->toPlainText();

    form.findChild<QAction*>("actionTrend")->trigger();
    auto* trend = form.findChild<TrendWindow*>("TrendWindow");
    const auto& events = form.Traffic->log().events();
    const size_t before = events.size();
    trend->Start();
    ASSERT_TRUE(form.Link1->RunsActive());
    trend->Stop();  // the poll's frame is out, its reply not yet delivered
    ASSERT_TRUE(WaitFor([&] { return events.back().kind == TrafficKind::Received; }, 3000));
    EXPECT_GT(events.size(), before);
    EXPECT_EQ(events.back().code, kCodeHartCommand3);
    ASSERT_TRUE(WaitFor([&] { return form.Requests->ReceiveWait()->Waiting() == 0; }, 1000));

    EXPECT_EQ(form.Captured.modbus, modbus);
    EXPECT_EQ(ui->Memo10->toPlainText(), shown);
    form.findChild<QAction*>("actionCrossCheck")->trigger();
    auto* dialog = form.findChild<CrossCheckDialog*>("CrossCheckDialog");
    EXPECT_TRUE(dialog->findChild<QLabel*>("labelModbusSummary")
                    ->text()
                    .startsWith("Slave 1, function 03 Read holding registers"));
    EXPECT_TRUE(messages.texts().isEmpty());
}

}  // namespace
