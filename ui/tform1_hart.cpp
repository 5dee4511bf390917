// HART transparent mode: command 0, 3 and 6 frames, typed frames, and the
// decoding of the command 0 and 3 replies.
#include <QLocale>
#include <algorithm>
#include <optional>
#include <span>
#include <string>

#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "hart/replies.h"
#include "hart/universal.h"
#include "protocol/fieldencodings.h"
#include "protocol/strtoint.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

// Edit9 "Preamble Length:"; nullopt, after telling the engineer, when the
// frame would not fit the transmit area.
std::optional<int> ReadPreamble(const Ui::TForm1& ui) {
    const int p = StrToInt(FieldBytes(ui.Edit9));
    if (PreambleLengthOk(p)) return p;
    ShowMessage(kPreambleRangeMessage);
    return std::nullopt;
}

// ComboBox42 "HART Command Mode:": item 1 is the secondary master.
uint8_t MasterBit(const Ui::TForm1& ui) {
    return ChosenItem(ui.ComboBox42) == 1 ? kSecondaryMaster : kPrimaryMaster;
}

std::string AsString(const HartBytes& frame) { return std::string(frame.begin(), frame.end()); }

// Value edit and unit list of the four dynamic variables, primary first.
struct VariableControls {
    QLineEdit* Ui::TForm1::*value;
    QComboBox* Ui::TForm1::*unit;
};
constexpr VariableControls kVariableControls[] = {
    {&Ui::TForm1::Edit25, &Ui::TForm1::ComboBox3},
    {&Ui::TForm1::Edit26, &Ui::TForm1::ComboBox31},
    {&Ui::TForm1::Edit27, &Ui::TForm1::ComboBox32},
    {&Ui::TForm1::Edit30, &Ui::TForm1::ComboBox33},
};

}  // namespace

void TForm1::Button7Click() {
    ClearTraffic();
    for (QLineEdit* edit : {ui->Edit28, ui->Edit29, ui->Edit31, ui->Edit32}) edit->clear();
    const auto preamble = ReadPreamble(*ui);
    if (!preamble) return;
    const uint8_t master = MasterBit(*ui);
    const int address = ChosenItem(ui->ComboBox30);
    // The reply decoder shows this address as the instrument's current one.
    Requests->SetHartPollingAddress(static_cast<uint8_t>(address));
    SendRequest(PutTx(AsString(HartCommand0Frame(*preamble, master, address))), kCodeHartCommand0,
                true);
}

void TForm1::Button16Click() {
    ClearTraffic();
    const auto preamble = ReadPreamble(*ui);
    if (!preamble) return;
    const HartIdentity identity = Requests->KeptHartIdentity();
    SendRequest(PutTx(AsString(HartCommand3Frame(*preamble, MasterBit(*ui), identity))),
                kCodeHartCommand3, true);
}

void TForm1::Button14Click() {
    ClearTraffic();
    const auto preamble = ReadPreamble(*ui);
    if (!preamble) return;
    const HartIdentity identity = Requests->KeptHartIdentity();
    const int newAddress = ChosenItem(ui->ComboBox27);
    // From revision 6 on the command carries the loop current mode too: an
    // instrument at address 0 drives the loop, one on a multidrop line parks it.
    const int revision = Requests->HartRevision();
    const HartBytes frame =
        revision >= 6
            ? HartLongFrame(*preamble, MasterBit(*ui), identity, kHartWritePollingAddress,
                            HartPollingAddressData(newAddress, revision, newAddress == 0))
            : HartCommand6Frame(*preamble, MasterBit(*ui), identity, newAddress);
    SendRequest(PutTx(AsString(frame)), kCodeHartCommand6, true);
}

void TForm1::Button20Click() {
    ClearTraffic();
    const HexList body = ReadHexList(FieldBytes(ui->Edit10), kMaxTypedBytes);
    if (body.error != HexListError::None) {
        ShowMessage(HexListMessage(body.error));
        return;
    }
    const auto preamble = ReadPreamble(*ui);
    if (!preamble) return;
    SendRequest(PutTx(AsString(HartTypedFrame(*preamble, body.bytes))), kCodeHartTyped, true);
}

// The link ends the request (ReplyDecoded) once this returns.
void TForm1::DecodeHartDeviceReply() {
    const auto device = ParseHartCommand0Reply(
        std::span(FrameBuffer()).subspan(kRxStart, std::min<size_t>(ReplyText().size(), kRxSize)));
    if (!device) {
        // Not the instrument's reply: the identity it would replace stays.
        for (QLineEdit* edit : {ui->Edit28, ui->Edit29, ui->Edit31, ui->Edit32}) edit->clear();
        return;
    }
    Requests->KeepHartIdentity(device->identity);
    Requests->KeepHartRevision(device->universalRevision);
    // A revision 7 reply names the manufacturer by a 16-bit code of its own
    // and the device type by two bytes: bytes 1 and 2 alone misname both.
    ui->Edit28->setText(QString::number(device->manufacturerCode));
    ui->Edit29->setText(QString::number(device->expandedDeviceType));
    ui->Edit31->setText(QString::number(device->preambles));
    SetItemIndex(ui->ComboBox27, Requests->HartPollingAddress());
    ui->Edit32->setText(QString::number(device->DeviceNumber()));
}

void TForm1::DecodeHartCommandReply() {
    const auto reply =
        std::span(FrameBuffer()).subspan(kRxStart, std::min<size_t>(ReplyText().size(), kRxSize));
    CaptureHartReply(reply);
    const auto variables = ParseHartCommand3Reply(reply, '.');
    if (!variables) return;
    for (size_t i = 0; i < variables->size(); ++i) {
        const VariableControls& controls = kVariableControls[i];
        const QString text = QString::fromLatin1((*variables)[i].valueText);
        (ui.get()->*controls.value)->setText(QString(text).replace(u'.', QLocale().decimalPoint()));
        SetItemIndex(ui.get()->*controls.unit, (*variables)[i].unitItem);
    }
}
