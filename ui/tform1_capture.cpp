// Copies of the last HART command 3 reply and MODBUS test reply, for the
// cross-check and trend windows. They only read what the handlers received.
#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "ui/tform1.h"

void TForm1::CaptureModbusReply(const QByteArray& block, int code) {
    if (code != kCodeModbusTest) return;
    Captured.modbus.assign(block.begin(), block.end());
    Captured.modbusVerdict = JudgeReply(code, Link1->Current().frame, Captured.modbus);
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
