// Configuration commands: queries, set commands, current output, coefficients,
// monitoring and custom HART command settings.
#include <string>
#include <string_view>

#include "exchange/requestcodes.h"
#include "protocol/configframes.h"
#include "protocol/fieldencodings.h"
#include "protocol/rangekeyfilter.h"
#include "protocol/strtoint.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

enum class TxDisplay { Text, Hex };

// Shows and sends a finished frame as request `code`, timed as the request
// table says. Callers build the whole frame first, so a failed conversion
// sends nothing and leaves the pending request alone.
void Send(TForm1& form, const std::string& frame, int code, TxDisplay display) {
    form.SendRequest(frame, code, display == TxDisplay::Hex);
}

// The common sequence of a fixed-layout command, built in the transmit area.
void SendFixed(TForm1& form, const std::string& frame, int code,
               TxDisplay display = TxDisplay::Text) {
    Send(form, form.PutTx(frame), code, display);
}

std::string Text(const QLineEdit* edit) { return FieldBytes(edit); }
std::string Text(const QComboBox* combo) { return FieldBytes(combo); }

// A row of raw command bytes typed as hexadecimal text.
void SendPayload(TForm1& form, std::string_view key, const std::string& onDigit,
                 const QLineEdit* bytesEdit) {
    form.ClearTraffic();
    const HexList list = ReadHexList(Text(bytesEdit));
    if (list.error != HexListError::None) {
        ShowMessage(HexListMessage(list.error));
        return;
    }
    SendFixed(form, PayloadFrame(key, onDigit, list.bytes), kCodeSet, TxDisplay::Hex);
}

void SendRange(TForm1& form, int output, const QLineEdit* low4mA, const QLineEdit* high20mA) {
    // Assembled as a string, outside the transmit area: the texts have no limit.
    const std::string frame = RangeFrame(output, Text(low4mA), Text(high20mA));
    form.ClearTraffic();
    Send(form, frame, kCodeRangeSet, TxDisplay::Text);
}

void FilterRangeKey(char& key, const QLineEdit* edit) {
    // Only the length counts here, so any text will do.
    if (!RangeKeyAccepted(key, TextBytes(edit->text()))) key = 0;
}

}  // namespace

// Queries.
void TForm1::Button23Click() {
    ClearTraffic();
    SendFixed(*this, QueryFrame(kQuerySystem), kCodeSystemQuery);
}

void TForm1::Button8Click() {
    ClearTraffic();
    SendFixed(*this, QueryFrame(kQueryCurrentOutput), kCodeCurrentOutputQuery);
}

void TForm1::Button31Click() {
    ClearTraffic();
    SendFixed(*this, QueryFrame(kQueryModbus), kCodeModbusQuery);
}

void TForm1::Button22Click() {
    ClearTraffic();
    SendFixed(*this, QueryFrame(kQueryMonitoringCommand[0]), kCodeMonitoringQuery, TxDisplay::Hex);
}

void TForm1::Button25Click() {
    ClearTraffic();
    SendFixed(*this, QueryFrame(kQueryMonitoringCommand[1]), kCodeMonitoringQuery, TxDisplay::Hex);
}

// System parameters.
void TForm1::Button24Click() {
    ClearTraffic();
    SendFixed(*this, ModeFrame(ItemIndex(ui->ComboBox7)), kCodeSet);
}

void TForm1::Button29Click() {
    ClearTraffic();
    SendFixed(*this, SlaveAddressFrame(StrToInt(Text(ui->Edit14))), kCodeSet);
}

void TForm1::Button27Click() {
    ClearTraffic();
    // Edit6: polling interval in units of 10 ms.
    SendFixed(*this, PollIntervalFrame(StrToInt(Text(ui->Edit6))), kCodeSet);
}

void TForm1::Button30Click() {
    ClearTraffic();
    SendFixed(*this, ResetFrame(), kCodeSet);
}

void TForm1::Button32Click() {
    ClearTraffic();
    // ComboBox8: RS485 baud rate, ComboBox9: RS485 parity.
    SendFixed(*this, Rs485PortFrame(ItemIndex(ui->ComboBox8), ItemIndex(ui->ComboBox9)), kCodeSet);
    // The module changes its line now; our side follows by closing the port,
    // and the engineer reopens it with the new settings.
    Timer4->SetInterval(2000);
    Timer4->SetEnabled(true);
}

void TForm1::Button33Click() {
    ClearTraffic();
    SendFixed(*this, ResponseTimeFrame(ItemIndex(ui->RS485ADY)), kCodeSet);
}

void TForm1::Button12Click() {
    ClearTraffic();
    SendFixed(*this, Var1MapFrame(ItemIndex(ui->YINSHE)), kCodeSet);
}

