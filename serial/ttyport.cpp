#include "serial/ttyport.h"

TtyPort::TtyPort() : comm_(std::make_unique<TComm>()) {
    comm_->CommName = settings_.name;
    comm_->OnReceiveData = [this](TComm* sender, const uint8_t* data, uint16_t length) {
        // Posted before the port closed and delivered after: not a reply.
        if (!sender->IsOpen() || !OnBlock) return;
        OnBlock(data, length);
    };
    comm_->OnRequestHangup = [this](TComm*) {
        if (OnHangup) OnHangup();
    };
}

TtyPort::~TtyPort() {
    // The reader and writer must be gone before what they report to.
    comm_->ClosePort();
    comm_->OnReceiveData = nullptr;
    comm_->OnRequestHangup = nullptr;
}

void TtyPort::Open(const PortSettings& settings) {
    comm_->ClosePort();
    settings_ = settings;
    comm_->CommName = settings.name;
    comm_->SetBaudRate(settings.baudRate);
    // Parity is a plain store: it takes effect when the port opens.
    comm_->Parity = settings.parity;
    comm_->SetByteSize(settings.byteSize);
    comm_->SetStopBits(settings.stopBits);
    comm_->Rs485 = settings.rs485;
    comm_->SetOutx_XonXoffFlow(false);
    comm_->SetInx_XonXoffFlow(false);
    comm_->OpenPort();
}

void TtyPort::Close() { comm_->ClosePort(); }

bool TtyPort::IsOpen() const { return comm_->IsOpen(); }

bool TtyPort::ParityHeld() const { return comm_->ParityHeld(); }

bool TtyPort::Write(const void* data, uint16_t count) { return comm_->WriteData(data, count); }

void TtyPort::SetReadInterval(uint32_t ms) { comm_->SetReadIntervalTimeout(ms); }

uint32_t TtyPort::ReadInterval() const { return comm_->ReadIntervalTimeout(); }
