// TForm1, the main window. Its controls come from the designer form
// (tform1.ui, objectName = designer name). The serial line belongs to the link
// (session/link.h): handlers read controls, hand a frame and its request code
// to the link, and write the link's results into controls. Handlers are split
// by subsystem:
//   tform1.cpp            construction, the link's results to the window
//   tform1_link.cpp       opening and closing, the request pattern, timeouts
//   tform1_replies.cpp    reply timer: which decoder a reply goes to
//   tform1_replies_config.cpp  configuration reply decoding
//   tform1_config.cpp     configuration, current-output and monitoring commands
//   tform1_hart.cpp       HART frames and HART reply decoding
//   tform1_modbus.cpp     MODBUS test request and IEEE 754 calculator
//   tform1_wiring.cpp     designer handlers connected to their controls
//   tform1_menus.cpp      menu bar: File, View, Help (where additions are reached)
//   tform1_capture.cpp    copies of the last HART command 3 and MODBUS test replies
//   tform1_sidebyside.cpp View entries: cross-check dialog, trend window
//   tform1_session.cpp    what the additions reach of the window through its session
//   tform1_port.cpp       device list, vanished or shared device, status line
//   tform1_traffic.cpp    traffic log panel, View > Traffic, File > Save Traffic
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>

#include "exchange/echofilter.h"
#include "serial/tcomm.h"
#include "session/link.h"
#include "session/ttimer.h"
#include "session/windowrequest.h"
#include "session/windowsession.h"

