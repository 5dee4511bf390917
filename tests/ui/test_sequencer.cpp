// The window while its sequencer owns the line.
#include "session/linkrun.h"
#include "traffic/trafficlog.h"
#include "session/receivewait.h"
#include "ui/trafficlogmodel.h"
#include "window_fixture.h"

using SequencerWindow = WindowTest;

TEST_F(SequencerWindow, OwnsTheLineWhileItRunsAndGivesEverythingBack) {
    OpenOnSimulator();
    ui->Button23->setEnabled(false);  // stays as the window had it
    ui->Memo10->setPlainText("before");
    // A block of the window's own, still waiting its turn, is not handled later.
    form.Requests->ReceiveWait()->Enqueue(reinterpret_cast<const uint8_t*>("stray"), 5);
    LinkRun* run = form.Link1->Start({{"QQQ#QV#", 201, "Version"}});
    EXPECT_EQ(form.Requests->ReceiveWait()->Waiting(), 0u);
    EXPECT_FALSE(ui->Button6->isEnabled());
    EXPECT_FALSE(ui->Button1->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !form.Link1->RunsActive(); }, 10000));
    EXPECT_EQ(run->state(), LinkRun::State::Finished);
    EXPECT_EQ(run->replies().at(0), "QV:" + module.settings().version + "#");
    // The window's own receive handler never saw the reply; the traffic log did.
    EXPECT_EQ(ui->Memo10->toPlainText(), "before");
    const auto& events = form.Traffic->log().events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2].kind, TrafficKind::Sent);
    EXPECT_EQ(events[events.size() - 2].code, 201);
    EXPECT_EQ(events.back().kind, TrafficKind::Received);
    EXPECT_EQ(events.back().code, 201);
    EXPECT_TRUE(ui->Button6->isEnabled());
    EXPECT_TRUE(ui->Button1->isEnabled());
    EXPECT_FALSE(ui->Button23->isEnabled());
    EXPECT_TRUE(messages.texts().isEmpty());
}
