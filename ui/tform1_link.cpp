// Link and traffic: opening and closing the port, the common request pattern,
// the receive handler, the reply timeout and the automatic close.
#include <algorithm>

#include "exchange/bytetext.h"
#include "exchange/requestcodes.h"
#include "protocol/strtoint.h"
#include "ui/controls.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui/trafficlogmodel.h"
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
    Comm1->ClosePort();
    // Blocks a hung-up device sent before it went answer nothing of this opening.
    ReceiveWait->Discard();
    Comm1->SetBaudRate(static_cast<uint32_t>(StrToInt(FieldBytes(ui->ComboBox11))));
    // Stored unchecked: a typed parity that matches no item gives -1, which
    // the component's line settings then refuse.
    Comm1->Parity = static_cast<TParity>(ItemIndex(ui->ComboBox10));
    Comm1->CommName = ui->SPREALCOM->currentText().toStdString();
    Comm1->SetOutx_XonXoffFlow(false);
    Comm1->SetInx_XonXoffFlow(false);
    Comm1->OpenPort();
    PortOpen = true;
    Traffic->Opened(*Comm1);
    ui->Button1->setText("Close");
    ui->Button6->setEnabled(true);
}

void TForm1::Button6Click() {
    ClearTraffic();
    SendFrame(PutTx("QQQ#QV#"), false);
    RegisterRequest(201, kTimeoutConnection, true);
}

void TForm1::ClearTraffic() {
    ui->Edit8->clear();
    ui->Memo10->clear();
}

std::string TForm1::PutTx(const std::string& frame) {
    // Frames are built in the transmit area; exactly the frame's own length is
    // sent, whatever a longer earlier frame left behind it.
    const size_t n = std::min(frame.size(), kTxSize);
    std::copy_n(frame.begin(), n, FrameBuffer.begin() + kTxStart);
    return std::string(reinterpret_cast<const char*>(FrameBuffer.data() + kTxStart), n);
}

void TForm1::SendFrame(const std::string& frame, bool hexDisplay) {
    ui->Edit8->setText(hexDisplay ? QString::fromLatin1(HexText(frame)) : DisplayText(frame));
    Traffic->Sent(frame);
    // Refused while the port is closed; the request is still registered and
    // ends in its timeout message.
    Comm1->WriteData(frame.data(), static_cast<uint16_t>(std::min<size_t>(frame.size(), 0xFFFF)));
}

void TForm1::RegisterRequest(int code, int timeoutKind, bool setInterval3000) {
    PendingRequest = code;
    Traffic->Requested(code);
    TimeoutKind = timeoutKind;
    if (setInterval3000) Timer3->SetInterval(3000);
    Timer3->SetEnabled(true);
}

void TForm1::Comm1ReceiveData(TComm*, const uint8_t* Buffer, uint16_t BufferLength) {
    // The module's reply may still be trickling in, so each block waits 200 ms
    // before it is looked at; the wait runs on a timer, not by sleeping.
    ReceiveWait->Enqueue(Buffer, BufferLength);
}

void TForm1::HandleBlock(const std::string& block) {
    const uint8_t* Buffer = reinterpret_cast<const uint8_t*>(block.data());
    const size_t n = block.size();
    // A block may hold up to 2048 bytes; the receive area keeps its first 404.
    std::copy_n(Buffer, std::min(n, kRxSize), FrameBuffer.begin() + kRxStart);
    ReplyText.assign(reinterpret_cast<const char*>(Buffer), std::min(n, kReplyTextMax));
    CaptureModbusReply(Buffer, n);

    // Text display stops at the first zero byte, as a C string would.
    const QString asText = QString::fromLatin1(ReplyText.c_str());
    const QString asHex =
        QString::fromLatin1(HexText(FrameBuffer.data() + kRxStart, ReplyText.size()));
    switch (AfterBlockFor(PendingRequest)) {
        case AfterBlock::DecodeText:
            Timer2->SetEnabled(true);
            Timer3->SetEnabled(false);
            ui->Memo10->setPlainText(asText);
            break;
        case AfterBlock::DecodeHex:
            ui->Memo10->setPlainText(asHex);
            Timer3->SetEnabled(false);
            Timer2->SetEnabled(true);
            break;
        case AfterBlock::ShowHex:
            ui->Memo10->setPlainText(asHex);
            Timer3->SetEnabled(false);
            break;
        case AfterBlock::ShowText:
            ui->Memo10->setPlainText(asText);
            PendingRequest = 0;
            Timer3->SetEnabled(false);
            break;
    }
}

void TForm1::Timer3Timer() {
    Timer3->SetEnabled(false);
    Traffic->TimedOut();
    // The request stays pending, so a late reply is still handled.
    if (const char* message = TimeoutMessage(TimeoutKind)) ShowMessage(message);
}

void TForm1::Timer4Timer() {
    Timer4->SetEnabled(false);
    PortOpen = false;
    ui->Button1->setText("Open");
    ui->Button6->setEnabled(false);
    CloseComm();
}

void TForm1::CloseComm() {
    Comm1->ClosePort();
    ReceiveWait->Discard();
    Traffic->Closed();
}

void TForm1::Button26Click() { ui->Memo10->clear(); }

void TForm1::Edit14Change() { ui->Edit18->setText(ui->Edit14->text()); }

void TForm1::Label8DblClick() {}
void TForm1::Label34DblClick() {}
void TForm1::PageControl1Change() {}
