// Opening and closing the port, the common request pattern over the link,
// the reply timeout's message and the automatic close.
#include <algorithm>

#include "exchange/requestcodes.h"
#include "exchange/silenceadvice.h"
#include "protocol/hexbytes.h"
#include "protocol/strtoint.h"
#include "serial/netport.h"
#include "serial/portlist.h"
#include "ui/controls.h"
#include "ui/portcombobox.h"
#include "ui/statusline.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::FormCreate() {
    ui->Button6->setEnabled(true);
    Timer2->SetEnabled(false);
    Timer3->SetEnabled(false);
    Timer4->SetEnabled(false);
}

void TForm1::Button1Click() {
    if (PortOpen) {
        PortOpen = false;
        ui->Button1->setText("Open");
        ui->Button6->setEnabled(false);
        CloseComm();
        return;
    }
    PortSettings line;
    line.baudRate = static_cast<uint32_t>(StrToInt(FieldBytes(ui->ComboBox11)));
    // Stored unchecked: a typed parity that matches no item gives -1, which
    // the component's line settings then refuse.
    line.parity = static_cast<TParity>(ItemIndex(ui->ComboBox10));
    line.name = ui->SPREALCOM->currentText().toStdString();
    const auto rs485 = Rs485Ports.find(ResolvePortName(line.name));
    line.rs485 = rs485 != Rs485Ports.end() ? rs485->second : TRs485{};
    const auto echo = EchoPorts.find(ResolvePortName(line.name));
    Link1->SetEchoMode(echo != EchoPorts.end() ? echo->second : EchoMode::Auto);
    StatusLine->ShowEcho({});
    Link1->Open(line);
    PortOpen = true;
    if (IsNetworkPortName(line.name)) {
        ui->SPREALCOM->SetRecentPorts(RememberNetworkPort(ui->SPREALCOM->RecentPorts(), line.name));
        SaveRecentPorts(ui->SPREALCOM->RecentPorts());
    }
    ui->Button1->setText("Close");
    ui->Button6->setEnabled(true);
}

void TForm1::Button6Click() {
    ClearTraffic();
    SendRequest(PutTx("QQQ#QV#"), kCodeCommunicationQuery, false);
}

void TForm1::ClearTraffic() {
    ui->Edit8->clear();
    ui->Memo10->clear();
}

std::string TForm1::PutTx(const std::string& frame) { return Requests->PutTx(frame); }

void TForm1::SendRequest(const std::string& frame, int code, bool hexDisplay) {
    ui->Edit8->setText(hexDisplay ? QString::fromLatin1(HexTextTrailingBlank(frame))
                                  : DisplayText(frame));
    // Refused while the port is closed; the request is still registered and
    // ends in its timeout message.
    Requests->Request(frame, code);
}

void TForm1::Comm1ReceiveData(TComm*, const uint8_t* Buffer, uint16_t BufferLength) {
    Requests->Enqueue(Buffer, BufferLength);
}

void TForm1::Timer3Timer() {
    // The request stays pending, so a late reply is still handled. The
    // message stays as it always was; under it, what the silence means.
    const RequestCode* entry = FindRequestCode(Requests->PendingRequest());
    const Protocol protocol = entry ? entry->protocol : Protocol::Config;
    if (const char* message = Requests->TakeTimeout())
        ShowWarning(message,
                    QString::fromStdString(TimeoutAdvice(protocol, Link1->SinceLastReply())), {});
}

void TForm1::Timer4Timer() {
    Timer4->SetEnabled(false);
    PortOpen = false;
    ui->Button1->setText("Open");
    ui->Button6->setEnabled(false);
    CloseComm();
}

void TForm1::CloseComm() { Link1->Close(); }

void TForm1::Button26Click() { ui->Memo10->clear(); }

void TForm1::Edit14Change() { ui->Edit18->setText(ui->Edit14->text()); }

void TForm1::PageControl1Change() {}
