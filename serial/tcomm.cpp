#include "serial/tcomm.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <linux/serial.h>

#include <cerrno>
#include <exception>

#include "serial/eventfd.h"
#include "serial/linesettings.h"
#include "serial/linespeed.h"
#include "serial/notifywindow.h"
#include "serial/readthread.h"
#include "serial/readtimeouts.h"
#include "serial/writethread.h"

namespace {

enum class TOpenError { AlreadyOpen, CannotOpen, NotComm, NoEvent, NoReadThread, NoWriteThread };

const char* OpenErrorText(TOpenError e) {
    switch (e) {
        case TOpenError::AlreadyOpen:
            return "This serial port already opened";
        case TOpenError::CannotOpen:
            return "Error opening serial port";
        case TOpenError::NotComm:
            return "Not a serial port";  // the failure's own sentence stands in for it
        case TOpenError::NoEvent:
            return "Unable to create event";
        case TOpenError::NoReadThread:
            return "Unable to create read thread";
        case TOpenError::NoWriteThread:
            return "Unable to create write thread";
    }
    return "";
}

[[noreturn]] void Fail(TOpenError e) { throw ECommsError(OpenErrorText(e)); }

// The message stays the one callers know; the failure says why.
// A file or a device of another kind gets a sentence that names what it is.
[[noreturn]] void Fail(TOpenError e, TOpenStep step, int error, const std::string& path) {
    TOpenFailure failure = DescribeOpenFailure(step, error, path);
    const std::string message =
        e == TOpenError::NotComm ? NotSerialPortText(failure) : OpenErrorText(e);
    throw ECommsError(message, std::move(failure));
}

// Opens the device for this process alone. TIOCEXCL keeps other openers out but
// not root; the flock also stops root and a second opening in this process.
int OpenExclusive(const std::string& path) {
    if (path.empty() || path[0] != '/') Fail(TOpenError::CannotOpen, TOpenStep::Name, 0, path);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) Fail(TOpenError::CannotOpen, TOpenStep::Open, errno, path);
    if (!isatty(fd)) {
        const int error = errno;
        close(fd);
        Fail(TOpenError::NotComm, TOpenStep::NotTerminal, error, path);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        close(fd);  // before looking for holders, so this opening is not one of them
        Fail(TOpenError::CannotOpen, TOpenStep::Lock, error, path);
    }
    return fd;
}

// The rate goes on its own after the other settings, so one the driver
// refuses (parity on a pseudo-terminal) does not take the speed back with
// it. Rates without a Bxxxx constant (14400, 56000, 250000) go by number.
void ApplySpeed(int fd, uint32_t baud) {
    speed_t speed;
    if (!SpeedForBaud(baud, &speed)) {
        SetExactSpeed(fd, baud);
        return;
    }
    termios t{};
    if (tcgetattr(fd, &t) != 0 || (cfgetospeed(&t) == speed && cfgetispeed(&t) == speed)) return;
    cfsetspeed(&t, speed);
    tcsetattr(fd, TCSANOW, &t);
}

// Modem lines fail with ENOTTY on a pseudo-terminal, which has none: ignored.
void SetModemLine(int fd, int line, bool on) { ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line); }

}  // namespace

std::string ResolvePortName(const std::string& commName) {
    if (commName.size() == 4 && commName.compare(0, 3, "COM") == 0 && commName[3] >= '1' &&
        commName[3] <= '9') {
        return "/dev/ttyS" + std::string(1, static_cast<char>(commName[3] - 1));
    }
    return commName;
}

TComm::TComm(QObject* owner)
    : QObject(owner),
      CommName("COM2"),
      SendQueueEmpty(std::make_shared<std::atomic<bool>>(true)),
      Timeouts(std::make_shared<TReadTimeouts>()) {
    NotifyWindow = new TNotifyWindow(this);
}

TComm::~TComm() {
    ClosePort();
    // Discards what the threads posted and was not delivered yet.
    delete NotifyWindow;
}

bool TComm::IsOpen() const { return PortHandle >= 0; }

bool TComm::ParityHeld() const {
    termios t{};
    if (!IsOpen() || tcgetattr(PortHandle, &t) != 0) return true;
    return ((t.c_cflag & PARENB) != 0) == (Parity != TParity::None);
}

