// Runs on a real serial component, with a test peer on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <set>
#include <sstream>

#include "session/journalfollower.h"
#include "session/link.h"
#include "session/linkrun.h"
#include "session/requestrunner.h"
#include "session/windowrequest.h"
#include "tests/serial/eventpump.h"
#include "tests/serial/ptypair.h"

using Ms = std::chrono::milliseconds;

namespace {

// What the runs wrote, collected while their events are delivered.
std::string Written(TPtyPair& pty, size_t count) {
    std::string got;
    PumpUntil(
        [&] {
            for (uint8_t b : pty.Receive(count - got.size(), Ms(1))) got += static_cast<char>(b);
            return got.size() >= count;
        },
        Ms(5000));
    return got;
}

// The link opened on the test peer's side.
void OpenOnPty(Link& link, TPtyPair& pty) { link.Open({.name = pty.SlavePath()}); }

bool Ended(const LinkRun* run) {
    return PumpUntil([&] { return !run->active(); }, Ms(10000));
}

}  // namespace

TEST(RequestRunner, RunsOnTheLineAndStopsAtTheSilentStep) {
    TestApp();
    TPtyPair pty;
    Link link;
    OpenOnPty(link, pty);
    std::vector<int> progress;
    LinkRun* run = link.Start({{"QQQ#QV#", 201, "Version"}, {"QQQ#QX#", 202, "System"}});
    QObject::connect(run, &LinkRun::replied,
                     [&](int step, const QByteArray&) { progress.push_back(step + 1); });
    EXPECT_TRUE(link.RunsActive());
    // Blocks come as they arrive while the run holds the line: 4 ms at 9600 baud.
    EXPECT_EQ(link.ReadInterval(), 4u);
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    pty.Send("QV:TAVRIX V2#");
    // The second frame goes out only once the first reply is complete.
    EXPECT_EQ(Written(pty, 7), "QQQ#QX#");
    ASSERT_TRUE(Ended(run));
    EXPECT_EQ(run->state(), LinkRun::State::TimedOut);
    EXPECT_EQ(run->current(), 1u);
    EXPECT_EQ(run->failure(), "Parameter Query Timeout!");
    EXPECT_EQ(run->Why(), "no reply to System: Parameter Query Timeout!");
    EXPECT_EQ(run->replies(), std::vector<std::string>{"QV:TAVRIX V2#"});
    EXPECT_EQ(progress, std::vector<int>{1});
    EXPECT_FALSE(link.RunsActive());
    EXPECT_EQ(link.ReadInterval(), 400u) << "the resting interval is back";
    link.Close();
}

// The window's reply arrives in two parts around a run's start: the run's
// frame waits for the tail, which is the window's, and its own reply is the
// one that follows its frame.
TEST(RequestRunner, AnEarlierReplyStillComingIsNotTheFirstStepsReply) {
    TestApp();
    TPtyPair pty;
    Link link;
    WindowRequest window(&link);
    window.SetTimings({.readIntervalMs = 20});
    OpenOnPty(link, pty);
    window.Request("QQQ#QX#", 202);
    EXPECT_EQ(Written(pty, 7), "QQQ#QX#");
    pty.Send("QX#BA2:31,");
    ASSERT_TRUE(PumpUntil([&] { return link.Current().bytesSince == 10; }, Ms(5000)));

    LinkRun* run = link.Start({{"QQQ#QV#", 201, "Version"}});
    pty.Send("MD:1,ADR:007,JTM:050,XY1:3#");
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    pty.Send("QV:TAVRIX V2#");
    ASSERT_TRUE(Ended(run));
    EXPECT_EQ(run->state(), LinkRun::State::Finished) << run->failure().toStdString();
    EXPECT_EQ(run->replies(), std::vector<std::string>{"QV:TAVRIX V2#"});
    link.Close();
}

