// What the window's additions (the cross-check, the trend, Find Module, the
// HART instrument) need of the main window, without its controls: the link
// and the window's request pattern on it, the port opened or closed as the
// window's Open button does it, the replies the window kept, the loop check,
// and the settings the window's controls hold, read as plain values. The
// window installs how the port button, the port's state and the settings are
// had; where an addition writes back (Find Module's "Use") the session says
// so and the window writes its own controls. QtCore only.
//
//   session->EnsurePortOpen();             // as the Open button, message and all
//   const WindowSettings s = session->Settings();
//   session->UseHartPollingAddress(5);     // the window sets its HART Address
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "exchange/crosscheck.h"
#include "session/lastreplies.h"

class Link;
class LoopCheckJob;
class WindowRequest;

// The window's settings the additions read, as the controls hold them. Texts
// are as typed (a number is converted, and refused, where it is used); lists
// are item indexes, -1 where the text typed is no item.
struct WindowSettings {
    // HART transparent mode.
    QString preamble;  // Preamble Length
    int master = 0;    // HART Command Mode: 0 primary master, 1 secondary
    // The MODBUS test request.
    QString modbusSlave;  // Modbus Slave Address
    QString modbusStart;  // Modbus Data Start Address
    QString modbusCount;  // Read Data Length
    // The float byte order of each module variable, and the orders' names as
    // the lists offer them.
    std::array<int, kModuleVariables> byteOrders{};
    QStringList byteOrderNames;
    // The coefficient mode and the coefficients of variables 1 to 4.
    int coefficientMode = 0;
    QString coefficient1;
    std::array<QString, 3> coefficients;  // variables 2, 3 and 4
};

class WindowSession : public QObject {
    Q_OBJECT
public:
    WindowSession(Link* link, WindowRequest* requests, QObject* parent = nullptr);

    Link* link() const { return link_; }
    WindowRequest* requests() const { return requests_; }

    // ---- the port, as the window's Open/Close button has it ----
    // What pressing the button does (it opens a closed port, closes an open
    // one, each with its messages), and whether the window counts the port
    // open. Without them the port is the link's, and nothing opens it.
    void SetPortButton(std::function<void()> press) { pressPortButton_ = std::move(press); }
    void SetPortOpenQuery(std::function<bool()> open) { portOpen_ = std::move(open); }
    bool PortOpen() const;
    // Opens a closed port as the Open button does; whether it is open after.
    bool EnsurePortOpen();
    // Closes an open port as the Close button does.
    void ClosePort();

    // ---- the window's settings ----
    void SetSettingsSource(std::function<WindowSettings()> read) { settings_ = std::move(read); }
    WindowSettings Settings() const;
    // A control behind Settings() changed: settingsChanged follows.
    void NotifySettingsChanged() { emit settingsChanged(); }

    // ---- what an addition writes back into the window ----
    void UseLineSettings(uint32_t baudRate, int parityItem) {
        emit lineSettingsUsed(baudRate, parityItem);
    }
    void UseHartPollingAddress(int address) { emit hartPollingAddressUsed(address); }

    // ---- the replies the window kept ----
    const LastReplies& Captured() const { return captured_; }
    // Keeps a MODBUS test reply, judged against its request, with the time
    // now and who asked for it.
    void KeepModbusReply(std::vector<uint8_t> block, const ReplyVerdict& verdict,
                         int firstRegister, const QString& source = kWindowSource);
    // Keeps the values of a HART command 3 reply, with the time now.
    void KeepHartValues(HartDynamicValues values, const QString& source = kWindowSource);
    static inline const QString kWindowSource = QStringLiteral("the window's request");

    // The loop check of the HART instrument. It outlives the window that
    // started it, so a window closed mid-check still leaves fixed current
    // mode; the main window's close and a certificate reach it here.
    LoopCheckJob* LoopCheck() const { return loopCheck_; }

signals:
    void repliesCaptured();
    void settingsChanged();
    void lineSettingsUsed(uint32_t baudRate, int parityItem);
    void hartPollingAddressUsed(int address);

private:
    Link* link_;
    WindowRequest* requests_;
    LoopCheckJob* loopCheck_;
    LastReplies captured_;
    std::function<void()> pressPortButton_;
    std::function<bool()> portOpen_;
    std::function<WindowSettings()> settings_;
};
