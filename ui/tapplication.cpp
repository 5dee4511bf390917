#include "ui/tapplication.h"

#include <QMessageBox>
#include <exception>

#include "ui/controls.h"

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

void ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tavrix"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
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
    ShowMessage(QString::fromLatin1(error.what()));
}
