// While a RequestRunner owns the line, the window's buttons that would send
// are disabled; when it ends each one is back as it was.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QPushButton;
class QWidget;
class RequestRunner;

class RequestButtonsLock : public QObject {
    Q_OBJECT
public:
    RequestButtonsLock(QWidget* buttons, RequestRunner* runner);

private:
    void Lock();
    void Unlock();

    QWidget* buttons_;
    QList<QPointer<QPushButton>> disabled_;  // the ones we disabled, and only those
};
