// Reply dispatcher: the 300 ms reply timer decodes the collected reply.
#include "exchange/requestcodes.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::Timer2Timer() {
    const int code = Requests->TakeReplyTimer();
    bool complete = true;
    switch (code) {
        case kCodeHartCommand0:
            DecodeHartDeviceReply();
            break;
        case kCodeHartCommand3:
            DecodeHartCommandReply();
            break;
        default:
            complete = DecodeConfigReply(code, ReplyText());
            break;
    }
    Requests->ReplyDecoded(code, complete);
}

void TForm1::ShowConfigReply(int code, const std::string& reply) { DecodeConfigReply(code, reply); }

bool TForm1::DecodeConfigReply(int code, const std::string& reply) {
    switch (code) {
        case kCodeSystemQuery:
            return DecodeSystemReply(reply);
        case kCodeCurrentOutputQuery:
            return DecodeCurrentOutputReply(reply);
        case kCodeModbusQuery:
            return DecodeModbusReply(reply);
        case kCodeMonitoringQuery:
            return DecodeMonitoringReply(reply);
        default:
            return true;  // the version text is only shown
    }
}
