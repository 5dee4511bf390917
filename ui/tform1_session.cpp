// What the additions reach of the window through its session: the Open
// button and the port's state, the settings its controls hold, and the
// controls a "Use" in a dialog writes.
#include "ui/controls.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::SetupSession() {
    // A disabled button (a run holds the line) cannot be pressed.
    Session->SetPortButton([this] {
        if (ui->Button1->isEnabled()) PortButtonClick();
    });
    Session->SetPortOpenQuery([this] { return PortOpen; });
    Session->SetSettingsSource([this] {
        WindowSettings s;
        s.preamble = ui->Edit9->text();
        s.master = ItemIndex(ui->ComboBox42);
        s.modbusSlave = ui->Edit18->text();
        s.modbusStart = ui->Edit19->text();
        s.modbusCount = ui->Edit20->text();
        s.byteOrders = {ItemIndex(ui->FAMOUT3), ItemIndex(ui->FAMOUT5), ItemIndex(ui->FAMOUT7),
                        ItemIndex(ui->FAMOUT9)};
        for (int i = 0; i < ui->FAMOUT3->count(); ++i) s.byteOrderNames << ui->FAMOUT3->itemText(i);
        s.coefficientMode = ItemIndex(ui->ComboBox18);
        s.coefficient1 = ui->Beilv->text();
        s.coefficients = {ui->xishu2->text(), ui->xishu3->text(), ui->xishu4->text()};
        return s;
    });
    for (QComboBox* list :
         {ui->ComboBox42, ui->FAMOUT3, ui->FAMOUT5, ui->FAMOUT7, ui->FAMOUT9, ui->ComboBox18}) {
        connect(list, &QComboBox::currentTextChanged, Session,
                &WindowSession::NotifySettingsChanged);
    }
    for (QLineEdit* edit : {ui->Edit9, ui->Edit18, ui->Edit19, ui->Edit20, ui->Beilv, ui->xishu2,
                            ui->xishu3, ui->xishu4}) {
        connect(edit, &QLineEdit::textChanged, Session, &WindowSession::NotifySettingsChanged);
    }

    connect(Session, &WindowSession::lineSettingsUsed, this, [this](uint32_t baud, int parity) {
        ui->ComboBox11->setEditText(QString::number(baud));
        SetItemIndex(ui->ComboBox10, parity);
    });
    connect(Session, &WindowSession::hartPollingAddressUsed, this,
            [this](int address) { SetItemIndex(ui->ComboBox30, address); });
}
