// A window timer with the desktop toolkit's classic rules, which the reply
// timeout depends on: enabling a running timer does not restart its count,
// changing the interval of a running timer to a different value restarts it,
// and setting the interval of a stopped timer does not start it.
#pragma once

#include <QObject>
#include <QTimer>

class TTimer : public QObject {
    Q_OBJECT
public:
    TTimer(int intervalMs, bool enabled, QObject* owner);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    int Interval() const { return interval_; }
    void SetInterval(int intervalMs);

signals:
    void OnTimer();

private:
    QTimer timer_;
    int interval_;
    bool enabled_;
};
