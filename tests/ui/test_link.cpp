// Link and request controller: opening, the request pattern, the receive
// handler, timeouts and the traffic display.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>

#include "screenshot.h"
#include "tests/serial/ser2net.h"
#include "ui/portcombobox.h"
#include "window_fixture.h"

namespace {

using LinkTest = RealTimeWindowTest;
using LinkWithDevice = RealTimeWindowTest;

}  // namespace

TEST_F(LinkTest, StartsClosedWithTimersStopped) {
    EXPECT_FALSE(form.PortOpen);
    EXPECT_FALSE(form.Comm1->IsOpen());
    EXPECT_EQ(ui->Button1->text(), "Open");
    EXPECT_TRUE(ui->Button6->isEnabled());
    EXPECT_FALSE(form.Timer2->Enabled());
    EXPECT_FALSE(form.Timer3->Enabled());
    EXPECT_FALSE(form.Timer4->Enabled());
    EXPECT_EQ(form.Timer2->Interval(), 300);
    EXPECT_EQ(form.Timer3->Interval(), 1000);
    EXPECT_EQ(form.PendingRequest(), 0);
    EXPECT_EQ(form.Comm1->ReadIntervalTimeout(), 400u);
    EXPECT_TRUE(ui->Edit8->text().isEmpty());
    EXPECT_TRUE(ui->Memo10->toPlainText().isEmpty());
}

TEST_F(LinkTest, CommunicationQueryWhileClosedTimesOutAfterThreeSeconds) {
    QElapsedTimer clock;
    clock.start();
    Click(ui->Button6);
    EXPECT_EQ(ui->Edit8->text(), "QQQ#QV#");
    EXPECT_EQ(form.PendingRequest(), 201);
    EXPECT_EQ(form.TimeoutKind(), 1);
    EXPECT_EQ(form.Timer3->Interval(), 3000);
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    EXPECT_GE(clock.elapsed(), 2990);
    EXPECT_LT(clock.elapsed(), 3800);
    EXPECT_EQ(messages.texts(), QStringList{"Connection Timeout!"});
    // The request stays pending so that a late reply is still handled.
    EXPECT_EQ(form.PendingRequest(), 201);
    EXPECT_FALSE(form.Timer3->Enabled());
}

TEST_F(LinkTest, TimeoutMessageFollowsTheKind) {
    const struct {
        int kind;
        const char* message;
    } cases[] = {{1, "Connection Timeout!"},
                 {2, "Parameter Query Timeout!"},
                 {3, "Parameter Setting Timeout!"},
                 {4, "HART Command Timeout!"},
                 {0, nullptr},
                 {7, nullptr}};
    for (const auto& c : cases) {
        messages.clear();
        form.Requests->SetPending(form.PendingRequest(), c.kind);
        form.Timer3->SetInterval(20);
        form.Timer3->SetEnabled(true);
        ASSERT_TRUE(WaitFor([&] { return !form.Timer3->Enabled(); }, 2000));
        Pump(30);
        if (c.message) {
            EXPECT_EQ(messages.texts(), QStringList{c.message}) << c.kind;
            // A warning, with what the silence means under it (the port is closed here).
            EXPECT_EQ(messages.icons().first(), QMessageBox::Warning);
            EXPECT_TRUE(messages.informative().first().startsWith(
                "The module has not answered since the port was opened"));
        } else {
            EXPECT_TRUE(messages.texts().isEmpty()) << c.kind;
        }
    }
}

