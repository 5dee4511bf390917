// The link: the one owner of the serial line. It holds the port (serial/port.h),
// is the only one to open it, close it or change its settings, records every
// exchange for whoever follows the traffic, and hands each received block to
// exactly one client: the run under way (session/linkrun.h, carried out by the
// run engine), the window's own request (session/windowrequest.h), or nobody.
// QtCore only, shared by the window and tavrix-cli.
//
//   link.Open({.name = "/dev/ttyUSB0", .baudRate = 19200, .parity = TParity::Even});
//   LinkRun* run = link.Start(steps, {.retries = 2}, this);
//
// Everyone else subscribes to the results: sent, received, timedOut, retried,
// opened, closed, hungUp, blocksDropped (the traffic log and the journal),
// received (the status line).
#pragma once

#include <QByteArray>
#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "exchange/echofilter.h"
#include "exchange/exchangerecord.h"
#include "exchange/requestsequence.h"
#include "serial/port.h"
#include "session/linkrun.h"
#include "traffic/trafficlog.h"

class LineClient;
class RequestRunner;
class TComm;

class Link : public QObject {
    Q_OBJECT
public:
    // The read interval while no client says otherwise.
    static constexpr uint32_t kRestingReadInterval = 400;

    // A serial device port unless another port is given.
    explicit Link(QObject* parent = nullptr, std::unique_ptr<Port> port = {});
    ~Link() override;

    // ---- the line ----
    // Opens the port with `settings` (closing it first if open); blocks a
    // vanished device left are discarded, so none answers a request of the
    // new opening. Throws ECommsError with the cause.
    void Open(const PortSettings& settings);
    // Opens again at another speed and parity, the rest as it was.
    void Reopen(uint32_t baudRate, TParity parity);
    // Whether Reopen can take the line to another speed or parity.
    bool FollowsLineChanges() const { return port_->FollowsLineChanges(); }
    // Closes the port; blocks still waiting from it go with it.
    void Close();
    // After the device hung up: closed, and no timeout message will follow.
    void CloseAfterHangup();
    bool IsOpen() const;
    // The settings the port was last opened (or tried) with.
    const PortSettings& Settings() const;
    // Whether the open line carries the parity asked for; true while closed.
    bool ParityHeld() const;
    // The serial component, where the port is a serial device (null otherwise).
    TComm* Comm() const;
    // How long ago a reply last came on this opening; nullopt when none has.
    std::optional<std::chrono::milliseconds> SinceLastReply() const;
    // The read interval the line delivers blocks after now.
    uint32_t ReadInterval() const;

    // ---- runs ----
    // A run of `steps` for `owner`: started now, or queued behind the run
    // under way (or the line's holder) until the line is quiet.
    LinkRun* Start(std::vector<SequenceStep> steps, RunOptions options = {},
                   QObject* owner = nullptr);
    // Keeps the line for `holder` between its own runs; see RequestRunner::Hold.
    bool Hold(const QObject* holder);
    void Release(const QObject* holder);
    // A run runs or waits, or the line is held.
    bool RunsActive() const;
    RequestRunner* Runner() const { return runner_; }

    // ---- clients ----
    // `client` takes the line: blocks go to it, at its read interval, and the
    // client that held it is told it lost it. While runs hold the line, a
    // claim by the window takes effect after them.
    void Claim(LineClient* client);
    // `client` gives the line back: blocks answer nobody until the next claim.
    void GiveBack(LineClient* client);
    // The client whose read interval holds while nobody has the line (the
    // window's), and who has it until the first run.
    void SetResting(LineClient* client);
    // Nothing is running on the line: a run may start without cutting anything off.
    bool LineFree() const;

    // Records `step` and writes its frame (refused while the port is closed;
    // the request then ends in its timeout). `step.code` 0 awaits nothing.
    void Send(const SequenceStep& step, ExchangeRecord::Origin origin);
    // The request under way had no reply in its time.
    void RecordTimeout();
    // The request under way goes out again, as try `attempt` of `tries`, because of `why`.
    void RecordRetry(int attempt, int tries, const QString& why);
    // The window's receive wait pushed out blocks it could not keep.
    void NoteDropped(int count, size_t waiting) {
        Stamp();
        emit blocksDropped(count, waiting);
    }
    // When the event being signalled happened: one clock reading, so the
    // traffic panel and the journal write the same time for it.
    const TrafficTime& EventTime() const { return eventTime_; }

