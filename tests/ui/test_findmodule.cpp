// Find Module from the window, against the simulated module: the port opened
// for the scans and closed again, the line found first and the instrument
// scan run on it, and "Use" writing a find into the window's controls.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "screenshot.h"
#include "ui/findmoduledialog.h"
#include "window_fixture.h"

namespace {

TEST_F(WindowTest, FindModuleFindsTheLineAndTheInstrumentOnIt) {
    module.settings().rs485Baud = 4;  // 19200 Even, where the window says 9600 None
    module.settings().rs485Parity = 2;
    module.settings().hart.pollingAddress = 5;
    module.settings().hart.revision = 7;  // named by its 16-bit manufacturer code
    module.settings().hart.manufacturer = 0x60;
    SimOptions options;
    options.rs485Line = true;
    server = std::make_unique<SimServer>(module, options);
    ui->SPREALCOM->setEditText(QString::fromStdString(server->Open()));
    server->Start();
    ASSERT_FALSE(form.PortOpen);

    form.findChild<QAction*>("actionFindModule")->trigger();
    auto* dialog = form.findChild<FindModuleDialog*>("FindModuleDialog");
    ASSERT_TRUE(dialog && dialog->isVisible());
    auto* start = dialog->findChild<QPushButton*>("buttonStartScan");
    Click(start);
    ASSERT_TRUE(WaitFor([&] { return start->isEnabled(); }, 20000));

    const auto* table = dialog->findChild<QTableWidget*>("tableFinds");
    ASSERT_EQ(table->rowCount(), 2) << dialog->findChild<QLabel*>("labelScanSummary")
                                           ->text()
                                           .toStdString();
    EXPECT_EQ(table->item(0, 1)->text(), "19200 Even: TAVRIX HART-MODBUS V2.0 2025-02-23");
    EXPECT_TRUE(table->item(1, 1)->text().startsWith(
        "polling address 5: manufacturer 0x0060, device type 0x600B, id 1193046, HART 7"))
        << table->item(1, 1)->text().toStdString();
    EXPECT_TRUE(dialog->findChild<QLabel*>("labelScanSummary")->text().startsWith("2 found."));
    SaveScreenshot(dialog, "findmodule.png");
    // Opened for the scans, closed after them, at the engineer's settings.
    EXPECT_FALSE(form.PortOpen);
    EXPECT_EQ(form.Comm1->BaudRate(), 9600u);

    Click(dialog->findChild<QPushButton*>("buttonUseFind0"));
    EXPECT_EQ(ui->ComboBox11->currentText(), "19200");
    EXPECT_EQ(ui->ComboBox10->currentIndex(), 2);
    Click(dialog->findChild<QPushButton*>("buttonUseFind1"));
    EXPECT_EQ(ui->ComboBox30->currentIndex(), 5);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
}

}  // namespace