TEST_F(LinkTest, LongBlockFillsTheReceiveAreaAndShowsItsFirst255BytesInHex) {
    std::string block(300, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    form.Requests->SetPending(104, form.TimeoutKind());
    Deliver(block);
    EXPECT_EQ(RxArea(300), block);
    EXPECT_EQ(form.ReplyText(), block.substr(0, 255));
    const QString shown = ui->Memo10->toPlainText();
    EXPECT_EQ(shown.size(), 255 * 3);
    EXPECT_TRUE(shown.startsWith("00 07 0E 15 "));
    EXPECT_EQ(form.PendingRequest(), 104);
    EXPECT_FALSE(form.Timer2->Enabled());

    // A second, unsolicited block under the same code is again shown in hex,
    // and only overwrites the start of the receive area.
    Deliver(std::string("\xFF\x06", 2));
    EXPECT_EQ(ui->Memo10->toPlainText(), "FF 06 ");
    EXPECT_EQ(RxArea(3), std::string("\xFF\x06\x0E", 3));
    EXPECT_EQ(form.PendingRequest(), 104);
}

TEST_F(LinkTest, BlockLongerThanTheReceiveAreaStaysInsideIt) {
    std::string block(2048, 'x');
    block[403] = 'L';
    block[404] = 'Z';
    const auto guard = form.FrameBuffer();
    form.Requests->SetPending(302, form.TimeoutKind());
    Deliver(block);
    EXPECT_EQ(RxArea(TForm1::kRxSize), block.substr(0, TForm1::kRxSize));
    EXPECT_TRUE(
        std::equal(guard.begin(), guard.begin() + TForm1::kRxStart, form.FrameBuffer().begin()));
    EXPECT_EQ(form.ReplyText().size(), 255u);
}

TEST_F(LinkTest, BlockUnderEachCodeFamily) {
    const struct {
        int code;
        bool hex;
        bool decodes;
        int codeAfter;
    } cases[] = {
        {0, false, false, 0},    {200, false, false, 0},  {110, false, false, 0},
        {201, false, true, 201}, {202, false, true, 202}, {203, false, true, 203},
        {301, false, true, 301}, {501, false, true, 501}, {100, true, true, 100},
        {103, true, true, 103},  {104, true, false, 104}, {106, true, false, 106},
        {302, true, false, 302}, {77, false, false, 0},
    };
    for (const auto& c : cases) {
        form.Timer2->SetEnabled(false);
        form.Timer3->SetInterval(3000);
        form.Timer3->SetEnabled(true);
        form.Requests->SetPending(c.code, form.TimeoutKind());
        Deliver("OK#");
        EXPECT_EQ(ui->Memo10->toPlainText(), c.hex ? "4F 4B 23 " : "OK#") << c.code;
        EXPECT_EQ(form.Timer2->Enabled(), c.decodes) << c.code;
        EXPECT_FALSE(form.Timer3->Enabled()) << c.code;
        EXPECT_EQ(form.PendingRequest(), c.codeAfter) << c.code;
    }
    form.Timer2->SetEnabled(false);
}

TEST_F(LinkTest, TextDisplayStopsAtAZeroByteButTheBlockIsKept) {
    const std::string block("AB\0CD", 5);
    Deliver(block);
    EXPECT_EQ(ui->Memo10->toPlainText(), "AB");
    EXPECT_EQ(form.ReplyText(), block);
    EXPECT_EQ(RxArea(5), block);
}

TEST_F(LinkTest, LateReplyAfterTheTimeoutIsStillHandled) {
    form.Requests->SetPending(202, 2);
    form.Timer3->SetInterval(30);
    form.Timer3->SetEnabled(true);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts().first(), "Parameter Query Timeout!");
    Deliver("QX#BA2:31#");
    EXPECT_TRUE(form.Timer2->Enabled());
    EXPECT_EQ(form.PendingRequest(), 202);
    form.Timer2->SetEnabled(false);
}

TEST_F(LinkTest, ClearBufferEmptiesOnlyTheReceiveBuffer) {
    Click(ui->Button6);
    Deliver("reply");
    Click(ui->Button26);
    EXPECT_TRUE(ui->Memo10->toPlainText().isEmpty());
    EXPECT_EQ(ui->Edit8->text(), "QQQ#QV#");
    form.Timer3->SetEnabled(false);
}

TEST_F(LinkTest, SlaveAddressIsMirroredOneWay) {
    ui->Edit14->setText("017");
    EXPECT_EQ(ui->Edit18->text(), "017");
    ui->Edit18->setText("002");
    EXPECT_EQ(ui->Edit14->text(), "017");
}

