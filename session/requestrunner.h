// Runs a RequestSequence on an open serial component: writes its frames,
// hands it the blocks the link routes to it and wakes it at its deadlines.
// The link (session/link.h) owns one; while IsRunning(), every block the
// component delivers belongs to the runner.
//
// For a helper that polls (one step or many):
//     connect(runner, &RequestRunner::replied, ...);   // (step, reply bytes)
//     connect(runner, &RequestRunner::ended, ...);     // then look at sequence()
//     runner->Run({{QueryFrame(kQuerySystem), kCodeSystemQuery, "System parameters"}});
// Run() refuses (returns false) while another sequence runs; Cancel() stops
// the running one at once and raises ended(). Signals come on the main
// thread, from the event loop; a slot of ended() may start the next Run().
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "exchange/requestsequence.h"

class TComm;

class RequestRunner : public QObject {
    Q_OBJECT
public:
    explicit RequestRunner(TComm* comm, QObject* parent = nullptr);
    ~RequestRunner() override;

    bool Run(std::vector<SequenceStep> steps);
    // Where each run takes the line's timing from (the link: its line speed
    // and the module's answer time); the defaults without one.
    void SetTimingSource(std::function<SequenceTiming()> timing) { timing_ = std::move(timing); }
    // How long the line needs yet before a run's first frame (the link: until
    // an earlier reply has ended or can no longer come); none without one.
    void SetQuietSource(std::function<std::chrono::milliseconds()> wait) {
        quiet_ = std::move(wait);
    }
    void Cancel();
    // Keeps the line for the caller between two of its sequences (while the
    // port is reopened at another speed): started() is raised as for a run,
    // IsRunning() stays true and Run() refuses until Release(), which raises
    // ended(). False if something runs already.
    bool Hold();
    void Release();
    bool IsRunning() const;
    void BlockReceived(const uint8_t* data, uint16_t length);

    // The sequence last started: its state, the step that stopped it, its replies.
    const RequestSequence& sequence() const { return *sequence_; }
    // Why the last sequence stopped short: the timeout message, or the wrong
    // or incomplete reply's verdict; else empty.
    const QString& failure() const { return failure_; }

signals:
    void started(int stepCount);
    void sent(int step, const QByteArray& frame);
    void replied(int step, const QByteArray& reply);  // step complete: progress is step + 1
    void ended();

private:
    void Handle(const SequenceOutputs& outputs);
    void Arm();
    SequenceTime Now() const;

    TComm* comm_;
    std::unique_ptr<RequestSequence> sequence_;
    QElapsedTimer clock_;
    QTimer timer_;
    QString failure_;
    std::function<SequenceTiming()> timing_;
    std::function<std::chrono::milliseconds()> quiet_;
    bool held_ = false;
};
