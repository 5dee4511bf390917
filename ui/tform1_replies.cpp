// Reply dispatcher: the 300 ms reply timer decodes the collected reply.
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::Timer2Timer() {
    Timer2->SetEnabled(false);
    switch (PendingRequest) {
        case 100: DecodeHartDeviceReply(); break;
        case 201: DecodeCommunicationReply(); break;
        case 103: DecodeHartCommandReply(); break;
        case 203: DecodeCurrentOutputReply(); break;
        case 202: DecodeSystemReply(); break;
        case 301: DecodeModbusReply(); break;
        case 501: DecodeMonitoringReply(); break;
        default: break;
    }
}

void TForm1::DecodeCommunicationReply() {
    // The version text is only shown; the exchange is complete.
    PendingRequest = 0;
    TimeoutKind = 0;
}