TEST_F(LinkTest, OpeningFailuresAreShownAndLeaveThePortClosed) {
    // An opening failure is a warning with its cause and fix in sight; a
    // refused input stays an information with nothing under it.
    const struct {
        const char* port;
        const char* baud;
        const char* message;
        const char* informative;
    } cases[] = {
        {"/nonexistent/tty0", "9600", "Error opening serial port",
         "/nonexistent/tty0: No such file or directory\n\nThere is no such device."},
        {"/dev/null", "9600", "/dev/null is a device, but not a serial port.",
         "/dev/null: not a terminal (it is a device of another kind)\n\nChoose a serial device"},
        {"/dev/null", "96x00", "'96x00' is not a valid integer value", ""},
        {"/dev/null", "", "'' is not a valid integer value", ""},
        {"/dev/null", "96é00", "'96é00' is not a valid integer value", ""},
        {"/dev/null", "96€00", "'96€00' in Baud Rate: a character outside Latin-1 cannot be sent",
         ""},
        {"socket://no-such-host.invalid:4001", "9600", "Error opening network port",
         "socket://no-such-host.invalid:4001: unknown host \"no-such-host.invalid\" ("},
        {"rfc2217://127.0.0.1", "9600", "Error opening network port",
         "\"rfc2217://127.0.0.1\" is not a network port of the form HOST:PORT.\n\nWrite"},
    };
    for (const auto& c : cases) {
        messages.clear();
        ui->SPREALCOM->setEditText(c.port);
        ui->ComboBox11->setEditText(c.baud);
        Click(ui->Button1);
        ASSERT_TRUE(messages.WaitForCount(1, 2000)) << c.port;
        EXPECT_EQ(messages.texts().first(), QString::fromUtf8(c.message));
        const bool opening = *c.informative != 0;
        EXPECT_EQ(messages.icons().first(), opening ? QMessageBox::Warning : QMessageBox::Information)
            << c.port;
        EXPECT_TRUE(opening ? messages.informative().first().startsWith(c.informative)
                            : messages.informative().first().isEmpty())
            << messages.informative().first().toStdString();
        // The details keep the full diagnosis: the cause first, then the devices present.
        if (opening && !QString(c.port).contains("://")) {
            EXPECT_TRUE(messages.details().first().startsWith(messages.informative().first()));
            EXPECT_TRUE(messages.details().first().contains("erial devices")) << c.port;
        }
        EXPECT_FALSE(form.PortOpen);
        EXPECT_FALSE(form.Comm1->IsOpen());
        EXPECT_EQ(ui->Button1->text(), "Open");
    }
}

// An adapter that echoes what it sends changes nothing the window shows but
// the status line's word that it does.
TEST_F(LinkWithDevice, CommunicationQueryGetsTheVersionReply) {
    for (const bool echo : {false, true}) {
        SCOPED_TRACE(echo ? "echo" : "bare line");
        OpenOnSimulator({.echo = echo});
        EXPECT_EQ(ui->Button1->text(), "Close");
        EXPECT_EQ(form.Comm1->BaudRate(), 9600u);
        EXPECT_FALSE(form.Comm1->Outx_XonXoffFlow());
        Click(ui->Button6);
        EXPECT_EQ(ui->Edit8->text(), "QQQ#QV#");
        ASSERT_TRUE(WaitFor([&] { return !ui->Memo10->toPlainText().isEmpty(); }, 3000));
        EXPECT_EQ(ui->Memo10->toPlainText().toStdString(), "QV:" + module.settings().version + "#");
        ASSERT_TRUE(WaitFor([&] { return form.PendingRequest() == 0; }, 1000));
        EXPECT_EQ(form.TimeoutKind(), 0);
        EXPECT_EQ(server->requestsAnswered(), 1);
        Pump(100);
        EXPECT_TRUE(messages.texts().isEmpty());
        const auto* said = form.findChild<QLabel*>("StatusEcho");
        EXPECT_EQ(said && said->isVisibleTo(&form) ? said->text() : QString(),
                  echo ? Link::kEchoDetectedText : "");

        Click(ui->Button1);
        EXPECT_FALSE(form.PortOpen);
        EXPECT_FALSE(form.Comm1->IsOpen());
        EXPECT_EQ(ui->Button1->text(), "Open");
        EXPECT_FALSE(ui->Button6->isEnabled());
    }
}

