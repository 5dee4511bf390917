// Configuration reply decoding: system, current-output, MODBUS and monitoring replies.
#include "exchange/configreplies.h"
#include "protocol/strtoint.h"
#include "ui/configcontrols.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

// Writes what was decoded; where decoding stopped on a digit that is not a
// number, shows the standard conversion message. True when nothing failed.
bool ApplyReply(Ui::TForm1& form, const ConfigReply& reply) {
    for (const ConfigField& field : reply.fields) WriteConfigField(form, field);
    if (!reply.failedText) return true;
    ShowMessage(BytesText(NotAnIntegerMessage(*reply.failedText)));
    return false;
}

}  // namespace

void TForm1::DecodeSystemReply() { ApplyReply(*ui, DecodeSystemParameters(ReplyText)); }

void TForm1::DecodeCurrentOutputReply() {
    // The exchange ends only when the whole reply was taken in.
    if (ApplyReply(*ui, DecodeCurrentOutputParameters(ReplyText))) PendingRequest = 0;
}

void TForm1::DecodeModbusReply() {
    ApplyReply(*ui, DecodeModbusParameters(ReplyText, ItemIndex(ui->ComboBox17)));
}

void TForm1::DecodeMonitoringReply() { ApplyReply(*ui, DecodeMonitoringCommand(ReplyText)); }
