#include "ui/tapplication.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QTimer>
#include <exception>

#include "serial/tcomm.h"
#include "ui/controls.h"
#include "session/portdiscovery.h"

namespace {

// Beyond the window's own wait for a held loop to be released.
constexpr int kOrderlyEndLimitMs = 8000;

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromLatin1(kWindowClass));
}

void TApplication::QuitOnTermination() {
    if (termination_) return;
    termination_ = new TSignalPipe(this);
    connect(termination_, &TSignalPipe::received, this, [this](int signo, int count) {
        endedBy_ = signo;
        if (count > 1) return quit();  // a second signal: end now
        // The first closes the windows as the engineer would, so a loop held
        // at a fixed current is released before the port closes; the window
        // waits for that a few seconds at most.
        closeAllWindows();
        QTimer::singleShot(kOrderlyEndLimitMs, this, &QCoreApplication::quit);
    });
}

int TApplication::ExitStatus(int status) const {
    return endedBy_ ? TSignalPipe::ExitStatus(endedBy_) : status;
}

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

namespace {

void Show(QMessageBox::Icon icon, const QString& text, const QString& informative,
          const QString& detail) {
    QMessageBox box(icon, QStringLiteral("Tavrix"), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageBox"));
    if (!informative.isEmpty()) box.setInformativeText(informative);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    // Wide enough that a path and its cause share a line (after the texts:
    // setting one lays the box out anew).
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid && !informative.isEmpty())
        grid->addItem(new QSpacerItem(480, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

}  // namespace

void ShowMessage(const QString& text, const QString& detail) {
    Show(QMessageBox::Information, text, {}, detail);
}

void ShowWarning(const QString& text, const QString& informative, const QString& detail) {
    Show(QMessageBox::Warning, text, informative, detail);
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
    // An opening failure: the known message stays the text, the cause and its
    // fix go under it, the devices present into the details.
    TOpenFailure failure = *comms->Failure;
    failure.present = PortPaths(DiscoverSerialPorts());
    ShowWarning(text, QString::fromStdString(OpenFailureSummary(failure)),
                QString::fromStdString(OpenFailureDetail(failure)));
}