void TComm::OpenPort() {
    if (IsOpen()) Fail(TOpenError::AlreadyOpen);
    // The driver's queue sizes are its own on Linux: nothing to set up.
    PortHandle = OpenExclusive(ResolvePortName(CommName));
    tcflush(PortHandle, TCIOFLUSH);
    SendQueueEmpty->store(true);

    // Raw first, so a setting the driver refuses falls back to a raw line and
    // never to the echoing line discipline the device came with.
    termios t{};
    if (tcgetattr(PortHandle, &t) == 0) {
        MakeRaw(t);
        tcsetattr(PortHandle, TCSANOW, &t);
    }
    ApplyTimeouts();
    ApplyLineSettings();
    // A rate the driver does not take would leave the line at the previous
    // speed, talking to the module at a speed nobody chose.
    if (LineSpeed(PortHandle).value_or(baudRate_) != baudRate_) {
        ReleasePort();
        TOpenFailure failure = DescribeOpenFailure(TOpenStep::Speed, 0, ResolvePortName(CommName));
        failure.baud = baudRate_;
        throw ECommsError(OpenErrorText(TOpenError::CannotOpen), std::move(failure));
    }

    ApplyRs485();

    CloseEvent = CreateEventFd();
    if (CloseEvent < 0) {
        const int error = errno;
        ReleasePort();
        Fail(TOpenError::NoEvent, TOpenStep::Resources, error, ResolvePortName(CommName));
    }
    try {
        Reader = std::make_unique<TReadThread>(PortHandle, CloseEvent, NotifyWindow, Timeouts);
        Reader->Start();
    } catch (const std::exception&) {
        Reader.reset();
        ReleasePort();
        Fail(TOpenError::NoReadThread, TOpenStep::Resources, 0, ResolvePortName(CommName));
    }
    try {
        Writer =
            std::make_unique<TWriteThread>(PortHandle, CloseEvent, NotifyWindow, SendQueueEmpty);
        Writer->Start();
    } catch (const std::exception&) {
        StopReader();
        Writer.reset();
        ReleasePort();
        Fail(TOpenError::NoWriteThread, TOpenStep::Resources, 0, ResolvePortName(CommName));
    }
}

void TComm::ClosePort() {
    if (!IsOpen()) return;
    StopReader();
    StopWriter();
    // Output still queued would make close() wait for it to drain (up to 30 s).
    tcflush(PortHandle, TCOFLUSH);
    ReleasePort();
}

// The driver's mode is the tty's, like the exclusive flag: asked for after
// the line settings, read back, and the previous mode put back at close.
void TComm::ApplyRs485() {
    if (!Rs485.enabled) return;
    const std::string path = ResolvePortName(CommName);
    auto before = std::make_shared<serial_rs485>();
    if (ioctl(PortHandle, TIOCGRS485, before.get()) != 0) {
        const int error = errno;
        ReleasePort();
        Fail(TOpenError::CannotOpen, TOpenStep::Rs485, error, path);
    }
    serial_rs485 wanted{};
    wanted.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
    wanted.delay_rts_before_send = Rs485.delayBeforeMs;
    wanted.delay_rts_after_send = Rs485.delayAfterMs;
    if (ioctl(PortHandle, TIOCSRS485, &wanted) != 0) {
        const int error = errno;
        ReleasePort();
        Fail(TOpenError::CannotOpen, TOpenStep::Rs485, error, path);
    }
    Rs485Before = before;
    serial_rs485 now{};
    if (ioctl(PortHandle, TIOCGRS485, &now) != 0 || !(now.flags & SER_RS485_ENABLED) ||
        !(now.flags & SER_RS485_RTS_ON_SEND)) {
        ReleasePort();
        Fail(TOpenError::CannotOpen, TOpenStep::Rs485, 0, path);
    }
}

void TComm::ReleasePort() {
    if (Rs485Before) {
        ioctl(PortHandle, TIOCSRS485, static_cast<serial_rs485*>(Rs485Before.get()));
        Rs485Before.reset();
    }
    ioctl(PortHandle, TIOCNXCL);  // the flag belongs to the tty and outlives our descriptor
    if (CloseEvent >= 0) close(CloseEvent);
    CloseEvent = -1;
    close(PortHandle);
    PortHandle = -1;
}

// The stops join without a time limit: every wait of both threads includes the
// close event, so they end at once. A thread given up on would go on using a
// closed (maybe reused) descriptor and a deleted notify window.
void TComm::StopReader() {
    if (!Reader) return;
    SetEventFd(CloseEvent);
    tcflush(PortHandle, TCIFLUSH);
    Reader->Join();
    Reader.reset();
}

void TComm::StopWriter() {
    if (!Writer) return;
    SetEventFd(CloseEvent);
    tcflush(PortHandle, TCOFLUSH);
    SendQueueEmpty->store(true);
    Writer->Join();
    Writer.reset();
}

bool TComm::WriteData(const void* data, uint16_t count) {
    if (!Writer || count == 0 || data == nullptr) return false;
    return Writer->Post(static_cast<const uint8_t*>(data), count);
}

void TComm::HandleNotifyMessage(unsigned msg, uintptr_t wParam, void* lParam) {
    // Handlers are copied first: one may reassign itself while it runs.
    const auto flags = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lParam));
    switch (msg) {
        case MSG_RX_DATA:
            if (auto h = OnReceiveData)
                h(this, static_cast<const uint8_t*>(lParam), static_cast<uint16_t>(wParam));
            break;
        case MSG_RX_ERROR:
            if (auto h = OnReceiveError) h(this, flags);
            break;
        case MSG_HANGUP:
            if (auto h = OnRequestHangup) h(this);
            break;
        case MSG_MODEM_STATE:
            if (auto h = OnModemStateChange) h(this, flags);
            break;
        case MSG_TX_EMPTY:
            if (auto h = OnSendDataEmpty) h(this);
            break;
        default:
            break;
    }
}

