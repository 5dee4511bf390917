#include "session/requestrunner.h"

#include <algorithm>

#include "serial/tcomm.h"

RequestRunner::RequestRunner(TComm* comm, QObject* parent)
    : QObject(parent),
      comm_(comm),
      sequence_(std::make_unique<RequestSequence>(std::vector<SequenceStep>{})) {
    clock_.start();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] { Handle(sequence_->Tick(Now())); });
}

RequestRunner::~RequestRunner() = default;

SequenceTime RequestRunner::Now() const { return SequenceTime(clock_.elapsed()); }

bool RequestRunner::IsRunning() const { return held_ || sequence_->running(); }

bool RequestRunner::Hold() {
    if (IsRunning()) return false;
    held_ = true;
    emit started(0);
    return true;
}

void RequestRunner::Release() {
    if (!held_) return;
    held_ = false;
    emit ended();
}

bool RequestRunner::Run(std::vector<SequenceStep> steps) {
    if (IsRunning()) return false;
    sequence_ =
        std::make_unique<RequestSequence>(std::move(steps), timing_ ? timing_() : SequenceTiming{});
    failure_.clear();
    emit started(static_cast<int>(sequence_->steps().size()));
    const SequenceTime now = Now();
    Handle(sequence_->Start(now, quiet_ ? std::optional(now + quiet_()) : std::nullopt));
    return true;
}

void RequestRunner::Cancel() { Handle(sequence_->Cancel()); }

void RequestRunner::BlockReceived(const uint8_t* data, uint16_t length) {
    Handle(
        sequence_->Received(Now(), std::string_view(reinterpret_cast<const char*>(data), length)));
}

void RequestRunner::Handle(const SequenceOutputs& outputs) {
    using Kind = SequenceOutput::Kind;
    for (const SequenceOutput& out : outputs) {
        const QByteArray bytes = QByteArray::fromStdString(out.bytes);
        switch (out.kind) {
            case Kind::Write:
                emit sent(static_cast<int>(out.step), bytes);
                // A refused write (port closed) ends in the step's timeout,
                // as the window's own requests do.
                comm_->WriteData(out.bytes.data(),
                                 static_cast<uint16_t>(std::min<size_t>(out.bytes.size(), 0xFFFF)));
                break;
            case Kind::Reply:
                emit replied(static_cast<int>(out.step), bytes);
                // A slot may have cancelled: the next frame must not go out.
                if (sequence_->state() == RequestSequence::State::Cancelled) return;
                break;
            case Kind::TimedOut:
            case Kind::Failed:
                failure_ = QString::fromLatin1(bytes);
                [[fallthrough]];
            case Kind::Finished:
            case Kind::Cancelled:
                timer_.stop();
                // Last: a slot may start the next sequence from here.
                emit ended();
                return;
        }
    }
    Arm();
}

void RequestRunner::Arm() {
    const auto deadline = sequence_->NextDeadline();
    if (!deadline) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::max<int64_t>(0, (*deadline - Now()).count())));
}
