#include "ui/tapplication.h"

#include <QMessageBox>
#include <exception>

#include "serial/tcomm.h"
#include "ui/controls.h"
#include "session/portdiscovery.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowMessage(QStringLiteral("Unknown error"));
    }
    return true;
}

void ShowMessage(const QString& text, const QString& detail) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tavrix"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
}

// Messages carry control texts as the one-byte-per-character text the
// handlers read (Latin-1), so they are shown the same way; a refusal holds
// the text as typed, which may lie outside Latin-1.
void ShowException(const std::exception& error) {
    if (const auto* refused = dynamic_cast<const ERefusedInput*>(&error)) {
        ShowMessage(refused->Message());
        return;
    }
    const QString text = QString::fromLatin1(error.what());
    const auto* comms = dynamic_cast<const ECommsError*>(&error);
    if (!comms || !comms->Failure) return ShowMessage(text);
    // An opening failure: the known message stays the text, the cause goes under it.
    TOpenFailure failure = *comms->Failure;
    failure.present = PortPaths(DiscoverSerialPorts());
    ShowMessage(text, QString::fromStdString(OpenFailureDetail(failure)));
}
