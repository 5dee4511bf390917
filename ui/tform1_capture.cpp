// Copies of the last HART command 3 reply and MODBUS test reply, for the
// cross-check and trend windows. They only read what the handlers received.
#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "ui/tform1.h"

void TForm1::CaptureModbusReply(const QByteArray& block, int code) {
    if (code != kCodeModbusTest) return;
    std::vector<uint8_t> reply(block.begin(), block.end());
    const ReplyVerdict verdict = JudgeReply(code, Link1->Current().frame, reply);
    Session->KeepModbusReply(std::move(reply), verdict, kFirstHoldingRegister + ModbusTestStart);
}

void TForm1::CaptureHartReply(std::span<const uint8_t> reply) {
    auto values = ParseHartCommand3Values(reply);
    if (values) Session->KeepHartValues(std::move(*values));
}
