// Configuration reply decoding: system, current-output, MODBUS and monitoring replies.
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::DecodeSystemReply() {}
void TForm1::DecodeCurrentOutputReply() {}
void TForm1::DecodeModbusReply() {}
void TForm1::DecodeMonitoringReply() {}
