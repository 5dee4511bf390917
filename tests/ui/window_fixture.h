// The main window under test: shown offscreen, its message boxes watched,
// fed blocks as the serial component delivers them, or opened on the
// simulated module through a pseudo-terminal.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "session/receivewait.h"
#include "ui/tform1.h"
#include "ui_tform1.h"
#include "window_helpers.h"

// The window's request pattern with short timings, so a suite of window
// tests does not wait out 200 ms, 300 ms and 3 s for real at every request;
// the link tests keep the designed ones (RealTimeWindowTest).
inline constexpr WindowTimings kFastWindowTimings{.receiveWaitMs = 20,
                                                  .replyTimerMs = 30,
                                                  .firstTimeoutMs = 500,
                                                  .timeoutMs = 1000,
                                                  .readIntervalMs = 40};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!RealTime()) form.Requests->SetTimings(kFastWindowTimings);
        form.show();
        ui = form.form();
    }
    virtual bool RealTime() const { return false; }
    const WindowTimings& timings() const { return form.Requests->timings(); }
    void TearDown() override {
        form.Link1->Close();
        if (server) server->Stop();
    }

    // A block as the serial component delivers it, handled once its wait is over.
    void Deliver(const std::string& bytes) {
        const uint64_t before = form.Requests->ReceiveWait()->Handled();
        form.Comm1ReceiveData(form.Comm1, reinterpret_cast<const uint8_t*>(bytes.data()),
                              static_cast<uint16_t>(bytes.size()));
        ASSERT_TRUE(
            WaitFor([&] { return form.Requests->ReceiveWait()->Handled() > before; }, 2000));
    }
    std::string TxArea(size_t n) const { return Area(TForm1::kTxStart, n); }
    std::string RxArea(size_t n) const { return Area(TForm1::kRxStart, n); }

    // Starts the simulated module on a pseudo-terminal and opens the window on it.
    void OpenOnSimulator(SimOptions options = {}) {
        server = std::make_unique<SimServer>(module, options);
        const std::string path = server->Open();
        server->Start();
        ui->SPREALCOM->setEditText(QString::fromStdString(path));
        Click(ui->Button1);
        ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    }

    // Runs a handler as a queued call through the application object, whose
    // last-resort handler shows an escaping conversion error as a click would.
    void RunQueued(void (TForm1::*handler)()) {
        bool ran = false;
        QMetaObject::invokeMethod(
            &form,
            [this, handler, &ran] {
                ran = true;
                (form.*handler)();
            },
            Qt::QueuedConnection);
        ASSERT_TRUE(WaitFor([&] { return ran; }, 2000));
    }

    TForm1 form;
    Ui::TForm1* ui = nullptr;
    ModalWatcher messages;
    TavrixModule module;
    std::unique_ptr<SimServer> server;

private:
    std::string Area(size_t start, size_t n) const {
        return std::string(reinterpret_cast<const char*>(form.FrameBuffer().data() + start), n);
    }
};

// The window's request pattern at its designed timings: 200 ms wait, 300 ms
// reply timer, 1 s and 3 s timeouts, 400 ms read interval.
class RealTimeWindowTest : public WindowTest {
protected:
    bool RealTime() const override { return true; }
};
