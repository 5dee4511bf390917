// The port box's device list, why an opening failed, and the status line.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStatusBar>

#include <QCheckBox>
#include <QSpinBox>

#include "serial/ptypair.h"
#include "ui/portcombobox.h"
#include "ui/rs485dialog.h"
#include "screenshot.h"
#include "window_fixture.h"

namespace {

using PortsTest = WindowTest;

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

QStringList ComItems() {
    QStringList items;
    for (int i = 1; i <= 9; ++i) items << QString("COM%1").arg(i);
    return items;
}

TEST_F(PortsTest, ListShowsDevicesPresentAtEachLookAndKeepsTypedText) {
    std::vector<TPortInfo> present = {
        {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3ZQ1-if00-port0",
         "FT232R USB UART", "FTDI", "A10K3ZQ1", 0x0403, 0x6001},
        {"/dev/ttyACM0", "", "", "", "", -1, -1}};
    ui->SPREALCOM->SetDiscovery([&] { return present; });
    EXPECT_EQ(Items(ui->SPREALCOM), ComItems());  // nothing added before the first look

    ui->SPREALCOM->showPopup();
    ui->SPREALCOM->hidePopup();
    EXPECT_EQ(Items(ui->SPREALCOM),
              ComItems() << QString::fromStdString(present[0].stableLink) << "/dev/ttyACM0");
    EXPECT_EQ(ui->SPREALCOM->currentText(), "COM4");
    EXPECT_EQ(ui->SPREALCOM->itemData(9, Qt::ToolTipRole).toString().toStdString(),
              PortToolTip(present[0]));

    // Picked from the list, then the adapter is pulled out: the text stays.
    ui->SPREALCOM->setCurrentIndex(9);
    present = {{"/dev/ttyUSB3", "", "", "", "", -1, -1}};
    ui->SPREALCOM->showPopup();
    ui->SPREALCOM->hidePopup();
    EXPECT_EQ(Items(ui->SPREALCOM), ComItems() << "/dev/ttyUSB3");
    EXPECT_EQ(ui->SPREALCOM->currentText(),
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3ZQ1-if00-port0");

    ui->SPREALCOM->setEditText("/dev/my-link");
    ui->SPREALCOM->showPopup();
    ui->SPREALCOM->hidePopup();
    EXPECT_EQ(ui->SPREALCOM->currentText(), "/dev/my-link");
}

TEST_F(PortsTest, BoxFitsAUsbNameAndElidesLongerPathsInAWindowThatFits1024) {
    QLineEdit* edit = ui->SPREALCOM->lineEdit();
    EXPECT_GE(edit->width(),
              edit->fontMetrics().horizontalAdvance(TPortComboBox::kWidestShortName));
    EXPECT_LE(form.minimumSizeHint().width(), 1024);

    const QString longPath =
        "/dev/serial/by-id/usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge-if00-port0";
    ui->SPREALCOM->setEditText(longPath);
    EXPECT_EQ(ui->SPREALCOM->currentText(), longPath);  // elided on screen only
    EXPECT_TRUE(ui->SPREALCOM->toolTip().startsWith(longPath));
    EXPECT_LE(form.minimumSizeHint().width(), 1024);
    ui->SPREALCOM->setEditText("COM4");
    EXPECT_EQ(ui->SPREALCOM->toolTip(), "COM4 (/dev/ttyS3)");
}

TEST_F(PortsTest, BaudBoxShowsASevenDigitRateWhole) {
    const int before = ui->ComboBox11->width();
    ui->ComboBox11->setEditText("4000000");
    QLineEdit* edit = ui->ComboBox11->lineEdit();
    ASSERT_TRUE(WaitFor([&] {
        return edit->width() >= edit->fontMetrics().horizontalAdvance("4000000");
    }, 2000)) << edit->width();
    ui->ComboBox11->setEditText("9600");
    ASSERT_TRUE(WaitFor([&] { return ui->ComboBox11->width() == before; }, 2000))
        << "the box is back to its width at start";
}

// The kind of each device and the one entry a COMn and its device make.
TEST_F(PortsTest, ListTellsKindsAndMarksACOMnAsItsDevice) {
    TPortInfo uart;
    uart.device = "/dev/ttyS0";
    uart.console = true;
    ui->SPREALCOM->SetDiscovery([&] { return std::vector<TPortInfo>{uart}; });
    ui->SPREALCOM->showPopup();
    ui->SPREALCOM->hidePopup();
    EXPECT_EQ(Items(ui->SPREALCOM), ComItems());
    EXPECT_EQ(ui->SPREALCOM->itemData(0, TPortComboBox::kNoteRole).toString(),
              "= /dev/ttyS0, built-in UART, kernel console");
    EXPECT_TRUE(ui->SPREALCOM->itemData(0, Qt::ToolTipRole).toString().contains("kernel console"));
    ui->SPREALCOM->SetDiscovery([] { return std::vector<TPortInfo>{}; });
    ui->SPREALCOM->showPopup();
    ui->SPREALCOM->hidePopup();
    EXPECT_EQ(ui->SPREALCOM->itemData(0, TPortComboBox::kNoteRole).toString(), "");
}

// Chosen per device in its dialog, applied at the opening; a pseudo-terminal
// has no RS-485 mode, so the driver's refusal is the message's cause.
TEST_F(PortsTest, Rs485ModeIsChosenPerDeviceAndARefusalSaysWhy) {
    TPtyPair pty;
    const QString path = QString::fromStdString(pty.SlavePath());
    ui->SPREALCOM->setEditText(path);
    QTimer fill;
    fill.setInterval(5);
    QObject::connect(&fill, &QTimer::timeout, [] {
        auto* dialog = qobject_cast<Rs485Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        dialog->findChild<QCheckBox*>("Rs485Enabled")->setChecked(true);
        dialog->findChild<QSpinBox*>("Rs485DelayBefore")->setValue(2);
        dialog->accept();
    });
    fill.start();
    form.findChild<QAction*>("actionRs485Mode")->trigger();
    fill.stop();
    EXPECT_EQ(form.Rs485Ports[pty.SlavePath()], (TRs485{true, 2, 0}));

    Click(ui->Button1);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts(), QStringList{"Error opening serial port"});
    EXPECT_TRUE(messages.informative()[0].contains(
        "the driver refused RS-485 mode (TIOCSRS485: Inappropriate ioctl for device)"))
        << messages.informative()[0].toStdString();
    EXPECT_FALSE(form.PortOpen);

    form.Rs485Ports[pty.SlavePath()].enabled = false;
    messages.clear();
    Click(ui->Button1);
    EXPECT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
}

// The adapter's echo is chosen per device beside the RS-485 mode, shown for the
// device in the box, and applied when that device opens.
TEST_F(PortsTest, AdapterEchoIsChosenPerDevice) {
    TPtyPair first, second;
    auto* menu = form.findChild<QMenu*>("menuAdapterEcho");
    ASSERT_NE(menu, nullptr);
    const auto checked = [&] {
        emit menu->aboutToShow();
        for (QAction* action : menu->actions())
            if (action->isChecked()) return action->objectName();
        return QString();
    };
    ui->SPREALCOM->setEditText(QString::fromStdString(first.SlavePath()));
    EXPECT_EQ(checked(), "actionEchoAuto");
    form.findChild<QAction*>("actionEchoOn")->trigger();
    ui->SPREALCOM->setEditText(QString::fromStdString(second.SlavePath()));
    EXPECT_EQ(checked(), "actionEchoAuto");
    form.findChild<QAction*>("actionEchoOff")->trigger();
    ui->SPREALCOM->setEditText(QString::fromStdString(first.SlavePath()));
    EXPECT_EQ(checked(), "actionEchoOn");

    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    EXPECT_EQ(form.Link1->GetEchoMode(), EchoMode::On);
    // Chosen while open, it holds at once.
    form.findChild<QAction*>("actionEchoAuto")->trigger();
    EXPECT_EQ(form.Link1->GetEchoMode(), EchoMode::Auto);
    Click(ui->Button1);
    ui->SPREALCOM->setEditText(QString::fromStdString(second.SlavePath()));
    Click(ui->Button1);
    EXPECT_EQ(form.Link1->GetEchoMode(), EchoMode::Off);
}

TEST_F(PortsTest, OpeningFailureKeepsItsMessageAndSaysWhy) {
    messages.onShown = [](QMessageBox* box) { SaveScreenshot(box, "openfailure.png"); };
    ui->SPREALCOM->setEditText("/dev/tavrix-missing");
    Click(ui->Button1);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts(), QStringList{"Error opening serial port"});
    EXPECT_TRUE(messages.details()[0].startsWith("/dev/tavrix-missing: No such file or directory"))
        << messages.details()[0].toStdString();
    EXPECT_EQ(messages.icons()[0], QMessageBox::Warning);
    EXPECT_EQ(messages.informative()[0],
              "/dev/tavrix-missing: No such file or directory\n\nThere is no such device. Is the "
              "adapter plugged in?");
}

