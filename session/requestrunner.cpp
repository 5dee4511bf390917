#include "session/requestrunner.h"

#include <algorithm>

#include "exchange/echofilter.h"
#include "session/link.h"

// ---- the handle ----

LinkRun::LinkRun(RequestRunner* runner, std::vector<SequenceStep> steps, RunOptions options,
                 QObject* owner)
    : QObject(owner ? owner : runner),
      runner_(runner),
      steps_(std::move(steps)),
      options_(options),
      retriesLeft_(options.retries) {}

LinkRun::~LinkRun() {
    if (runner_ && active()) runner_->Forget(this);
}

size_t LinkRun::current() const { return offset_ + (sequence_ ? sequence_->current() : 0); }

const std::optional<std::string>& LinkRun::received() const {
    static const std::optional<std::string> kNone;
    return sequence_ ? sequence_->received() : kNone;
}

const ReplyVerdict& LinkRun::verdict() const {
    static const ReplyVerdict kNone;
    return sequence_ ? sequence_->verdict() : kNone;
}

QString LinkRun::Why() const {
    switch (state_) {
        case State::Finished:
        case State::Queued:
        case State::Running:
            return {};
        case State::Cancelled:
            return "stopped";
        default:
            break;
    }
    const size_t at = std::min(current(), steps_.size() - 1);
    const QString label = QString::fromStdString(steps_.empty() ? "" : steps_[at].label);
    return QString(state_ == State::TimedOut ? "no reply to %1: %2" : "reply to %1 %2")
        .arg(label, failure_);
}

void LinkRun::Cancel() {
    if (runner_ && active()) runner_->Cancel(this);
}

LinkRun* RunThen(Link* link, std::vector<SequenceStep> steps, QObject* owner,
                 std::function<void(const std::vector<std::string>&)> done,
                 std::function<void(const LinkRun&)> failed, RunOptions options) {
    LinkRun* run = link->Start(std::move(steps), options, owner);
    QObject::connect(run, &LinkRun::finished, owner, [run, done, failed] {
        run->deleteLater();
        if (run->state() == LinkRun::State::Finished) return done(run->replies());
        failed(*run);
    });
    return run;
}

// ---- the engine ----

RequestRunner::RequestRunner(Link* link) : QObject(link), link_(link) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (current_ && current_->sequence_) Handle(current_->sequence_->Tick(Now()));
    });
}

RequestRunner::~RequestRunner() {
    // Handles that outlive us (owned elsewhere) must not call back.
    for (LinkRun* run : findChildren<LinkRun*>()) run->runner_ = nullptr;
    for (LinkRun* run : queue_) run->runner_ = nullptr;
    if (current_) current_->runner_ = nullptr;
}

SequenceTime RequestRunner::Now() const { return SequenceTime(clock_.elapsed()); }

bool RequestRunner::IsRunning() const { return busy_; }

uint32_t RequestRunner::ReadInterval() const { return link_->SequenceReadInterval(); }

LinkRun* RequestRunner::Start(std::vector<SequenceStep> steps, RunOptions options, QObject* owner) {
    auto* run = new LinkRun(this, std::move(steps), options, owner);
    // A run whose owner goes leaves the queue at once (LinkRun's destructor).
    const bool mayGoNow = !current_ && (holder_ ? holder_ == owner : queue_.empty());
    if (mayGoNow) {
        Begin(run);
    } else {
        queue_.push_back(run);
    }
    return run;
}

bool RequestRunner::Hold(const QObject* holder) {
    if (holder_ == holder) return true;
    if (holder_ || current_) return false;
    holder_ = holder;
    Busy();
    return true;
}

void RequestRunner::Release(const QObject* holder) {
    if (!holder_ || holder_ != holder) return;
    holder_ = nullptr;
    StartNext();
}

void RequestRunner::Busy() {
    if (busy_) return;
    busy_ = true;
    link_->Claim(this);
    emit started();
}

void RequestRunner::IdleIfDone() {
    if (current_ || holder_ || !busy_) return;
    if (!queue_.empty()) return;
    busy_ = false;
    link_->GiveBack(this);
    emit ended();
}

void RequestRunner::StartNext() {
    while (!current_ && !queue_.empty()) {
        // The holder's own runs go first; the others wait until it lets go.
        auto it = std::find_if(queue_.begin(), queue_.end(), [this](const LinkRun* q) {
            return !holder_ || q->parent() == holder_;
        });
        if (it == queue_.end()) break;
        LinkRun* run = *it;
        queue_.erase(it);
        Begin(run);
    }
    IdleIfDone();
}

void RequestRunner::Begin(LinkRun* run) {
    Busy();
    current_ = run;
    run->state_ = LinkRun::State::Running;
    emit runStarted(run);
    emit run->started();
    if (current_ == run && run->state_ == LinkRun::State::Running) Try(run);
}