// A second run started while one runs waits in the queue and starts once the
// line is quiet (the first reply complete and a silence after it); each run
// hears only its own reply.
TEST(RequestRunner, AQueuedRunStartsWhenTheLineIsQuietAndHearsOnlyItsOwnReply) {
    TestApp();
    TPtyPair pty;
    Link link;
    OpenOnPty(link, pty);
    std::vector<std::string> heard1, heard2;
    LinkRun* first = link.Start({{"QQQ#QV#", 201, "Version"}});
    LinkRun* second = link.Start({{"QQQ#QX#", 202, "System"}});
    QObject::connect(first, &LinkRun::replied,
                     [&](int, const QByteArray& r) { heard1.push_back(r.toStdString()); });
    QObject::connect(second, &LinkRun::replied,
                     [&](int, const QByteArray& r) { heard2.push_back(r.toStdString()); });
    EXPECT_EQ(second->state(), LinkRun::State::Queued);
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    pty.Send("QV:TAVRIX V2#");
    EXPECT_EQ(Written(pty, 7), "QQQ#QX#") << "the queued run starts after the first";
    EXPECT_EQ(first->state(), LinkRun::State::Finished);
    pty.Send("QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#");
    ASSERT_TRUE(Ended(second));
    EXPECT_EQ(heard1, std::vector<std::string>{"QV:TAVRIX V2#"});
    EXPECT_EQ(heard2, std::vector<std::string>{"QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#"});
    link.Close();
}

// Cancelled before its reply: the reply answers nobody, and the next run
// does not take it for its own.
TEST(RequestRunner, ACancelledRunsLateReplyGoesToNobody) {
    TestApp();
    TPtyPair pty;
    Link link;
    OpenOnPty(link, pty);
    LinkRun* cancelled = link.Start({{"QQQ#QV#", 201, "Version"}});
    bool cancelledHeard = false;
    QObject::connect(cancelled, &LinkRun::replied, [&] { cancelledHeard = true; });
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    cancelled->Cancel();
    EXPECT_EQ(cancelled->state(), LinkRun::State::Cancelled);
    EXPECT_EQ(cancelled->Why(), "stopped");
    pty.Send("QV:TAVRIX V2#");
    ASSERT_TRUE(PumpUntil([&] { return link.Current().bytesSince == 13; }, Ms(5000)));
    EXPECT_FALSE(cancelledHeard);

    LinkRun* next = link.Start({{"QQQ#QX#", 202, "System"}});
    EXPECT_EQ(Written(pty, 7), "QQQ#QX#");
    pty.Send("QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#");
    ASSERT_TRUE(Ended(next));
    EXPECT_EQ(next->replies(), std::vector<std::string>{"QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#"});
    link.Close();
}

// A lost reply is asked again as the run's retries allow, and says so.
TEST(RequestRunner, ALostReplyIsAskedAgainWhenTheRunAllows) {
    TestApp();
    TPtyPair pty;
    Link link;
    link.SetAnswerTime(Ms(100));
    OpenOnPty(link, pty);
    LinkRun* retried = link.Start({{"QQQ#QV#", 201, "Version"}}, {.retries = 1});
    std::vector<QString> tries;
    QObject::connect(
        retried, &LinkRun::retried, [&](int step, int attempt, int of, const QString& why) {
            tries.push_back(QString("%1 %2/%3 %4").arg(step).arg(attempt).arg(of).arg(why));
        });
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#");
    EXPECT_EQ(Written(pty, 7), "QQQ#QV#") << "asked again after its timeout";
    pty.Send("QV:TAVRIX V2#");
    ASSERT_TRUE(Ended(retried));
    EXPECT_EQ(retried->state(), LinkRun::State::Finished) << retried->failure().toStdString();
    EXPECT_EQ(tries, std::vector<QString>{"0 2/2 no reply"});
    EXPECT_FALSE(link.RunsActive());
    link.Close();
}