TEST_F(PortsTest, StatusLineFollowsThePortAndLiesUnderTheBuffers) {
    auto label = [&](const char* name) { return form.findChild<QLabel*>(name)->text(); };
    EXPECT_EQ(label("StatusPort"), "/dev/ttyS3");
    EXPECT_EQ(label("StatusSettings"), "9600 8N1");
    EXPECT_EQ(label("StatusState"), "Closed");

    ui->ComboBox10->setCurrentIndex(2);
    OpenOnSimulator();
    EXPECT_EQ(label("StatusPort"), ui->SPREALCOM->currentText());
    // A pseudo-terminal drops the parity: said, not shown as set.
    EXPECT_EQ(label("StatusSettings"), "9600 8N1 (this device cannot carry even parity)");
    EXPECT_EQ(label("StatusState"), "Open");
    Click(ui->Button6);
    ASSERT_TRUE(WaitFor([&] { return label("StatusLastReply").startsWith("Last reply "); }, 4000));
    Click(ui->Button1);
    EXPECT_EQ(label("StatusState"), "Closed");

    const QRect bar = form.statusBar()->geometry();
    for (QWidget* w : {static_cast<QWidget*>(ui->Edit8), static_cast<QWidget*>(ui->Memo10)}) {
        const QRect r(w->mapTo(&form, QPoint(0, 0)), w->size());
        EXPECT_FALSE(r.intersects(bar)) << w->objectName().toStdString();
    }
}

}  // namespace
