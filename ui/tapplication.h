// The application object: the one place where an exception raised by a
// handler is caught and shown to the engineer in a modal message box.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows `text` in a modal message box titled with the program's name.
void ShowMessage(const QString& text);
