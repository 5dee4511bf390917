// The port beyond opening and closing it: the device list of "Serial Port:",
// a device that vanished while open, a device another program holds too, and
// the status line.
#include <unistd.h>

#include <QActionGroup>
#include <QMenu>
#include <QStatusBar>
#include <QString>

#include "exchange/silenceadvice.h"
#include "serial/linetext.h"
#include "serial/portholders.h"
#include "ui/controls.h"
#include "ui/portcombobox.h"
#include "ui/rs485dialog.h"
#include "ui/statusline.h"
#include "ui/tapplication.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

void TForm1::SetupPort() {
    StatusLine = new TStatusLine(statusBar());
    // Any reply on the line, the window's or a sequence's, is the last reply.
    connect(Link1, &Link::received, StatusLine, [this] { StatusLine->ReplyReceived(); });
    // Run after the handler wired before it: it sees the outcome of Timer4Timer.
    connect(Timer4, &TTimer::OnTimer, this, &TForm1::UpdateStatusLine);
    for (QComboBox* combo :
         {static_cast<QComboBox*>(ui->SPREALCOM), ui->ComboBox11, ui->ComboBox10})
        connect(combo, &QComboBox::currentTextChanged, this, &TForm1::UpdateStatusLine);
    UpdateStatusLine();
    ui->SPREALCOM->SetRecentPorts(LoadRecentPorts());
    // The kernel's RS-485 mode, per device, from Tools.
    QAction* rs485 = menuTools->addAction("&RS-485 Mode of the Port...");
    rs485->setObjectName("actionRs485Mode");
    connect(rs485, &QAction::triggered, this, [this] {
        const std::string device = ResolvePortName(ui->SPREALCOM->currentText().toStdString());
        Rs485Dialog dialog(device, Rs485Ports[device], PortOpen, this);
        if (dialog.exec() == QDialog::Accepted) Rs485Ports[device] = dialog.Chosen();
    });
    // The adapter's local echo, per device, beside it: taken off every reply
    // once found (Auto), expected from the first frame (On), or left (Off).
    QMenu* echo = menuTools->addMenu("Adapter &Echo");
    echo->setObjectName("menuAdapterEcho");
    auto* modes = new QActionGroup(echo);
    const struct {
        EchoMode mode;
        const char* text;
        const char* name;
    } choices[] = {
        {EchoMode::Auto, "&Auto: find it and take it off", "actionEchoAuto"},
        {EchoMode::On, "&On: the adapter echoes, a changed echo is a collision", "actionEchoOn"},
        {EchoMode::Off, "O&ff: take nothing off", "actionEchoOff"},
    };
    for (const auto& choice : choices) {
        QAction* action = echo->addAction(choice.text);
        action->setObjectName(choice.name);
        action->setCheckable(true);
        action->setChecked(choice.mode == EchoMode::Auto);
        modes->addAction(action);
        connect(action, &QAction::triggered, this, [this, mode = choice.mode] {
            const std::string device =
                ResolvePortName(ui->SPREALCOM->currentText().toStdString());
            EchoPorts[device] = mode;
            if (PortOpen && ResolvePortName(Link1->Settings().name) == device)
                Link1->SetEchoMode(mode);
        });
    }
    // The checks follow the device chosen when the menu opens.
    connect(echo, &QMenu::aboutToShow, this, [this, echo] {
        const auto chosen =
            EchoPorts.find(ResolvePortName(ui->SPREALCOM->currentText().toStdString()));
        const EchoMode mode = chosen != EchoPorts.end() ? chosen->second : EchoMode::Auto;
        for (QAction* action : echo->actions())
            action->setChecked(action->objectName() ==
                               (mode == EchoMode::Auto ? "actionEchoAuto"
                                : mode == EchoMode::On ? "actionEchoOn"
                                                       : "actionEchoOff"));
    });
    connect(Link1, &Link::echoDetected, StatusLine,
            [this] { StatusLine->ShowEcho(Link::kEchoDetectedText); });
    // The box is as wide as its listed rates; a longer one typed (1000000)
    // widens it, so the rate is seen whole. Shorter texts leave it as it was.
    connect(ui->ComboBox11, &QComboBox::editTextChanged, this, [this](const QString& text) {
        ui->ComboBox11->setMinimumContentsLength(text.size() > 5 ? static_cast<int>(text.size()) : 0);
    });
}

void TForm1::PortButtonClick() {
    Guarded(&TForm1::Button1Click);
    if (PortOpen) WarnIfPortShared();
    UpdateStatusLine();
}

void TForm1::Comm1RequestHangup(TComm*) {
    // The reader and the writer may both report the same hang-up, and a report
    // may arrive after the port was closed: only the first one of an open port
    // counts. The port is closed before the message, whose own event loop
    // delivers the second report.
    if (!PortOpen) return;
    const QString path = QString::fromStdString(ResolvePortName(Link1->Settings().name));
    Timer4->SetEnabled(false);  // a pending automatic close would hit the next opening
    PortOpen = false;
    ui->Button1->setText("Open");
    ui->Button6->setEnabled(false);
    // No reply can come any more, so no timeout message either.
    Link1->CloseAfterHangup();
    UpdateStatusLine();
    const bool network = path.contains("://");
    ShowWarning(network ? QString("The connection to %1 was closed by the server or the network.")
                              .arg(path)
                        : QString("The serial device %1 was disconnected.").arg(path),
                QString::fromStdString(HangupAdvice(network)), {});
}

void TForm1::WarnIfPortShared() {
    const std::string path = ResolvePortName(Link1->Settings().name);
    const std::string warning = SharedPortWarning(path, FindPortHolders(path), getpid());
    if (!warning.empty()) ShowMessage(QString::fromStdString(warning));
}

// While open, what the component uses; while closed, what Open would use.
void TForm1::UpdateStatusLine() {
    const bool open = PortOpen && Link1->IsOpen();
    const PortSettings& line = Link1->Settings();
    const std::string name = open ? line.name : ui->SPREALCOM->currentText().toStdString();
    const std::string baud =
        open ? std::to_string(line.baudRate) : ui->ComboBox11->currentText().toStdString();
    const int parity = open ? static_cast<int>(line.parity) : ItemIndex(ui->ComboBox10);
    const bool held = !open || Link1->ParityHeld();
    StatusLine->ShowPort(QString::fromStdString(ResolvePortName(name)),
                         QString::fromStdString(HeldLineSettingsText(
                             baud, line.byteSize, parity, line.stopBits, held)),
                         open);
}
