// SIGTERM, SIGINT and SIGHUP turned into a Qt signal in the thread that made
// the object, so a program ends through its event loop and its destructors:
// the port closed with its exclusive flag cleared and its pending output
// dropped, instead of a process killed with the tty left locked.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

class TSignalPipe : public QObject {
    Q_OBJECT
public:
    // One at a time in a process: the handlers are process-wide.
    explicit TSignalPipe(QObject* parent = nullptr);
    ~TSignalPipe() override;  // the handlers that were there before come back

    // The exit status a program reports after ending on `signo`, as a shell does.
    static int ExitStatus(int signo) { return 128 + signo; }

signals:
    // `count` is how many termination signals came so far: the first asks
    // for an orderly end, a later one for an end now.
    void received(int signo, int count);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
    int count_ = 0;
};
