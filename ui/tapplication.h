// The application object. Handlers' exceptions are caught where the window
// runs them (TForm1::Guarded); notify() is the last resort for anything else.
// Both show the message through ShowException.
#pragma once

#include <QApplication>
#include <exception>

#include "serial/signalpipe.h"

// The window's X11 class (WM_CLASS), which the desktop entry's StartupWMClass
// names so the dock groups the window under its launcher. Set, not left to the
// program file's name, so a renamed or linked binary still matches.
inline constexpr char kWindowClass[] = "tavrix";

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // SIGTERM, SIGINT and SIGHUP end the event loop, so the window's
    // destructor closes the port as the Close button would.
    void QuitOnTermination();
    // The exit status after the event loop ended: 128 + the signal that ended
    // it, else `status`.
    int ExitStatus(int status) const;

private:
    TSignalPipe* termination_ = nullptr;
    int endedBy_ = 0;
};

// Shows `text` in a modal message box titled with the program's name; a
// `detail` (why, and what to do) goes under it as the box's detailed text.
void ShowMessage(const QString& text, const QString& detail = {});

// A failure the engineer must act on: a warning with the cause and the fix
// under `text` at once, and the full diagnosis as the details.
void ShowWarning(const QString& text, const QString& informative, const QString& detail);

// The one place where a handler's exception becomes a message to the engineer.
void ShowException(const std::exception& error);
