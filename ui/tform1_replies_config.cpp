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

bool TForm1::DecodeSystemReply(const std::string& reply) {
    return ApplyReply(*ui, DecodeSystemParameters(reply));
}

// The exchange ends only when the whole reply was taken in (the link's ReplyDecoded).
bool TForm1::DecodeCurrentOutputReply(const std::string& reply) {
    return ApplyReply(*ui, DecodeCurrentOutputParameters(reply));
}

bool TForm1::DecodeModbusReply(const std::string& reply) {
    return ApplyReply(*ui, DecodeModbusParameters(reply, ItemIndex(ui->ComboBox17)));
}

bool TForm1::DecodeMonitoringReply(const std::string& reply) {
    return ApplyReply(*ui, DecodeMonitoringCommand(reply));
}