TEST_F(LinkWithDevice, ReplyIsDecodedAboutNineHundredMillisecondsAfterItsLastByte) {
    OpenOnSimulator(SimOptions{.replyDelayMs = 0});
    QElapsedTimer clock;
    clock.start();
    Click(ui->Button6);
    ASSERT_TRUE(WaitFor([&] { return form.PendingRequest() == 0; }, 3000));
    // 400 ms of line silence, the 200 ms wait and the 300 ms reply timer.
    EXPECT_GE(clock.elapsed(), 880);
    EXPECT_LT(clock.elapsed(), 1600);
}

TEST_F(LinkWithDevice, PauseInsideAReplySplitsItIntoTwoBlocks) {
    OpenOnSimulator(SimOptions{.splitAfter = 3, .splitPauseMs = 700});
    Click(ui->Button6);
    std::vector<QString> shown;
    const std::string full = "QV:" + module.settings().version + "#";
    ASSERT_TRUE(WaitFor(
        [&] {
            const QString now = ui->Memo10->toPlainText();
            if (!now.isEmpty() && (shown.empty() || shown.back() != now)) shown.push_back(now);
            return shown.size() >= 2;
        },
        4000));
    EXPECT_EQ(shown[0], "QV:");
    EXPECT_EQ(shown[1].toStdString(), full.substr(3));
}

TEST_F(LinkWithDevice, OpeningTakesTheChosenParityAndTurnsSoftwareFlowOff) {
    const struct {
        const char* text;
        int parity;
    } cases[] = {{"None", 0}, {"Odd", 1}, {"Even", 2}, {"Space", -1}};
    for (const auto& c : cases) {
        ui->ComboBox10->setEditText(c.text);
        OpenOnSimulator();
        EXPECT_EQ(static_cast<int>(form.Comm1->Parity), c.parity) << c.text;
        EXPECT_FALSE(form.Comm1->Outx_XonXoffFlow());
        EXPECT_FALSE(form.Comm1->Inx_XonXoffFlow());
        Click(ui->Button1);
        server->Stop();
        server.reset();
    }
}

TEST_F(LinkWithDevice, FailedOpenAfterACloseKeepsTheQueryDisabled) {
    OpenOnSimulator();
    Click(ui->Button1);
    ASSERT_FALSE(ui->Button6->isEnabled());
    ui->SPREALCOM->setEditText("/nonexistent/tty0");
    Click(ui->Button1);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_FALSE(ui->Button6->isEnabled());
    EXPECT_EQ(ui->Button1->text(), "Open");
}

TEST_F(LinkWithDevice, AutomaticCloseClosesThePort) {
    OpenOnSimulator();
    form.Timer4->SetInterval(50);
    form.Timer4->SetEnabled(true);
    ASSERT_TRUE(WaitFor([&] { return !form.PortOpen; }, 2000));
    EXPECT_FALSE(form.Timer4->Enabled());
    EXPECT_FALSE(form.Comm1->IsOpen());
    EXPECT_EQ(ui->Button1->text(), "Open");
    EXPECT_FALSE(ui->Button6->isEnabled());
}

TEST_F(LinkWithDevice, SecondWindowCannotOpenTheSamePort) {
    OpenOnSimulator();
    TForm1 other;
    other.show();
    other.form()->SPREALCOM->setEditText(ui->SPREALCOM->currentText());
    Click(other.form()->Button1);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts().first(), "Error opening serial port");
    EXPECT_FALSE(other.PortOpen);
    EXPECT_TRUE(form.Comm1->IsOpen());
}

