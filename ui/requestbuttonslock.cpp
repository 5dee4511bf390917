#include "ui/requestbuttonslock.h"

#include <QPushButton>

#include "session/requestrunner.h"

RequestButtonsLock::RequestButtonsLock(QWidget* buttons, RequestRunner* runner)
    : QObject(runner), buttons_(buttons) {
    connect(runner, &RequestRunner::started, this, &RequestButtonsLock::Lock);
    connect(runner, &RequestRunner::ended, this, &RequestButtonsLock::Unlock);
}

void RequestButtonsLock::Lock() {
    for (QPushButton* button : buttons_->findChildren<QPushButton*>()) {
        if (!button->isEnabled()) continue;
        button->setEnabled(false);
        disabled_.append(button);
    }
}

void RequestButtonsLock::Unlock() {
    for (const QPointer<QPushButton>& button : disabled_) {
        if (button) button->setEnabled(true);
    }
    disabled_.clear();
}
