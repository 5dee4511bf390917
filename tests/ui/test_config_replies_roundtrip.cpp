// Round trips with the simulated module: settings go out through the set
// commands, the controls are cleared, and the query brings them back.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "ui/controls.h"
#include "window_fixture.h"

namespace {

class ConfigRoundTrip : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        OpenOnSimulator();
    }
    void TearDown() override {
        WindowTest::TearDown();
        EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
    }

    // A set command: its acknowledgement ends the exchange.
    void Set(QPushButton* button) {
        SCOPED_TRACE(button->objectName().toStdString());
        Click(button);
        ASSERT_TRUE(
            WaitFor([&] { return form.PendingRequest() == 0 && !Received().isEmpty(); }, 3000));
        EXPECT_TRUE(Received().endsWith("OK#")) << Received().toStdString();
    }
    // A query: done once the reply is shown and the reply timer has decoded it.
    void Query(QPushButton* button) {
        Click(button);
        ASSERT_TRUE(
            WaitFor([&] { return !Received().isEmpty() && !form.Timer2->Enabled(); }, 4000));
    }
    QString Received() const { return ui->Memo10->toPlainText(); }
};

TEST_F(ConfigRoundTrip, SystemParameters) {
    SetItemIndex(ui->ComboBox7, 3);
    Set(ui->Button24);
    ui->Edit14->setText("042");
    Set(ui->Button29);
    ui->Edit6->setText("120");
    Set(ui->Button27);
    SetItemIndex(ui->RS485ADY, 5);
    Set(ui->Button33);
    {
        // The RS485 settings command would close the tool's port; set them directly.
        std::lock_guard lock(module.mutex());
        module.settings().rs485Baud = 4;
        module.settings().rs485Parity = 2;
    }

    for (QComboBox* list : {ui->ComboBox7, ui->ComboBox8, ui->ComboBox9, ui->RS485ADY})
        SetItemIndex(list, -1);
    ui->Edit14->clear();
    ui->Edit6->clear();
    QElapsedTimer clock;
    clock.start();
    Query(ui->Button23);
    // The line's silence, the receive wait and the reply timer.
    const WindowTimings& t = timings();
    EXPECT_GE(clock.elapsed(), t.readIntervalMs + t.receiveWaitMs + t.replyTimerMs - 20);
    EXPECT_EQ(Received(), "QX#BA2:42,MD:3,ADR:042,JTM:120,XY1:5#");
    EXPECT_EQ(ItemIndex(ui->ComboBox7), 3);
    EXPECT_EQ(ui->ComboBox8->currentText(), "19200");
    EXPECT_EQ(ui->ComboBox9->currentText(), "Even");
    EXPECT_EQ(ui->Edit14->text(), "042");
    EXPECT_EQ(ui->Edit18->text(), "042");
    EXPECT_EQ(ui->Edit6->text(), "120");
    EXPECT_EQ(ItemIndex(ui->RS485ADY), 5);
    EXPECT_EQ(form.PendingRequest(), 202);
}

TEST_F(ConfigRoundTrip, CurrentOutput) {
    ui->D3M4->setText("1.250");
    ui->D3M20->setText("50.00");
    Set(ui->Button3);
    SetItemIndex(ui->YINSHE, 2);
    Set(ui->Button12);

    for (QLineEdit* edit : {ui->D2M4, ui->D2M20, ui->D3M4, ui->D3M20, ui->D4M4, ui->D4M20})
        edit->clear();
    SetItemIndex(ui->YINSHE, -1);
    Query(ui->Button8);
    EXPECT_EQ(ui->D3M4->text(), "1.250");
    EXPECT_EQ(ui->D3M20->text(), "50.00");
    EXPECT_EQ(ui->D2M20->text(), "100.0");
    EXPECT_EQ(ItemIndex(ui->YINSHE), 2);
    EXPECT_EQ(form.PendingRequest(), 0);
}

TEST_F(ConfigRoundTrip, ModbusParametersWithCustomParsing) {
    SetItemIndex(ui->ComboBox18, 2);
    ui->Beilv->setText("2.500");
    Set(ui->Button10);
    ui->xishu3->setText("0.125");
    Set(ui->Button34);
    SetItemIndex(ui->ComboBox6, 1);
    SetItemIndex(ui->ComboBox16, 1);
    SetItemIndex(ui->ComboBox17, 0);
    SetItemIndex(ui->ComboBox34, 3);  // "7"
    ui->Edit2->setText("90");
    Set(ui->Button9);
    SetItemIndex(ui->ComboBox15, 2);  // "5"
    SetItemIndex(ui->RADCOM1, 1);
    SetItemIndex(ui->READLG1, 1);
    ui->READADR1->setText("7");
    for (QLineEdit* edit : {ui->READADR3, ui->READADR5, ui->READADR7}) edit->setText("0");
    Set(ui->Button19);
    SetItemIndex(ui->ComboBox28, 1);
    ui->Edit4->setText("01 03 0A");
    Set(ui->Button17);

    for (QComboBox* list : {ui->ComboBox18, ui->ComboBox6, ui->ComboBox16, ui->ComboBox34,
                            ui->ComboBox15, ui->RADCOM1, ui->READLG1, ui->ComboBox28}) {
        SetItemIndex(list, -1);
    }
    for (QLineEdit* edit : {ui->Beilv, ui->xishu3, ui->Edit2, ui->READADR1, ui->Edit4})
        edit->clear();
    ui->GroupBox13->setVisible(false);
    Query(ui->Button31);
    EXPECT_EQ(ItemIndex(ui->ComboBox18), 2);
    EXPECT_EQ(ui->Beilv->text(), "2.500");
    EXPECT_EQ(ui->xishu3->text(), "0.125");
    EXPECT_EQ(ItemIndex(ui->ComboBox6), 1);
    EXPECT_EQ(ItemIndex(ui->ComboBox16), 1);
    EXPECT_EQ(ui->ComboBox34->currentText(), "7");
    EXPECT_EQ(ui->Edit2->text(), "090");
    EXPECT_FALSE(ui->GroupBox13->isHidden());
    EXPECT_EQ(ui->ComboBox15->currentText(), "5");
    EXPECT_EQ(ItemIndex(ui->RADCOM1), 1);
    EXPECT_EQ(ui->READADR1->text(), "07");
    EXPECT_EQ(ItemIndex(ui->READLG1), 1);
    EXPECT_EQ(ItemIndex(ui->ComboBox28), 1);
    EXPECT_EQ(ui->Edit4->text(), "01 03 0A");
    EXPECT_EQ(form.PendingRequest(), 301);

    // Switched to a universal meter, the parsing group goes away.
    SetItemIndex(ui->ComboBox17, 1);
    Set(ui->Button9);
    SetItemIndex(ui->ComboBox17, 0);
    Query(ui->Button31);
    EXPECT_EQ(ItemIndex(ui->ComboBox17), 1);
    EXPECT_TRUE(ui->GroupBox13->isHidden());
}

TEST_F(ConfigRoundTrip, MonitoringCommand) {
    ui->ONECHECK02->setChecked(true);
    ui->ONECMAD02->setText("FF 00 AB");
    Set(ui->Button28);

    ui->ONECHECK02->setChecked(false);
    ui->ONECMAD02->clear();
    Query(ui->Button25);
    EXPECT_TRUE(ui->ONECHECK02->isChecked());
    EXPECT_EQ(ui->ONECMAD02->text(), "FF 00 AB");
    EXPECT_EQ(form.PendingRequest(), 501);
}

}  // namespace
