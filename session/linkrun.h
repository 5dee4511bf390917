// A run: one list of exchanges started on the link, with its own handle, as a
// MODBUS client hands out one reply object per request. Whoever started it
// hears only its own run: its frames (sent), each step's reply (replied), a
// lost, cut or damaged reply asked again (retried) and its end (finished). Nobody else
// hears them, and after Cancel() or its end a late reply goes to nobody.
//
//   LinkRun* run = link->Start({{QueryFrame(kQuerySystem), kCodeSystemQuery, "System"}},
//                              {.retries = 2}, this);
//   connect(run, &LinkRun::finished, this, [run] { ... run->replies() ... });
//
// A run started while another holds the line waits in the link's queue and
// starts once that one has ended and the line is quiet. The handle belongs to
// the QObject given as its owner; deleting it cancels the run.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "exchange/requestsequence.h"

class RequestRunner;

struct RunOptions {
    // Tries after the first for a step whose reply was lost (nothing by its
    // timeout), cut (still incomplete), damaged (not a well-formed answer:
    // a configuration reply out of shape, a bad CRC or checksum) or a set
    // command's "ERR" (which a damaged command gets too). A clean refusal (a
    // MODBUS exception, a HART response code) is never asked again.
    int retries = 0;
    // What the run is, in the words the cross-check uses for where a reply
    // came from ("a trend poll"); none: a run of the program.
    const char* source = nullptr;
};

class LinkRun : public QObject {
    Q_OBJECT
public:
    enum class State { Queued, Running, Finished, TimedOut, Failed, Cancelled };

    ~LinkRun() override;

    const std::vector<SequenceStep>& steps() const { return steps_; }
    State state() const { return state_; }
    bool active() const { return state_ == State::Queued || state_ == State::Running; }
    // The step under way, or the one that stopped the run.
    size_t current() const;
    // The reply of each completed step, in step order.
    const std::vector<std::string>& replies() const { return replies_; }
    // The bytes that came for the current step, and their verdict.
    const std::optional<std::string>& received() const;
    const ReplyVerdict& verdict() const;
    // The timeout message or the wrong or cut reply's verdict; empty otherwise.
    const QString& failure() const { return failure_; }
    // Why the run stopped short, naming its step: "no reply to LABEL: MESSAGE",
    // "reply to LABEL VERDICT" or "stopped"; empty when it finished.
    QString Why() const;
    // The reply of the last step that completed.
    const std::string& LastReply() const { return replies_.back(); }

    void SetRetries(int retries) { options_.retries = retries; }
    // Stops at once (a queued run never starts); finished() follows.
    void Cancel();

signals:
    void started();
    void sent(int step, const QByteArray& frame);
    void replied(int step, const QByteArray& reply);
    // Step `step` is asked again (try `attempt` of `tries`) because of `why`.
    void retried(int step, int attempt, int tries, const QString& why);
    void finished();

private:
    friend class RequestRunner;
    LinkRun(RequestRunner* runner, std::vector<SequenceStep> steps, RunOptions options,
            QObject* owner);

    RequestRunner* runner_;
    std::vector<SequenceStep> steps_;
    RunOptions options_;
    State state_ = State::Queued;
    // The sequence of the current try: the steps from `offset_` on.
    std::unique_ptr<RequestSequence> sequence_;
    size_t offset_ = 0;
    int retriesLeft_ = 0;
    std::vector<std::string> replies_;
    QString failure_;
};

// Runs `steps` on the link and calls `done` with every reply once each step
// had one; otherwise `failed` with the run that stopped short (its Why()
// says where and why). Both on `owner`, and neither after `owner` is gone;
// the handle goes once they have run.
class Link;
LinkRun* RunThen(Link* link, std::vector<SequenceStep> steps, QObject* owner,
                 std::function<void(const std::vector<std::string>&)> done,
                 std::function<void(const LinkRun&)> failed, RunOptions options = {});
