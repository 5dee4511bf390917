// TForm1, the main window. Its controls come from the designer form
// (tform1.ui, objectName = designer name). Handlers are split by subsystem:
//   tform1.cpp          construction, wiring, pictures
//   tform1_link.cpp     link, request pattern, receive handler, timeouts, traffic
//   tform1_replies.cpp  reply timer: configuration reply decoding
//   tform1_config.cpp   configuration, current-output and monitoring commands
//   tform1_hart.cpp     HART frames and HART reply decoding
//   tform1_modbus.cpp   MODBUS test request and IEEE 754 calculator
//   tform1_menus.cpp    menu bar: File, View, Help (where additions are reached)
//   tform1_capture.cpp  copies of the last HART command 3 and MODBUS test replies
//   tform1_sidebyside.cpp  View entries: cross-check dialog, trend window
//   tform1_port.cpp     device list, vanished or shared device, status line
//   tform1_traffic.cpp  traffic log panel, View > Traffic, File > Save Traffic
// Every handler reads controls, calls a pure codec and writes controls or sends.
#pragma once

#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "serial/tcomm.h"
#include "ui/lastreplies.h"
#include "ui/receivewait.h"
#include "ui/ttimer.h"

namespace Ui {
class TForm1;
}
class QLineEdit;
class QMenu;
class QAction;
class TStatusLine;
class TrafficDock;
class TrafficLogModel;
class RequestRunner;
class ModuleProfiles;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1* form() const { return ui.get(); }

    // The serial port component and the window's timers.
    TComm* Comm1;
    TTimer* Timer2;  // reply timer (300 ms): decodes the collected reply
    TTimer* Timer3;  // reply timeout (1000 ms at start, 3000 ms once a request sets it)
    TTimer* Timer4;  // delayed port close after the RS485 settings command
    // Runs sequences of exchanges (read module, apply profile, polling). While
    // it runs it owns the line: blocks go to it, not to Comm1ReceiveData.
    RequestRunner* Sequencer;
    TReceiveWait* ReceiveWait;  // received blocks in their 200 ms wait

    // State shared by the handlers, touched on the main thread only.
    static constexpr size_t kFrameBufferSize = 916;
    static constexpr size_t kTxStart = 8;      // transmit area: bytes 8..511
    static constexpr size_t kRxStart = 512;    // receive area: bytes 512..915
    static constexpr size_t kTxSize = kRxStart - kTxStart;
    static constexpr size_t kRxSize = kFrameBufferSize - kRxStart;
    static constexpr size_t kReplyTextMax = 255;
    std::array<uint8_t, kFrameBufferSize> FrameBuffer{};
    std::string ReplyText;     // last received block, at most 255 bytes, zero bytes kept
    int ReplyLength = 0;       // length of the last decoded HART reply
    int PendingRequest = 0;    // request awaiting its reply; 0 = none
    int TimeoutKind = 0;       // 1 connection, 2 query, 3 setting, 4 HART
    bool PortOpen = false;
    uint8_t HartManufacturerId = 0;

    // Menus of the menu bar; additions add their actions to these.
    QMenu* menuFile = nullptr;
    QMenu* menuView = nullptr;
    QMenu* menuHelp = nullptr;
    QAction* actionExit = nullptr;  // last entry of File
    TStatusLine* StatusLine = nullptr;  // port, line settings, open or closed, last reply
    ModuleProfiles* Profiles = nullptr;  // Read Module, profiles, Apply Profile to Module

    // Kept for the cross-check and the trend; RepliesCaptured() says when.
    LastReplies Captured;
    int ModbusTestStart = 0;  // start address the last MODBUS test request carried

    // Traffic log, fed at every send, request, block, timeout, open, close and
    // hang-up; anything else that uses the port feeds it too.
    TrafficLogModel* Traffic = nullptr;
    TrafficDock* dockTraffic = nullptr;

    // The common request pattern, shared by every request handler.
    void ClearTraffic();                                            // empties Edit8 and Memo10
    void SendFrame(const std::string& frame, bool hexDisplay);      // shows frame in Edit8, writes it
    std::string PutTx(const std::string& frame);                    // copies frame into the transmit area
    void RegisterRequest(int code, int timeoutKind, bool setInterval3000);
    // The receive handler's work on one block, once its wait is over.
    void HandleBlock(const std::string& block);
    // Closes Comm1; blocks still waiting from it are discarded with it.
    void CloseComm();

signals:
    void RepliesCaptured();

public slots:
    // Link and traffic.
    void FormCreate();
    void Button1Click();
    void Button6Click();
    void Comm1ReceiveData(TComm* Sender, const uint8_t* Buffer, uint16_t BufferLength);
    void Comm1RequestHangup(TComm* Sender);
    void Timer3Timer();
    void Timer4Timer();
    void Button26Click();
    void Edit14Change();
    void Label8DblClick();
    void Label34DblClick();
    void PageControl1Change();

    // Reply dispatcher.
    void Timer2Timer();

    // Configuration commands.
    void Button23Click();
    void Button8Click();
    void Button31Click();
    void Button24Click();
    void Button29Click();
    void Button27Click();
    void Button30Click();
    void Button32Click();
    void Button33Click();
    void Button12Click();
    void Button21Click();
    void Button60Click();
    // Current output and coefficients.
    void Button2Click();
    void Button3Click();
    void Button5Click();
    void Button10Click();
    void Button34Click();
    void D2M4KeyPress(char& Key);
    void D2M20KeyPress(char& Key);
    void D3M4KeyPress(char& Key);
    void D3M20KeyPress(char& Key);
    void D4M4KeyPress(char& Key);
    void D4M20KeyPress(char& Key);
    // Monitoring and custom HART command settings.
    void Button9Click();
    void Button17Click();
    void Button18Click();
    void Button11Click();
    void Button28Click();
    void Button22Click();
    void Button25Click();
    void Button19Click();

    // HART transparent mode.
    void Button7Click();
    void Button16Click();
    void Button14Click();
    void Button20Click();

    // MODBUS test and IEEE 754 calculator.
    void Button4Click();
    void Button13Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs a handler; an exception it raises (a failed conversion) is shown to
    // the engineer here rather than unwinding through Qt's event delivery.
    void Guarded(void (TForm1::*handler)());
    void WireHandlers();
    void SetupMenus();
    void SetupSideBySide();  // tform1_sidebyside.cpp: cross-check and trend entries
    void SetupPort();
    void WarnIfPortShared();
    void UpdateStatusLine();
    void SetupTraffic();
    void SaveTraffic();
    void LoadPictures();
    // Reply decoders run by Timer2Timer, one per request code family.
    void DecodeCommunicationReply();  // 201
    void DecodeSystemReply();         // 202
    void DecodeCurrentOutputReply();  // 203
    void DecodeModbusReply();         // 301
    void DecodeMonitoringReply();     // 501
    void DecodeHartDeviceReply();     // 100
    void DecodeHartCommandReply();    // 103
    // Keep a copy of a reply for the cross-check (tform1_capture.cpp); the
    // window's display is not touched.
    void CaptureModbusReply(const uint8_t* block, size_t length);
    void CaptureHartReply(std::span<const uint8_t> reply);

    std::unique_ptr<Ui::TForm1> ui;
};
