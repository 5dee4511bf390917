// The hidden receiver of the threads' notifications. It lives on the owner's
// (main) thread as its child; deleting it makes Qt discard what is still
// posted to it, so late notifications never reach a destroyed TComm.
#pragma once

#include <QObject>

class TComm;

class TNotifyWindow : public QObject {
public:
    explicit TNotifyWindow(TComm* owner);
    bool event(QEvent* e) override;

private:
    TComm* owner_;
};
