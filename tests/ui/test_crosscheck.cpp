// The cross-check dialog against the simulated module: reached from the View
// menu, fed by the window's own HART and MODBUS exchanges, following the
// byte-order lists, never changing what the window shows.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTableWidget>

#include "screenshot.h"
#include "ui/crosscheckdialog.h"
#include "window_fixture.h"

namespace {

TEST_F(WindowTest, CrossCheckFindsTheByteOrderTheModuleUses) {
    module.settings().floatOrder = {0, 1, 0, 0};  // the window's lists all say 0
    module.settings().modbusValueFault[2] = 99.0f;
    OpenOnSimulator();
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 3000));
    Click(ui->Button16);
    ASSERT_TRUE(WaitFor([&] { return form.Captured.hart.has_value(); }, 3000));
    Click(ui->Button4);
    ASSERT_TRUE(WaitFor([&] { return !form.Captured.modbus.empty(); }, 3000));
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
}

}  // namespace
