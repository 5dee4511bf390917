// The window while its sequencer owns the line.
#include "session/requestrunner.h"
#include "window_fixture.h"

using SequencerWindow = WindowTest;

TEST_F(SequencerWindow, OwnsTheLineWhileItRunsAndGivesEverythingBack) {
    OpenOnSimulator();
    ui->Button23->setEnabled(false);  // stays as the window had it
    ui->Memo10->setPlainText("before");
    ASSERT_TRUE(form.Sequencer->Run({{"QQQ#QV#", 201, "Version"}}));
    EXPECT_FALSE(ui->Button6->isEnabled());
    EXPECT_FALSE(ui->Button1->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !form.Sequencer->IsRunning(); }, 10000));
    EXPECT_EQ(form.Sequencer->sequence().state(), RequestSequence::State::Finished);
    EXPECT_EQ(form.Sequencer->sequence().replies().at(0), "QV:" + module.settings().version + "#");
    // The window's own receive handler never saw the reply.
    EXPECT_EQ(ui->Memo10->toPlainText(), "before");
    EXPECT_TRUE(ui->Button6->isEnabled());
    EXPECT_TRUE(ui->Button1->isEnabled());
    EXPECT_FALSE(ui->Button23->isEnabled());
    EXPECT_TRUE(messages.texts().isEmpty());
}