TLineSettings TComm::CurrentLineSettings() const {
    TLineSettings s;
    s.baudRate = baudRate_;
    s.byteSize = byteSize_;
    s.parity = Parity;
    s.stopBits = stopBits_;
    s.parityCheck = parityCheck_;
    s.hardwareFlow = outxCtsFlow_ || rtsControl_ == TRtsControl::RtsHandshake;
    s.xonXoffOut = outxXonXoffFlow_;
    s.xonXoffIn = inxXonXoffFlow_;
    s.xonChar = xonChar_;
    s.xoffChar = xoffChar_;
    return s;
}

// A setting the driver refuses leaves the previous ones in force, silently:
// tcsetattr may apply part of a request, so the result is read back.
void TComm::ApplyLineSettings() {
    termios before{};
    if (tcgetattr(PortHandle, &before) != 0) return;
    termios wanted = before;
    EncodeLineSettings(CurrentLineSettings(), wanted);
    tcsetattr(PortHandle, TCSANOW, &wanted);
    termios now{};
    if (tcgetattr(PortHandle, &now) == 0 && !SameLineSettings(now, wanted))
        tcsetattr(PortHandle, TCSANOW, &before);
    ApplySpeed(PortHandle, baudRate_);

    // Linux has no DTR handshake: the line stays raised. With RTS handshake
    // the driver owns RTS.
    SetModemLine(PortHandle, TIOCM_DTR, dtrControl_ != TDtrControl::DtrDisable);
    if (rtsControl_ != TRtsControl::RtsHandshake)
        SetModemLine(PortHandle, TIOCM_RTS, rtsControl_ != TRtsControl::RtsDisable);
}

// Write timeouts are kept but do nothing: a block is always written
// completely, and a write that timed out would only be retried.
void TComm::ApplyTimeouts() {
    Timeouts->interval.store(readIntervalTimeout_);
    Timeouts->multiplier.store(readTotalTimeoutMultiplier_);
    Timeouts->constant.store(readTotalTimeoutConstant_);
}

template <typename T>
void TComm::SetLineValue(T& field, T value) {
    if (field == value) return;
    field = value;
    if (IsOpen()) ApplyLineSettings();
}

void TComm::SetTimeoutValue(uint32_t& field, uint32_t value) {
    if (field == value) return;
    field = value;
    if (IsOpen()) ApplyTimeouts();
}

void TComm::SetBaudRate(uint32_t v) { SetLineValue(baudRate_, v); }
void TComm::SetParityCheck(bool v) { SetLineValue(parityCheck_, v); }
void TComm::SetOutx_CtsFlow(bool v) { SetLineValue(outxCtsFlow_, v); }
void TComm::SetOutx_DsrFlow(bool v) { SetLineValue(outxDsrFlow_, v); }
void TComm::SetDtrControl(TDtrControl v) { SetLineValue(dtrControl_, v); }
void TComm::SetDsrSensitivity(bool v) { SetLineValue(dsrSensitivity_, v); }
void TComm::SetTxContinueOnXoff(bool v) { SetLineValue(txContinueOnXoff_, v); }
void TComm::SetOutx_XonXoffFlow(bool v) { SetLineValue(outxXonXoffFlow_, v); }
void TComm::SetInx_XonXoffFlow(bool v) { SetLineValue(inxXonXoffFlow_, v); }
void TComm::SetReplaceWhenParityError(bool v) { SetLineValue(replaceWhenParityError_, v); }
void TComm::SetIgnoreNullChar(bool v) { SetLineValue(ignoreNullChar_, v); }
void TComm::SetRtsControl(TRtsControl v) { SetLineValue(rtsControl_, v); }
void TComm::SetXonLimit(uint16_t v) { SetLineValue(xonLimit_, v); }
void TComm::SetXoffLimit(uint16_t v) { SetLineValue(xoffLimit_, v); }
void TComm::SetByteSize(TByteSize v) { SetLineValue(byteSize_, v); }
void TComm::SetStopBits(TStopBits v) { SetLineValue(stopBits_, v); }
void TComm::SetXonChar(char v) { SetLineValue(xonChar_, v); }
void TComm::SetXoffChar(char v) { SetLineValue(xoffChar_, v); }
void TComm::SetReplacedChar(char v) { SetLineValue(replacedChar_, v); }
void TComm::SetReadIntervalTimeout(uint32_t v) { SetTimeoutValue(readIntervalTimeout_, v); }
void TComm::SetReadTotalTimeoutMultiplier(uint32_t v) {
    SetTimeoutValue(readTotalTimeoutMultiplier_, v);
}
void TComm::SetReadTotalTimeoutConstant(uint32_t v) {
    SetTimeoutValue(readTotalTimeoutConstant_, v);
}
void TComm::SetWriteTotalTimeoutMultiplier(uint32_t v) {
    SetTimeoutValue(writeTotalTimeoutMultiplier_, v);
}
void TComm::SetWriteTotalTimeoutConstant(uint32_t v) {
    SetTimeoutValue(writeTotalTimeoutConstant_, v);
}
