// TComm: one serial port, its line settings and timeouts, a reader and a writer
// thread. Threads never touch this object: they post notifications to
// NotifyWindow, which raises the events below on the main thread in order.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "serial/openfailure.h"

class TReadThread;
class TWriteThread;
class TNotifyWindow;
struct TReadTimeouts;
struct TLineSettings;

// The kernel's RS-485 mode of a UART whose driver switches the transceiver:
// RTS raised while sending, with delays around it. Off by default; a USB
// adapter that switches by itself needs none.
struct TRs485 {
    bool enabled = false;
    uint32_t delayBeforeMs = 0;  // RTS raised this long before the first bit
    uint32_t delayAfterMs = 0;   // and kept this long after the last
    bool operator==(const TRs485&) const = default;
};

class ECommsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    ECommsError(const std::string& message, TOpenFailure failure)
        : std::runtime_error(message),
          Failure(std::make_shared<const TOpenFailure>(std::move(failure))) {}
    // Why an opening failed, where the system told; null otherwise.
    std::shared_ptr<const TOpenFailure> Failure;
};

enum class TParity { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class TStopBits { _1 = 0, _1_5 = 1, _2 = 2 };
enum class TByteSize { _5 = 0, _6 = 1, _7 = 2, _8 = 3 };
enum class TDtrControl { DtrEnable = 0, DtrDisable = 1, DtrHandshake = 2 };
enum class TRtsControl {
    RtsEnable = 0,
    RtsDisable = 1,
    RtsHandshake = 2,
    RtsTransmissionAvailable = 3
};

// Notification numbers (WM_USER + 1 … + 5), kept for the trace they leave.
enum : unsigned {
    MSG_RX_DATA = 1025,
    MSG_RX_ERROR = 1026,
    MSG_HANGUP = 1027,
    MSG_MODEM_STATE = 1028,
    MSG_TX_EMPTY = 1029,
};

// Windows-style line error flags reported through OnReceiveError.
enum : uint32_t {
    CE_RXOVER = 0x1,
    CE_OVERRUN = 0x2,
    CE_RXPARITY = 0x4,
    CE_FRAME = 0x8,
    CE_BREAK = 0x10
};

class TComm;
using TReceiveDataEvent =
    std::function<void(TComm* Sender, const uint8_t* Buffer, uint16_t BufferLength)>;
using TReceiveErrorEvent = std::function<void(TComm* Sender, uint32_t EventMask)>;
using TModemStateChangeEvent = std::function<void(TComm* Sender, uint32_t ModemEvent)>;
using TNotifyEvent = std::function<void(TComm* Sender)>;
using TSendDataEmptyEvent = std::function<void(TComm* Sender)>;

// "COM1" … "COM9" name /dev/ttyS0 … /dev/ttyS8; a text starting with "/" is a
// device path used as typed. Anything else is returned unchanged (and fails to open).
std::string ResolvePortName(const std::string& commName);

class TComm : public QObject {
    Q_OBJECT
public:
    explicit TComm(QObject* owner = nullptr);
    ~TComm() override;  // closes an open port first: no thread outlives us

    void OpenPort();   // throws ECommsError
    void ClosePort();  // no-op when closed
    bool WriteData(const void* data, uint16_t count);
    bool IsOpen() const;
    // Whether the open line carries the parity asked for: a pseudo-terminal
    // drops the parity flag and stays at no parity. True while closed.
    bool ParityHeld() const;
    // Applied when the port opens (an open port is reopened by the caller); a
    // driver that refuses it fails the opening with the ioctl's error.
    TRs485 Rs485;

    // Published properties. Setters compare first; line settings and timeouts
    // are re-applied to an open port. CommName and Parity are plain stores.
    std::string CommName;
    TParity Parity = TParity::None;

