// The status line at the foot of the window: port, line settings, open or
// closed, and the time of the last reply. A QStatusBar lies under the central
// widget, so it never covers the Send Buffer or the Receive Buffer.
#pragma once

#include <QObject>
#include <QString>
#include <QTime>

class QLabel;
class QStatusBar;

class TStatusLine : public QObject {
    Q_OBJECT
public:
    explicit TStatusLine(QStatusBar* bar);

    void ShowPort(const QString& path, const QString& settings, bool open);
    void ReplyReceived(const QTime& at = QTime::currentTime());
    // What the link found of the adapter's echo; empty hides it. The label
    // exists only once something was said.
    void ShowEcho(const QString& text);

private:
    QStatusBar* bar_;
    QLabel* echo_ = nullptr;
    QLabel* port_;
    QLabel* settings_;
    QLabel* state_;
    QLabel* lastReply_;
};