void TForm1::Button21Click() {
    ClearTraffic();
    // Byte order of the floats at registers 40003, 40005, 40007, 40009.
    SendFixed(*this,
              FloatOrderFrame({ItemIndex(ui->FAMOUT3), ItemIndex(ui->FAMOUT5),
                               ItemIndex(ui->FAMOUT7), ItemIndex(ui->FAMOUT9)}),
              kCodeSet);
}

void TForm1::Button60Click() {
    // Factory frame: no pending request, no timeout, the Receive Buffer kept.
    // Converted one after the other: a bad serial number is reported first.
    const int serial = StrToInt(Text(ui->PCBSN));
    const int inspector = StrToInt(Text(ui->JIANZHI));
    const std::string frame = SerialNumberFrame(serial, inspector);
    ui->Edit8->setText(DisplayText(frame));
    Requests->Write(frame);
}

// Current output ranges and coefficients.
void TForm1::Button2Click() { SendRange(*this, 2, ui->D2M4, ui->D2M20); }
void TForm1::Button3Click() { SendRange(*this, 3, ui->D3M4, ui->D3M20); }
void TForm1::Button5Click() { SendRange(*this, 4, ui->D4M4, ui->D4M20); }

void TForm1::Button10Click() {
    ClearTraffic();
    // ComboBox18: coefficient mode of variable 1; Beilv: its coefficient.
    SendFixed(*this, Coefficient1Frame(ItemIndex(ui->ComboBox18), Text(ui->Beilv)), kCodeSet);
}

void TForm1::Button34Click() {
    ClearTraffic();
    SendFixed(*this, CoefficientsFrame(Text(ui->xishu2), Text(ui->xishu3), Text(ui->xishu4)),
              kCodeSet);
}

void TForm1::D2M4KeyPress(char& Key) { FilterRangeKey(Key, ui->D2M4); }
void TForm1::D2M20KeyPress(char& Key) { FilterRangeKey(Key, ui->D2M20); }
void TForm1::D3M4KeyPress(char& Key) { FilterRangeKey(Key, ui->D3M4); }
void TForm1::D3M20KeyPress(char& Key) { FilterRangeKey(Key, ui->D3M20); }
void TForm1::D4M4KeyPress(char& Key) { FilterRangeKey(Key, ui->D4M4); }
void TForm1::D4M20KeyPress(char& Key) { FilterRangeKey(Key, ui->D4M20); }

// Monitoring and custom HART command settings.
void TForm1::Button9Click() {
    ClearTraffic();
    HartMonitoring p;
    p.meterIdItem = ItemIndex(ui->ComboBox41);
    p.enableItem = ItemIndex(ui->ComboBox6);
    p.hartModeItem = ItemIndex(ui->ComboBox16);
    p.meterTypeItem = ItemIndex(ui->ComboBox17);
    p.preambleItem = ItemIndex(ui->ComboBox34);
    p.bufferClearTime = StrToInt(Text(ui->Edit2));  // seconds
    SendFixed(*this, HartMonitoringFrame(p), kCodeSet);
}

void TForm1::Button17Click() {
    // ComboBox28 / Edit4: read meter command 1, on/off and its bytes.
    SendPayload(*this, kReadCommandKeys[0], ItemDigit(ItemIndex(ui->ComboBox28)), ui->Edit4);
}

void TForm1::Button18Click() {
    SendPayload(*this, kReadCommandKeys[1], ItemDigit(ItemIndex(ui->ComboBox29)), ui->Edit5);
}

void TForm1::Button11Click() {
    SendPayload(*this, kMonitoringCommandKeys[0], FlagDigit(ui->ONECHECK01->isChecked()),
                ui->ONECMAD01);
}

void TForm1::Button28Click() {
    SendPayload(*this, kMonitoringCommandKeys[1], FlagDigit(ui->ONECHECK02->isChecked()),
                ui->ONECMAD02);
}

void TForm1::Button19Click() {
    ClearTraffic();
    // ComboBox41: meter id; ComboBox15: address bits; per variable the read
    // command, the start address in its answer and the data length.
    ParsingFormat p;
    p.meterIdItem = ItemIndex(ui->ComboBox41);
    p.addressBitsItem = ItemIndex(ui->ComboBox15);
    const QComboBox* commands[] = {ui->RADCOM1, ui->RADCOM3, ui->RADCOM5, ui->RADCOM7};
    const QLineEdit* starts[] = {ui->READADR1, ui->READADR3, ui->READADR5, ui->READADR7};
    const QComboBox* lengths[] = {ui->READLG1, ui->READLG3, ui->READLG5, ui->READLG7};
    for (size_t i = 0; i < p.variables.size(); ++i) {
        p.variables[i] = {ItemIndex(commands[i]), StrToInt(Text(starts[i])), ItemIndex(lengths[i])};
    }
    SendFixed(*this, ParsingFormatFrame(p), kCodeSet);
}
