// A serial device behind the port seam: the serial component (TComm) with its
// reader and writer threads, set up as the configurator always opens it (raw
// eight-bit bytes, no XON/XOFF flow control).
#pragma once

#include "serial/port.h"

class TtyPort : public Port {
public:
    TtyPort();
    ~TtyPort() override;

    Kind kind() const override { return Kind::SerialDevice; }
    void Open(const PortSettings& settings) override;
    void Close() override;
    bool IsOpen() const override;
    const PortSettings& settings() const override { return settings_; }
    bool ParityHeld() const override;
    bool Write(const void* data, uint16_t count) override;
    void SetReadInterval(uint32_t ms) override;
    uint32_t ReadInterval() const override;

    // The component itself, for the window's designed handlers and the
    // tests; its line settings are the port's to set.
    TComm* Comm() const { return comm_.get(); }

private:
    std::unique_ptr<TComm> comm_;
    PortSettings settings_;
};
