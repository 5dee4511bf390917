// The port seam: what the link needs of a line, whatever carries it. A serial
// device (TtyPort over TComm) is one kind, a serial device server on the
// network (NetPort: rfc2217:// or socket://) the other; each kind keeps its
// own threads and hands its blocks and its hang-up to the main thread, in
// order. MakePort (serial/makeport.h) picks the kind by the name.
//
// Only the link holds a Port and changes its settings: everybody else asks
// the link (session/link.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "serial/tcomm.h"

// What a line is opened with.
struct PortSettings {
    std::string name = "COM2";  // as typed: "COM2", a device path or rfc2217:// / socket://
    uint32_t baudRate = 9600;
    TParity parity = TParity::None;
    TByteSize byteSize = TByteSize::_8;
    TStopBits stopBits = TStopBits::_1;
    TRs485 rs485;
    bool operator==(const PortSettings&) const = default;
};

class Port {
public:
    enum class Kind { SerialDevice, Network };

    virtual ~Port() = default;
    virtual Kind kind() const = 0;

    // Opens with `settings` (an open port is closed first); throws
    // ECommsError with the cause. A failed opening leaves the port closed
    // with the settings asked for, so the caller can say what was tried.
    virtual void Open(const PortSettings& settings) = 0;
    virtual void Close() = 0;  // no-op when closed
    virtual bool IsOpen() const = 0;
    virtual const PortSettings& settings() const = 0;
    // Whether the open line carries the parity asked for (a pseudo-terminal
    // drops it); true while closed.
    virtual bool ParityHeld() const = 0;

    // False when refused (closed, or the queue full).
    virtual bool Write(const void* data, uint16_t count) = 0;
    // How long the line stays quiet before what came is delivered as a block.
    virtual void SetReadInterval(uint32_t ms) = 0;
    virtual uint32_t ReadInterval() const = 0;

    // Whether the line's speed and parity change on the open port
    // (ChangeLine) rather than by closing and opening it again.
    virtual bool ChangesLineOpen() const { return false; }
    // The open port at `settings`' line; throws ECommsError, the port then
    // closed with the settings asked for.
    virtual void ChangeLine(const PortSettings& settings) {
        Close();
        Open(settings);
    }
    // Whether the port can take the line to another speed or parity at all
    // (a raw TCP connection keeps the server's own settings).
    virtual bool FollowsLineChanges() const { return true; }
    // The time a byte takes to the line and back beyond the line itself (the
    // network's round trip); the link adds it to the answer time.
    virtual std::chrono::milliseconds RoundTrip() const { return std::chrono::milliseconds(0); }

    // Raised on the main thread. A block posted before a close and delivered
    // after it is not passed on.
    std::function<void(const uint8_t* data, uint16_t length)> OnBlock;
    std::function<void()> OnHangup;  // the first report of a device that vanished
};
