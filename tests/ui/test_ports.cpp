// The port box's device list, why an opening failed, and the status line.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>

#include "ui/portcombobox.h"
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

TEST_F(PortsTest, OpeningFailureKeepsItsMessageAndSaysWhy) {
    ui->SPREALCOM->setEditText("/dev/tavrix-missing");
    Click(ui->Button1);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts(), QStringList{"Error opening serial port"});
    EXPECT_TRUE(messages.details()[0].startsWith("/dev/tavrix-missing: No such file or directory"))
        << messages.details()[0].toStdString();
}

TEST_F(PortsTest, StatusLineFollowsThePortAndLiesUnderTheBuffers) {
    auto label = [&](const char* name) { return form.findChild<QLabel*>(name)->text(); };
    EXPECT_EQ(label("StatusPort"), "/dev/ttyS3");
    EXPECT_EQ(label("StatusSettings"), "9600 8N1");
    EXPECT_EQ(label("StatusState"), "Closed");

    ui->ComboBox10->setCurrentIndex(2);
    OpenOnSimulator();
    EXPECT_EQ(label("StatusPort"), ui->SPREALCOM->currentText());
    EXPECT_EQ(label("StatusSettings"), "9600 8E1");
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
