// A serial device that vanishes while open: the far end of a pseudo-terminal
// closes, as a USB adapter pulled out does to its tty.
#include <gtest/gtest.h>

#include <vector>

#include "serial/ptypair.h"
#include "ui/trafficlogmodel.h"
#include "window_fixture.h"

namespace {

class HangupTest : public WindowTest {
protected:
    void OpenOnPty() {
        ui->SPREALCOM->setEditText(QString::fromStdString(pty.SlavePath()));
        Click(ui->Button1);
        ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    }
    // Exactly one message, still one after the second thread's report had time to come.
    void ExpectOneDisconnectMessage() {
        ASSERT_TRUE(messages.WaitForCount(1, 5000));
        Pump(600);
        EXPECT_EQ(messages.texts(), QStringList{QString("The serial device %1 was disconnected.")
                                                    .arg(QString::fromStdString(pty.SlavePath()))});
        EXPECT_EQ(messages.icons().first(), QMessageBox::Warning);
        EXPECT_TRUE(messages.informative().first().startsWith("Plug the adapter back in"));
        EXPECT_FALSE(form.PortOpen);
        EXPECT_FALSE(form.Comm1->IsOpen());
        EXPECT_EQ(ui->Button1->text(), "Open");
        EXPECT_FALSE(ui->Button6->isEnabled());
        EXPECT_FALSE(form.Timer3->Enabled());
        EXPECT_EQ(form.Traffic->log().stats().hangUps(), 1u);  // logged once too
    }
    TPtyPair pty;
};

TEST_F(HangupTest, MidReplyKeepsWhatArrivedAndReopeningWorks) {
    OpenOnPty();
    Click(ui->Button6);
    ASSERT_EQ(pty.Receive(7, std::chrono::seconds(3)).size(), 7u);
    pty.Send("QV:2.");
    ASSERT_TRUE(pty.WaitInputTaken(std::chrono::seconds(3)));
    pty.CloseMaster();
    ExpectOneDisconnectMessage();
    EXPECT_EQ(ui->Memo10->toPlainText(), "QV:2.");

    // Plugged back (another device node here): Open works in the same run.
    messages.clear();
    OpenOnSimulator();
    Click(ui->Button6);
    ASSERT_TRUE(WaitFor([&] { return form.PendingRequest() == 0; }, 4000));
    EXPECT_EQ(ui->Memo10->toPlainText().toStdString(), "QV:" + module.settings().version + "#");
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(HangupTest, WithAWritePendingTheRequestEndsWithoutATimeout) {
    OpenOnPty();
    // Nobody reads the far end: the writer blocks once the line's queues are full.
    const std::vector<uint8_t> bulk(60000, 0x55);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(form.Comm1->WriteData(bulk.data(), 60000));
    Click(ui->Button23);
    EXPECT_EQ(form.PendingRequest(), 202);
    Pump(200);
    pty.CloseMaster();
    ExpectOneDisconnectMessage();
    EXPECT_EQ(form.PendingRequest(), 0);
}

}  // namespace