void RequestRunner::Try(LinkRun* run) {
    std::vector<SequenceStep> rest(run->steps_.begin() + static_cast<std::ptrdiff_t>(run->offset_),
                                   run->steps_.end());
    run->sequence_ =
        std::make_unique<RequestSequence>(std::move(rest), timing_ ? timing_() : SequenceTiming{});
    run->failure_.clear();
    const SequenceTime now = Now();
    Handle(run->sequence_->Start(now, quiet_ ? std::optional(now + quiet_()) : std::nullopt));
}

void RequestRunner::Cancel(LinkRun* run) {
    if (run == current_) {
        // Cancelled from its own started(), before its first try: nothing went out.
        if (!run->sequence_) return End(LinkRun::State::Cancelled, {});
        Handle(run->sequence_->Cancel());
        return;
    }
    const auto it = std::find(queue_.begin(), queue_.end(), run);
    if (it == queue_.end()) return;
    queue_.erase(it);
    run->state_ = LinkRun::State::Cancelled;
    emit run->finished();
    IdleIfDone();
}

void RequestRunner::Forget(LinkRun* run) {
    if (run != current_) {
        queue_.erase(std::remove(queue_.begin(), queue_.end(), run), queue_.end());
        return IdleIfDone();
    }
    // Its owner went: nothing more goes out for it, and the line is given back.
    timer_.stop();
    current_ = nullptr;
    StartNext();
}

void RequestRunner::Block(const uint8_t* data, uint16_t length) {
    if (!current_ || !current_->sequence_) return;  // held between runs: nobody's
    Handle(current_->sequence_->Received(
        Now(), std::string_view(reinterpret_cast<const char*>(data), length)));
}

void RequestRunner::EchoDiffers(const char* why) {
    if (!current_ || !current_->sequence_) return;
    Handle(current_->sequence_->Spoil(Now(), why));
}

void RequestRunner::Handle(const SequenceOutputs& outputs) {
    using Kind = SequenceOutput::Kind;
    LinkRun* run = current_;
    if (!run) return;
    for (const SequenceOutput& out : outputs) {
        const size_t step = run->offset_ + out.step;
        switch (out.kind) {
            case Kind::Write:
                emit run->sent(static_cast<int>(step), QByteArray::fromStdString(out.bytes));
                // A refused write (port closed) ends in the step's timeout,
                // as the window's own requests do.
                link_->Send(run->steps_[step], ExchangeRecord::Origin::Sequence);
                break;
            case Kind::Reply:
                run->replies_.push_back(out.bytes);
                run->retriesLeft_ = run->options_.retries;  // each exchange has its own tries
                emit link_->stepReplied(run->steps_[step], QByteArray::fromStdString(out.bytes),
                                        QString::fromLatin1(run->options_.source
                                                                ? run->options_.source
                                                                : "a run of the program"));
                emit run->replied(static_cast<int>(step), QByteArray::fromStdString(out.bytes));
                // A slot may have cancelled or dropped the run: nothing more goes out.
                if (current_ != run || run->sequence_->state() == RequestSequence::State::Cancelled)
                    return;
                break;
            case Kind::TimedOut:
                link_->RecordTimeout();
                if (Retry("no reply")) return;
                return End(LinkRun::State::TimedOut, QString::fromLatin1(out.bytes));
            case Kind::Failed:
                // A cut or damaged reply was hurt on the way, and a set command
                // refused may have been; a clean refusal stays what it is.
                if (WorthAskingAgain(run->sequence_->verdict()) &&
                    Retry(QString::fromLatin1(out.bytes)))
                    return;
                return End(LinkRun::State::Failed, QString::fromLatin1(out.bytes));
            case Kind::Finished:
                return End(LinkRun::State::Finished, {});
            case Kind::Cancelled:
                return End(LinkRun::State::Cancelled, {});
        }
    }
    Arm();
}

bool RequestRunner::Retry(const QString& why) {
    LinkRun* run = current_;
    if (run->retriesLeft_ <= 0) return false;
    --run->retriesLeft_;
    const size_t step = run->current();
    run->offset_ = step;
    const int tries = run->options_.retries + 1;
    const int attempt = tries - run->retriesLeft_;
    link_->RecordRetry(attempt, tries, why);
    emit run->retried(static_cast<int>(step), attempt, tries, why);
    if (current_ != run || run->state_ != LinkRun::State::Running) return true;
    Try(run);
    return true;
}

void RequestRunner::End(LinkRun::State state, const QString& failure) {
    LinkRun* run = current_;
    timer_.stop();
    current_ = nullptr;
    run->state_ = state;
    run->failure_ = failure;
    emit runFinished(run);
    // Last: a slot may start the next run from here.
    emit run->finished();
    StartNext();
}

void RequestRunner::Arm() {
    const auto deadline = current_ ? current_->sequence_->NextDeadline() : std::nullopt;
    if (!deadline) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::max<int64_t>(0, (*deadline - Now()).count())));
}