namespace Ui {
class TForm1;
}
class QLineEdit;
class QMenu;
class QAction;
class TStatusLine;
class TrafficDock;
class TrafficLogModel;
class ModuleProfiles;
class JournalFollower;
class CrossCheckDialog;
class TrendWindow;
class HartInstrumentWindow;
class FindModuleDialog;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1* form() const { return ui.get(); }

    // The one owner of the serial line, and the window's request pattern on it.
    Link* const Link1;
    WindowRequest* const Requests;
    // What the additions (dialogs and windows of the menus) reach of the window.
    WindowSession* const Session;
    // The serial component behind the link (its line settings are the link's).
    TComm* const Comm1;
    TTimer* const Timer2;  // reply timer (300 ms): decodes the collected reply
    TTimer* const Timer3;  // reply timeout (1000 ms at start, 3000 ms once a request sets it)

    // The request state the handlers read, kept by the window's request pattern.
    static constexpr size_t kFrameBufferSize = WindowRequest::kFrameBufferSize;
    static constexpr size_t kTxStart = WindowRequest::kTxStart;  // transmit area: bytes 8..511
    static constexpr size_t kRxStart = WindowRequest::kRxStart;  // receive area: bytes 512..915
    static constexpr size_t kTxSize = WindowRequest::kTxSize;
    static constexpr size_t kRxSize = WindowRequest::kRxSize;
    static constexpr size_t kReplyTextMax = WindowRequest::kReplyTextMax;
    WindowRequest::FrameBufferArray& FrameBuffer() { return Requests->FrameBuffer(); }
    const WindowRequest::FrameBufferArray& FrameBuffer() const { return Requests->FrameBuffer(); }
    // Last received block, at most 255 bytes, zero bytes kept.
    std::string& ReplyText() { return Requests->ReplyText(); }
    const std::string& ReplyText() const { return Requests->ReplyText(); }
    int PendingRequest() const { return Requests->PendingRequest(); }  // 0 = none
    int TimeoutKind() const {
        return Requests->TimeoutKind();
    }  // 1 connection, 2 query, 3 setting, 4 HART
    uint8_t HartManufacturerId() const { return Requests->HartManufacturerId(); }

    TTimer* Timer4;  // delayed port close after the RS485 settings command
    bool PortOpen = false;
    // The kernel's RS-485 mode chosen for each device (Tools > RS-485 Mode of
    // the Port...), applied when that device is opened.
    std::map<std::string, TRs485> Rs485Ports;
    // How each device's adapter echo is handled (Tools > Adapter Echo), as
    // the RS-485 mode: applied when that device is opened; Auto unless chosen.
    std::map<std::string, EchoMode> EchoPorts;

    // Menus of the menu bar; additions add their actions to these.
    QMenu* menuFile = nullptr;
    QMenu* menuView = nullptr;
    QMenu* menuTools = nullptr;
    QMenu* menuHelp = nullptr;
    QAction* actionExit = nullptr;       // last entry of File
    TStatusLine* StatusLine = nullptr;   // port, line settings, open or closed, last reply
    ModuleProfiles* Profiles = nullptr;  // Read Module, profiles, Apply Profile to Module

    // Kept for the cross-check and the trend by the session, which says when.
    const LastReplies& Captured;
    int ModbusTestStart = 0;  // start address the last MODBUS test request carried

    // Traffic log, fed at every send, request, block, timeout, open, close and
    // hang-up; anything else that uses the port feeds it too.
    TrafficLogModel* Traffic = nullptr;
    TrafficDock* dockTraffic = nullptr;
    // The same traffic written to the journal file as it happens (View > Journal).
    JournalFollower* Journal = nullptr;

    // The common request pattern, shared by every request handler.
    void ClearTraffic();                          // empties Edit8 and Memo10
    std::string PutTx(const std::string& frame);  // copies frame into the transmit area
    // Shows `frame` in Edit8 and hands it to the link as request `code`.
    void SendRequest(const std::string& frame, int code, bool hexDisplay);
    // Closes Comm1; blocks still waiting from it are discarded with it.
    void CloseComm();
    // Shows a configuration query's reply in its controls, as the reply timer
    // does, for a reply a sequence collected; the link's state is not touched.
    void ShowConfigReply(int code, const std::string& reply);

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
    void FitToScreen();
    // Set once a close has waited for a held loop current to be released.
    bool closingAfterRelease_ = false;
    // Runs a handler; an exception it raises (a failed conversion) is shown to
    // the engineer here rather than unwinding through Qt's event delivery.
    void Guarded(void (TForm1::*handler)());
    void WireHandlers();
    void SetupMenus();
    void SetupSideBySide();  // tform1_sidebyside.cpp: cross-check and trend entries
    void SetupSession();     // tform1_session.cpp
    // The Open/Close button's whole work: the port, then the shared-port
    // warning and the status line.
    void PortButtonClick();
    // Shows the addition `kept`, created on first use.
    template <typename Window>
    void ShowAddition(QPointer<Window>& kept) {
        if (!kept) kept = new Window(Session, this);
        kept->show();
        kept->raise();
        kept->activateWindow();
    }
    void SetupPort();
    void WarnIfPortShared();
    void UpdateStatusLine();
    void SetupTraffic();
    void SaveTraffic();
    void SetupJournal();  // tform1_journal.cpp: the traffic journal and its View entries
    void LoadPictures();
    // Reply decoders run by Timer2Timer, one per request code family; each
    // says whether it took the reply whole.
    bool DecodeConfigReply(int code, const std::string& reply);
    bool DecodeSystemReply(const std::string& reply);
    bool DecodeCurrentOutputReply(const std::string& reply);
    bool DecodeModbusReply(const std::string& reply);
    bool DecodeMonitoringReply(const std::string& reply);
    void DecodeHartDeviceReply();
    void DecodeHartCommandReply();
    // The window's block after its wait: the Receive Buffer, and the copies.
    void ShowBlock(const QByteArray& block, int code, const QString& shown);
    // Keep a copy of a reply for the cross-check (tform1_capture.cpp); the
    // window's display is not touched.
    void CaptureModbusReply(const QByteArray& block, int code);
    void CaptureHartReply(std::span<const uint8_t> reply);

    QPointer<CrossCheckDialog> crossCheck_;
    QPointer<TrendWindow> trend_;
    QPointer<HartInstrumentWindow> hartInstrument_;
    QPointer<FindModuleDialog> findModule_;

    std::unique_ptr<Ui::TForm1> ui;
};
