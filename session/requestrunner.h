// The run engine: carries out the runs started on the link (session/linkrun.h)
// one at a time. It writes each run's frames through the link, is handed the
// blocks while a run holds the line, and wakes the run at its deadlines. Runs
// started while another runs, or while the line is held, wait in a queue and
// start in order once the line is quiet.
//
// started() says the runs took the line, ended() that they gave it back (the
// window's buttons follow them); a run's own events come on its handle only.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "exchange/requestsequence.h"
#include "session/lineclient.h"
#include "session/linkrun.h"

class Link;

class RequestRunner : public QObject, public LineClient {
    Q_OBJECT
public:
    explicit RequestRunner(Link* link);
    ~RequestRunner() override;

    // A new run of `steps` for `owner` (the runner's own child without one).
    LinkRun* Start(std::vector<SequenceStep> steps, RunOptions options, QObject* owner);
    // Keeps the line for `holder` between its runs (while the port is reopened
    // at another speed): the runs of others wait, the holder's start at once.
    // False when somebody else runs or holds.
    bool Hold(const QObject* holder);
    void Release(const QObject* holder);
    // A run runs or waits, or the line is held.
    bool IsRunning() const;
    // The run under way; null between runs.
    LinkRun* Current() const { return current_; }

    // Where each try takes the line's timing from (the link: its line speed
    // and the module's answer time); the defaults without one.
    void SetTimingSource(std::function<SequenceTiming()> timing) { timing_ = std::move(timing); }
    // How long the line needs yet before a try's first frame (the link: until
    // an earlier reply has ended or can no longer come); none without one.
    void SetQuietSource(std::function<std::chrono::milliseconds()> wait) {
        quiet_ = std::move(wait);
    }

    void Block(const uint8_t* data, uint16_t length) override;
    // The step under way fails as damaged and is asked again as its run's retries allow.
    void EchoDiffers(const char* why) override;
    uint32_t ReadInterval() const override;

signals:
    void started();
    void ended();
    // Every run as it starts and ends, for whoever watches the line as a
    // whole (the soak's counts); its replies still go to its owner only.
    void runStarted(const LinkRun* run);
    void runFinished(const LinkRun* run);

private:
    friend class LinkRun;
    void Cancel(LinkRun* run);
    void Forget(LinkRun* run);
    void StartNext();
    void Begin(LinkRun* run);
    void Try(LinkRun* run);
    void Handle(const SequenceOutputs& outputs);
    void End(LinkRun::State state, const QString& failure);
    bool Retry(const QString& why);
    void Arm();
    void Busy();
    void IdleIfDone();
    SequenceTime Now() const;

    Link* link_;
    std::deque<LinkRun*> queue_;
    LinkRun* current_ = nullptr;
    const QObject* holder_ = nullptr;
    bool busy_ = false;
    QElapsedTimer clock_;
    QTimer timer_;
    std::function<SequenceTiming()> timing_;
    std::function<std::chrono::milliseconds()> quiet_;
};
