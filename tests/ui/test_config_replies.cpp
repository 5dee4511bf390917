// Configuration replies in the window: a block delivered by the serial
// component is decoded by the reply timer into the controls, with the
// request state and the conversion message as the window keeps them.
#include <gtest/gtest.h>

#include "ui/controls.h"
#include "window_fixture.h"

namespace {

class ConfigReplyTest : public WindowTest {
protected:
    // A reply to the request `code`, then the reply timer's decode.
    void Receive(int code, const std::string& reply) {
        form.Requests->SetPending(code, 2);
        Deliver(reply);
        ASSERT_TRUE(form.Timer2->Enabled());
        ASSERT_TRUE(WaitFor([&] { return !form.Timer2->Enabled(); }, 2000));
    }
};

TEST_F(ConfigReplyTest, SystemReplyFillsThePageAndStaysPending) {
    ui->Edit18->setText("999");
    Receive(202, "QX#BA2:52,MD:4,ADR:017,JTM:120,XY1:0#");
    EXPECT_EQ(ui->ComboBox8->currentText(), "38400");
    EXPECT_EQ(ui->ComboBox9->currentText(), "Even");
    EXPECT_EQ(ItemIndex(ui->ComboBox7), 4);
    EXPECT_EQ(ui->Edit14->text(), "017");
    EXPECT_EQ(ui->Edit18->text(), "017");  // the MODBUS test's slave address follows
    EXPECT_EQ(ui->Edit6->text(), "120");
    EXPECT_EQ(ItemIndex(ui->RS485ADY), 0);
    EXPECT_EQ(form.PendingRequest(), 202);
    EXPECT_EQ(form.TimeoutKind(), 2);
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(ConfigReplyTest, ZeroByteEndsTheTextOfAnEdit) {
    Receive(202, std::string("QX#ADR:0") + '\0' + "7,JTM:120#");
    EXPECT_EQ(ui->Edit14->text(), "0");
    EXPECT_EQ(ui->Edit6->text(), "120");
}

TEST_F(ConfigReplyTest, DigitBeyondTheListLeavesNoSelectionQuietly) {
    Receive(202, "QX#MD:7,XY1:6#");
    EXPECT_EQ(ItemIndex(ui->ComboBox7), -1);
    EXPECT_EQ(ItemIndex(ui->RS485ADY), -1);
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(ConfigReplyTest, LetterStopsDecodingWithTheStandardMessage) {
    SetItemIndex(ui->ComboBox8, 0);
    ui->Edit14->setText("001");
    Receive(202, "QX#BA2:31,MD:x,ADR:555#");
    ASSERT_TRUE(messages.WaitForCount(1, 1000));
    EXPECT_EQ(messages.texts().front(), "'x' is not a valid integer value");
    EXPECT_EQ(ItemIndex(ui->ComboBox8), 3);  // the group before it was applied
    EXPECT_EQ(ItemIndex(ui->ComboBox9), 1);
    EXPECT_EQ(ui->Edit14->text(), "001");  // the rest was not
    EXPECT_EQ(form.PendingRequest(), 202);
}

TEST_F(ConfigReplyTest, CurrentOutputEndsTheExchangeOnlyWhenComplete) {
    for (QLineEdit* edit : {ui->D2M4, ui->D2M20, ui->D3M4, ui->D3M20, ui->D4M4, ui->D4M20}) {
        edit->setText("-");
    }
    Receive(203, "DA3:0.500,020.0");
    EXPECT_EQ(ui->D3M4->text(), "0.500");
    EXPECT_EQ(ui->D3M20->text(), "020.0");
    EXPECT_EQ(ui->D2M4->text(), "-");
    EXPECT_EQ(ui->D4M20->text(), "-");
    EXPECT_EQ(form.PendingRequest(), 0);
    EXPECT_EQ(form.TimeoutKind(), 2);

    SetItemIndex(ui->YINSHE, 0);
    Receive(203, "DA2:1.000,2.000,MD:z,YSM:1");
    ASSERT_TRUE(messages.WaitForCount(1, 1000));
    EXPECT_EQ(messages.texts().front(), "'z' is not a valid integer value");
    EXPECT_EQ(ui->D2M4->text(), "1.000");
    EXPECT_EQ(ItemIndex(ui->YINSHE), 0);
    EXPECT_EQ(form.PendingRequest(), 203);
}

const std::string kParsing = ";ZDY0:6,1051,2120,0000,1991;CAMD01:1,02,01 03;CAMD02:1,00,#";

TEST_F(ConfigReplyTest, UniversalMeterHidesTheParsingGroupUntouched) {
    ui->GroupBox13->setVisible(true);
    ui->Edit4->setText("AA");
    SetItemIndex(ui->ComboBox28, 0);
    SetItemIndex(ui->RADCOM1, 0);
    Receive(301, "QQ0#FMW:2,0.002;FMU:1.500,2.500,3.500;HART0:1,1,01,9,120,0101" + kParsing);
    EXPECT_TRUE(ui->GroupBox13->isHidden());
    EXPECT_EQ(ui->Edit4->text(), "AA");
    EXPECT_EQ(ItemIndex(ui->ComboBox28), 0);
    EXPECT_EQ(ItemIndex(ui->RADCOM1), 0);
    EXPECT_EQ(ItemIndex(ui->ComboBox17), 1);
    EXPECT_EQ(ui->ComboBox34->currentText(), "9");
    EXPECT_EQ(form.PendingRequest(), 301);
}

TEST_F(ConfigReplyTest, CustomMeterShowsAndFillsTheParsingGroup) {
    ui->GroupBox13->setVisible(false);
    ui->Edit5->setText("FF");
    Receive(301, "QQ0#HART0:0,0,00,3,060,0000" + kParsing);
    EXPECT_FALSE(ui->GroupBox13->isHidden());
    EXPECT_EQ(ItemIndex(ui->ComboBox34), -1);  // preamble 3 is not in the list
    EXPECT_EQ(ui->ComboBox15->currentText(), "6");
    EXPECT_EQ(ItemIndex(ui->ComboBox28), 1);
    EXPECT_EQ(ui->Edit4->text(), "01 03");
    EXPECT_EQ(ui->Edit5->text(), "");  // count 00
}

TEST_F(ConfigReplyTest, MissingHartGroupKeepsTheShownMeterType) {
    SetItemIndex(ui->ComboBox17, 1);
    SetItemIndex(ui->RADCOM1, 0);
    Receive(301, "QQ0" + kParsing);
    EXPECT_TRUE(ui->GroupBox13->isHidden());
    EXPECT_EQ(ItemIndex(ui->RADCOM1), 0);
}

TEST_F(ConfigReplyTest, MonitoringRows) {
    const struct {
        const char* reply;
        QCheckBox* check;
        QLineEdit* edit;
        bool checked;
        const char* text;
    } cases[] = {
        {"RCAD1:1,03,FF 00 AB#", ui->ONECHECK01, ui->ONECMAD01, true, "FF 00 AB"},
        {"RCAD2:1,02,01 02#", ui->ONECHECK02, ui->ONECMAD02, true, "01 02"},
        {"RCAD2:Y,00,#", ui->ONECHECK02, ui->ONECMAD02, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        Receive(501, c.reply);
        EXPECT_EQ(c.check->isChecked(), c.checked);
        EXPECT_EQ(c.edit->text(), c.text);
        EXPECT_EQ(form.PendingRequest(), 501);
    }
    EXPECT_TRUE(messages.texts().isEmpty());
}

// A request sent in the 300 ms before the reply timer fires takes over the
// stored reply; its own reply then finds nothing pending.
TEST_F(ConfigReplyTest, StaleReplyIsDecodedUnderTheNewRequest) {
    SetItemIndex(ui->ComboBox7, 0);
    ui->D2M4->setText("-");
    form.Requests->SetPending(202, form.TimeoutKind());
    Deliver("QX#BA2:31,MD:2,ADR:001#");
    Click(ui->Button8);  // current-output query; the port is closed, nothing is sent
    ASSERT_EQ(form.PendingRequest(), 203);
    ASSERT_TRUE(WaitFor([&] { return !form.Timer2->Enabled(); }, 2000));
    EXPECT_EQ(ItemIndex(ui->ComboBox7), 2);  // MD from the earlier reply
    EXPECT_EQ(form.PendingRequest(), 0);

    Deliver("QD#DA2:1.000,2.000#");
    EXPECT_FALSE(form.Timer2->Enabled());
    EXPECT_EQ(ui->Memo10->toPlainText(), "QD#DA2:1.000,2.000#");
    EXPECT_EQ(ui->D2M4->text(), "-");
    form.Timer3->SetEnabled(false);
}

}  // namespace