// The 200 ms wait runs on a timer: blocks arriving together are handled one
// after another, each after its own wait, under the request pending when that
// wait ends.
TEST_F(LinkTest, BlocksWaitTheirTurnWithoutBlockingTheWindow) {
    auto deliverNow = [&](const std::string& s) {
        form.Comm1ReceiveData(form.Comm1, reinterpret_cast<const uint8_t*>(s.data()),
                              static_cast<uint16_t>(s.size()));
    };
    QElapsedTimer clock;
    clock.start();
    deliverNow("one");
    deliverNow("two");
    deliverNow("three");
    EXPECT_LT(clock.elapsed(), 50);
    EXPECT_EQ(form.Requests->ReceiveWait()->Waiting(), 3u);
    form.Requests->SetPending(104, form.TimeoutKind());  // set during the first wait: the blocks are shown in hex

    std::vector<std::pair<QString, qint64>> shown;
    ASSERT_TRUE(WaitFor(
        [&] {
            const QString now = ui->Memo10->toPlainText();
            if (!now.isEmpty() && (shown.empty() || shown.back().first != now))
                shown.emplace_back(now, clock.elapsed());
            return shown.size() == 3;
        },
        3000));
    EXPECT_EQ(shown[0].first, "6F 6E 65 ");
    EXPECT_EQ(shown[1].first, "74 77 6F ");
    EXPECT_EQ(shown[2].first, "74 68 72 65 65 ");
    EXPECT_GE(shown[0].second, 195);
    EXPECT_GE(shown[1].second - shown[0].second, 180);
    EXPECT_GE(shown[2].second - shown[1].second, 180);
    EXPECT_EQ(form.Requests->ReceiveWait()->Handled(), 3u);
}

// The window's port field takes a serial device server's name as typed: the
// query goes through ser2net to the module and its reply comes back.
TEST_F(LinkWithDevice, CommunicationQueryThroughASerialDeviceServer) {
    REQUIRE_SER2NET();
    server = std::make_unique<SimServer>(module, SimOptions{});
    const std::string path = server->Open();
    server->Start();
    Ser2net net({QString::fromStdString(path)});
    ASSERT_TRUE(net.started()) << net.Log().toStdString();
    for (const QString& name : {net.Rfc(), net.Raw()}) {
        ASSERT_TRUE(net.WaitIdle());
        ui->Memo10->clear();
        ui->SPREALCOM->setEditText(name);
        Click(ui->Button1);
        ASSERT_TRUE(form.PortOpen)
            << name.toStdString() << messages.texts().join("|").toStdString();
        Click(ui->Button6);
        ASSERT_TRUE(WaitFor([&] { return !ui->Memo10->toPlainText().isEmpty(); }, 3000))
            << name.toStdString();
        EXPECT_EQ(ui->Memo10->toPlainText().toStdString(), "QV:" + module.settings().version + "#");
        ASSERT_TRUE(WaitFor([&] { return form.PendingRequest() == 0; }, 1000));
        if (name == net.Rfc()) SaveScreenshot(&form, "network-port.png");
        Click(ui->Button1);
        EXPECT_FALSE(form.PortOpen);
    }
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
    // Both are offered in the list from now on, the newest first, and kept for the next run.
    ui->SPREALCOM->RefreshPorts();
    EXPECT_EQ(ui->SPREALCOM->itemText(9), net.Raw());
    EXPECT_EQ(ui->SPREALCOM->itemText(10), net.Rfc());
    EXPECT_EQ(LoadRecentPorts(),
              (std::vector<std::string>{net.Raw().toStdString(), net.Rfc().toStdString()}));
    SaveRecentPorts({});

    // The server gone: the window's hang-up, said as a connection's.
    ASSERT_TRUE(net.WaitIdle());
    ui->SPREALCOM->setEditText(net.Rfc());
    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen);
    net.Kill();
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    EXPECT_EQ(messages.texts().first(),
              "The connection to " + net.Rfc() + " was closed by the server or the network.");
    EXPECT_FALSE(form.PortOpen);
    EXPECT_EQ(ui->Button1->text(), "Open");
}