    // A block as the port delivers it; also the tests' entry. The echo of the
    // frame just written is taken off first (SetEchoMode): only the reply
    // goes on to `received` and the client.
    void BlockReceived(const uint8_t* data, uint16_t length);

    // How the adapter's local echo is handled (exchange/echofilter.h): Auto
    // by default. Setting it (the window does at each opening) finds anew
    // whether the adapter echoes.
    void SetEchoMode(EchoMode mode);
    EchoMode GetEchoMode() const { return echo_.mode(); }
    // Auto found this adapter echoing.
    bool EchoDetected() const { return echo_.Detected(); }
    // What the status line and the traffic log say when Auto first finds it.
    static constexpr const char* kEchoDetectedText =
        "this adapter echoes what it sends: echo removed";

    const ExchangeRecord& Current() const { return current_; }

    // The module's longest answer time as seen from the tool, which the runs'
    // timeouts allow for, for every request alike; unset, each protocol's own
    // (DefaultAnswerTime in exchange/requestsequence.h).
    void SetAnswerTime(std::chrono::milliseconds answer) { answerTime_ = answer; }
    // How long yet until the last request's reply has ended or can no longer
    // come; a run's first frame waits that long. Zero or less: quiet.
    std::chrono::milliseconds QuietWait() const;
    // The line's timing as runs see it now: speed and character size of the
    // port, the answer time.
    SequenceTiming Timing() const;
    // The read interval while a run holds the line: a few character times, so
    // each block comes as it arrives.
    uint32_t SequenceReadInterval() const;

signals:
    // A frame went to the port (or was refused), with the request it makes.
    void sent(const ExchangeRecord& request);
    // A block as delivered, before anyone handles it; `request` as it stood.
    void received(const QByteArray& block, const ExchangeRecord& request);
    void timedOut(const ExchangeRecord& request);
    // A run's step got its reply, judged to be what was asked; `source` is
    // the run's (RunOptions::source). For whoever keeps the newest values.
    void stepReplied(const SequenceStep& step, const QByteArray& reply, const QString& source);
    // The echo of `request`'s frame, taken off a block (`how`: Partial or
    // Whole, Detected the first time Auto finds it, Differs when it is not
    // what was sent; then `echo` is what matched, maybe nothing).
    void echoed(const QByteArray& echo, const ExchangeRecord& request, EchoSplit::Verdict how);
    // Auto found the adapter echoing (once a mode setting).
    void echoDetected();
    // `request` is asked again: try `attempt` of `tries`, because of `why`.
    void retried(const ExchangeRecord& request, int attempt, int tries, const QString& why);
    void opening();
    void opened();
    void closed();
    // The device vanished (the first report of an open port); the window
    // then closes through CloseAfterHangup.
    void hangupReported();
    void hungUp();
    void blocksDropped(int count, size_t waiting);

private:
    void ApplyReadInterval();
    void Attach(Port& port);
    void TakeKindFor(const std::string& name);
    void Deliver(const std::string& reply);

    std::unique_ptr<Port> port_;
    std::unique_ptr<Port> otherKind_;  // the kind the last name did not ask for
    RequestRunner* runner_;
    ExchangeRecord current_;
    LineClient* active_ = nullptr;
    LineClient* afterRuns_ = nullptr;  // claimed while runs held the line
    LineClient* resting_ = nullptr;
    std::optional<std::chrono::milliseconds> answerTime_;
    // The last request as a step (what it awaits) and when a block last came:
    // what a run's first frame waits for.
    SequenceStep lastStep_;
    std::optional<std::chrono::steady_clock::time_point> lastBlockAt_;
    std::optional<std::chrono::steady_clock::time_point> lastReplyAt_;
    EchoFilter echo_;
    void Stamp() { eventTime_ = TrafficTime::Now(); }
    TrafficTime eventTime_ = TrafficTime::Now();
};