// What came for each try decides whether the step is asked again: a damaged
// reply and a set command's "ERR" are, as the run's retries allow; a clean
// refusal is not. Every retry is said on the run and recorded on the link.
TEST(RequestRunner, ADamagedReplyOrARefusedSetIsAskedAgainACleanRefusalIsNot) {
    const std::string kGoodSystem = "QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#";
    const std::string kException("\x01\x83\x02\xC0\xF1", 5);
    const std::string kRead("\x01\x03\x00\x00\x00\x01\x84\x0A", 8);
    const struct {
        const char* name;
        SequenceStep step;
        std::vector<std::string> replies;  // one a try
        LinkRun::State state;
        std::vector<QString> tries;
        QString why;
        EchoMode echo = EchoMode::Off;  // the replies then begin with the frame's echo
    } cases[] = {
        // The adapter heard the frame changed: the line was busy while it went out.
        {"an echo that differs, then the right one",
         {"QQQ#QV#", 201, "Version"},
         {"QQQ#QW#QV:TAVRIX V2#", "QQQ#QV#QV:TAVRIX V2#"},
         LinkRun::State::Finished,
         {"0 2/3 wrong: the echo differs from what was sent: the line was busy or noisy while "
          "sending"},
         "",
         EchoMode::On},
        {"damaged, then good",
         {"QQQ#QX#", 202, "System"},
         {"QX#BA2:71,MD:1,ADR:007,JTM:050,XY1:3#", kGoodSystem},
         LinkRun::State::Finished,
         {"0 2/3 wrong: field rs485.baudRate: '7' is not one of 0..5"},
         ""},
        {"refused on every try",
         {"QQS#MD:1#", 200, "Mode"},
         {"QQS#MD:ERR#", "QQS#MD:ERR#", "QQS#MD:ERR#"},
         LinkRun::State::Failed,
         {"0 2/3 wrong: the module refused the setting: \"QQS#MD:ERR#\"",
          "0 3/3 wrong: the module refused the setting: \"QQS#MD:ERR#\""},
         "reply to Mode wrong: the module refused the setting: \"QQS#MD:ERR#\""},
        {"refused, then taken",
         {"QQS#MD:1#", 200, "Mode"},
         {"QQS#MD:ERR#", "QQS#MD:OK#"},
         LinkRun::State::Finished,
         {"0 2/3 wrong: the module refused the setting: \"QQS#MD:ERR#\""},
         ""},
        {"a clean exception",
         {kRead, 302, "Registers"},
         {kException},
         LinkRun::State::Failed,
         {},
         "reply to Registers wrong: exception 02 Illegal data address"},
    };
    TestApp();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TPtyPair pty;
        Link link;
        QTemporaryDir folder;
        JournalFollower journal(&link, folder.path().toStdString(), "test");
        link.SetEchoMode(c.echo);
        OpenOnPty(link, pty);
        LinkRun* run = link.Start({c.step}, {.retries = 2});
        std::vector<QString> tries, recorded;
        QObject::connect(
            run, &LinkRun::retried, [&](int step, int attempt, int of, const QString& why) {
                tries.push_back(QString("%1 %2/%3 %4").arg(step).arg(attempt).arg(of).arg(why));
            });
        QObject::connect(
            &link, &Link::retried,
            [&](const ExchangeRecord& request, int attempt, int of, const QString& why) {
                EXPECT_EQ(request.code, c.step.code);
                recorded.push_back(QString("0 %1/%2 %3").arg(attempt).arg(of).arg(why));
            });
        for (const std::string& reply : c.replies) {
            EXPECT_EQ(Written(pty, c.step.frame.size()), c.step.frame);
            pty.Send(reply);
        }
        ASSERT_TRUE(Ended(run));
        EXPECT_EQ(run->state(), c.state) << run->Why().toStdString();
        EXPECT_EQ(run->Why(), c.why);
        EXPECT_EQ(tries, c.tries);
        EXPECT_EQ(recorded, c.tries);
        const size_t echo = c.echo == EchoMode::Off ? 0 : c.step.frame.size();
        if (c.state == LinkRun::State::Finished)
            EXPECT_EQ(run->LastReply(), c.replies.back().substr(echo));
        // The journal has a line for each retry, and the echo's as it was.
        std::stringstream text;
        text << std::ifstream(journal.path()).rdbuf();
        std::vector<QString> journaled;
        std::set<std::string> echoes;
        for (std::string line; std::getline(text, line);) {
            if (line.find("\tECHO\t") != std::string::npos)
                echoes.insert(QString::fromStdString(line).split('\t').value(4).toStdString());
            const size_t at = line.find("\tRETRY\t");
            if (at == std::string::npos) continue;
            const QStringList cells = QString::fromStdString(line).split('\t');
            journaled.push_back(cells.value(4));
        }
        std::vector<QString> expected;
        for (const QString& t : c.tries) {
            const QStringList parts = t.split(' ');
            const QStringList of = parts[1].split('/');
            expected.push_back(QString::fromStdString(
                RetryText(of[0].toInt(), of[1].toInt(), t.section(' ', 2).toStdString())));
        }
        EXPECT_EQ(journaled, expected);
        if (echo)
            EXPECT_EQ(echoes, (std::set<std::string>{EchoText(EchoSplit::Verdict::Whole),
                                                     EchoText(EchoSplit::Verdict::Differs)}));
        link.Close();
    }
}
