// Copies of the last HART command 3 reply and MODBUS test reply, for the
// cross-check and trend windows. They only read what the handlers received.
#include "ui/tform1.h"

namespace {

constexpr int kCodeModbusTest = 302;

}  // namespace

void TForm1::CaptureModbusReply(const uint8_t* block, size_t length) {
    if (PendingRequest != kCodeModbusTest) return;
    Captured.modbus.assign(block, block + length);
    Captured.modbusFirstRegister = kFirstHoldingRegister + ModbusTestStart;
    Captured.modbusTime = QDateTime::currentDateTime();
    emit RepliesCaptured();
}

void TForm1::CaptureHartReply(std::span<const uint8_t> reply) {
    auto values = ParseHartCommand3Values(reply);
    if (!values) return;
    Captured.hart = std::move(values);
    Captured.hartTime = QDateTime::currentDateTime();
    emit RepliesCaptured();
}
