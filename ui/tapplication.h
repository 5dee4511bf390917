// The application object. Handlers' exceptions are caught where the window
// runs them (TForm1::Guarded); notify() is the last resort for anything else.
// Both show the message through ShowException.
#pragma once

#include <QApplication>
#include <exception>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows `text` in a modal message box titled with the program's name; a
// `detail` (why, and what to do) goes under it as the box's detailed text.
void ShowMessage(const QString& text, const QString& detail = {});

// The one place where a handler's exception becomes a message to the engineer.
void ShowException(const std::exception& error);