    uint32_t BaudRate() const { return baudRate_; }
    void SetBaudRate(uint32_t v);
    bool ParityCheck() const { return parityCheck_; }
    void SetParityCheck(bool v);
    bool Outx_CtsFlow() const { return outxCtsFlow_; }
    void SetOutx_CtsFlow(bool v);
    bool Outx_DsrFlow() const { return outxDsrFlow_; }
    void SetOutx_DsrFlow(bool v);
    TDtrControl DtrControl() const { return dtrControl_; }
    void SetDtrControl(TDtrControl v);
    bool DsrSensitivity() const { return dsrSensitivity_; }
    void SetDsrSensitivity(bool v);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool v);
    bool Outx_XonXoffFlow() const { return outxXonXoffFlow_; }
    void SetOutx_XonXoffFlow(bool v);
    bool Inx_XonXoffFlow() const { return inxXonXoffFlow_; }
    void SetInx_XonXoffFlow(bool v);
    bool ReplaceWhenParityError() const { return replaceWhenParityError_; }
    void SetReplaceWhenParityError(bool v);
    bool IgnoreNullChar() const { return ignoreNullChar_; }
    void SetIgnoreNullChar(bool v);
    TRtsControl RtsControl() const { return rtsControl_; }
    void SetRtsControl(TRtsControl v);
    uint16_t XonLimit() const { return xonLimit_; }
    void SetXonLimit(uint16_t v);
    uint16_t XoffLimit() const { return xoffLimit_; }
    void SetXoffLimit(uint16_t v);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize v);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits v);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char v);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char v);
    char ReplacedChar() const { return replacedChar_; }
    void SetReplacedChar(char v);
    uint32_t ReadIntervalTimeout() const { return readIntervalTimeout_; }
    void SetReadIntervalTimeout(uint32_t v);
    uint32_t ReadTotalTimeoutMultiplier() const { return readTotalTimeoutMultiplier_; }
    void SetReadTotalTimeoutMultiplier(uint32_t v);
    uint32_t ReadTotalTimeoutConstant() const { return readTotalTimeoutConstant_; }
    void SetReadTotalTimeoutConstant(uint32_t v);
    uint32_t WriteTotalTimeoutMultiplier() const { return writeTotalTimeoutMultiplier_; }
    void SetWriteTotalTimeoutMultiplier(uint32_t v);
    uint32_t WriteTotalTimeoutConstant() const { return writeTotalTimeoutConstant_; }
    void SetWriteTotalTimeoutConstant(uint32_t v);

    // Published events, raised on the main thread when assigned.
    TReceiveDataEvent OnReceiveData;
    TReceiveErrorEvent OnReceiveError;
    TModemStateChangeEvent OnModemStateChange;
    TNotifyEvent OnRequestHangup;
    TSendDataEmptyEvent OnSendDataEmpty;

private:
    friend class TNotifyWindow;
    void HandleNotifyMessage(unsigned msg, uintptr_t wParam, void* lParam);
    void ApplyLineSettings();
    void ApplyTimeouts();
    void ApplyRs485();
    void StopReader();
    void StopWriter();
    void ReleasePort();  // closes the descriptors of an opening, threads already gone
    TLineSettings CurrentLineSettings() const;
    template <typename T>
    void SetLineValue(T& field, T value);
    void SetTimeoutValue(uint32_t& field, uint32_t value);

    // Private state (the serial component's own; the threads get copies of the
    // descriptor and the close event, never a pointer to this object).
    std::unique_ptr<TReadThread> Reader;
    std::unique_ptr<TWriteThread> Writer;
    int PortHandle = -1;
    int CloseEvent = -1;
    std::shared_ptr<void> Rs485Before;  // the driver's RS-485 state before ours, put back at close
    TNotifyWindow* NotifyWindow = nullptr;  // child object, deleted before the rest of us
    std::shared_ptr<std::atomic<bool>> SendQueueEmpty;
    std::shared_ptr<TReadTimeouts> Timeouts;  // read live by the reader

    uint32_t baudRate_ = 9600;
    bool parityCheck_ = false;
    bool outxCtsFlow_ = false;
    bool outxDsrFlow_ = false;
    TDtrControl dtrControl_ = TDtrControl::DtrEnable;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = true;
    bool outxXonXoffFlow_ = true;
    bool inxXonXoffFlow_ = true;
    bool replaceWhenParityError_ = false;
    bool ignoreNullChar_ = false;
    TRtsControl rtsControl_ = TRtsControl::RtsEnable;
    uint16_t xonLimit_ = 500;
    uint16_t xoffLimit_ = 500;
    TByteSize byteSize_ = TByteSize::_8;
    TStopBits stopBits_ = TStopBits::_1;
    char xonChar_ = 0x11;
    char xoffChar_ = 0x13;
    char replacedChar_ = 0x00;
    uint32_t readIntervalTimeout_ = 100;
    uint32_t readTotalTimeoutMultiplier_ = 0;
    uint32_t readTotalTimeoutConstant_ = 0;
    uint32_t writeTotalTimeoutMultiplier_ = 0;
    uint32_t writeTotalTimeoutConstant_ = 0;
};
