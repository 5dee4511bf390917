#include "session/hartcommissionjob.h"

#include <QTimer>

#include "exchange/loopcheck.h"
#include "exchange/requeststeps.h"
#include "hart/framestart.h"
#include "hart/status.h"
#include "profile/profilecommands.h"
#include "session/certifyjob.h"
#include "session/link.h"
#include "session/linkrun.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// A self test keeps the instrument busy a moment: its status is asked again.
constexpr uint8_t kBusy = 32;
constexpr int kBusyTries = 5;
constexpr int kBusyPauseMs = 500;

// The command byte of the HART frame `frame`; -1 for any other.
int CommandOf(const std::string& frame) {
    const auto start = FindHartFrameStart(Bytes(frame));
    if (!start) return -1;
    const size_t at = start->delimiterAt + ((frame[start->delimiterAt] & 0x80) ? 6 : 2);
    return at < frame.size() ? static_cast<uint8_t>(frame[at]) : -1;
}

// What a one-step run came to. A refusal is the instrument's answer, not a
// lost reply; a warning code comes with the command carried out.
HartExchange Outcome(const LinkRun& run) {
    HartExchange x;
    if (run.state() == LinkRun::State::Finished && !run.replies().empty()) {
        x.reply = run.LastReply();
        const int command = CommandOf(run.steps().back().frame);
        const auto body = command < 0
                              ? std::nullopt
                              : ParseHartReplyBody(Bytes(*x.reply), static_cast<uint8_t>(command));
        if (body) {
            x.deviceStatus = body->deviceStatus;
            if (body->responseCode != 0) x.responseCode = body->responseCode;
        }
        return x;
    }
    const ReplyVerdict& v = run.verdict();
    if (run.state() != LinkRun::State::Cancelled && v.hartResponse &&
        !(*v.hartResponse & kHartCommunicationError)) {
        x.responseCode = v.hartResponse;
        x.deviceStatus = v.hartStatus;
        if (HartResponseCodeIsWarning(*v.hartResponse) && run.received()) x.reply = *run.received();
        return x;
    }
    x.why = run.Why().toStdString();
    if (x.why.empty()) x.why = "stopped";
    return x;
}

}  // namespace

HartCommissionJob::HartCommissionJob(Link* link, QObject* parent) : QObject(parent), link_(link) {}

bool HartCommissionJob::Start(int pollingAddress, const HartCommission& write) {
    if (running_ || !link_->Hold(this)) return false;
    running_ = true;
    trimming_ = false;
    cancelRequested_ = false;
    pollingAddress_ = pollingAddress;
    busyTries_ = 0;
    write_ = write;
    device_.reset();
    before_.reset();
    info_.reset();
    sent_ = {};
    change_.clear();
    result_ = {};
    emit progress("Reading the instrument's identity");
    Run(Phase::Identity, {HartCommand0Step(pollingAddress)});
    return true;
}

bool HartCommissionJob::StartTrim(int pollingAddress) {
    if (running_ || !link_->Hold(this)) return false;
    running_ = true;
    trimming_ = true;
    cancelRequested_ = false;
    pollingAddress_ = pollingAddress;
    device_.reset();
    trim_.reset();
    trimFailure_.clear();
    emit progress("Reading the instrument's identity");
    Run(Phase::Identity, {HartCommand0Step(pollingAddress)});
    return true;
}

void HartCommissionJob::Run(Phase phase, std::vector<SequenceStep> steps) {
    phase_ = phase;
    if (run_) run_->deleteLater();
    run_ = link_->Start(std::move(steps), {.retries = retries_, .source = "the commissioning"},
                        this);
    connect(run_, &LinkRun::finished, this, &HartCommissionJob::Ended);
}

void HartCommissionJob::Ended() {
    const LinkRun& run = *run_;
    const HartExchange outcome = Outcome(run);
    timedOut_ = run.state() == LinkRun::State::TimedOut;
    switch (phase_) {
        case Phase::Identity: {
            const auto device =
                outcome.reply ? ParseHartCommand0Reply(Bytes(*outcome.reply)) : std::nullopt;
            const QString why = cancelRequested_ ? QString("cancelled: nothing was sent")
                                : outcome.reply
                                    ? QString("the command 0 reply holds no identity")
                                    : "no reply: " + QString::fromStdString(outcome.why);
            if (!device || cancelRequested_) {
                if (trimming_)
                    trimFailure_ = why;
                else
                    result_ = {HartCommissionResult::Verdict::NoReply, why.toStdString()};
                return Finish();
            }
            device_ = device;
            if (trimming_) {
                emit progress("Reading the module's byte order and coefficient");
                return Run(Phase::Module, ModuleMeterSteps());
            }
            change_ = QString::fromStdString(HartCommissionChange(write_, *device_, before_));
            if (write_.kind == HartCommission::Kind::Damping ||
                write_.kind == HartCommission::Kind::PvUnits)
                return Run(Phase::Before, {HartStep(kHartReadDeviceInfo, device_->identity)});
            return WriteNow();
        }
        case Phase::Before:
            if (outcome.reply) before_ = ParseHartCommand15(Bytes(*outcome.reply));
            change_ = QString::fromStdString(HartCommissionChange(write_, *device_, before_));
            if (cancelRequested_) {
                result_ = {HartCommissionResult::Verdict::NoReply, "cancelled: nothing was sent"};
                return Finish();
            }
            return WriteNow();
        case Phase::Write:
            sent_ = outcome;
            if (!sent_.reply) {
                result_ = JudgeHartCommission(write_, sent_, {});
                return Finish();
            }
            return ReadBackNow();
        case Phase::ReadBack:
            if (write_.kind == HartCommission::Kind::SelfTest && !outcome.reply &&
                outcome.responseCode == kBusy && ++busyTries_ < kBusyTries) {
                emit progress("The instrument is busy with its self test");
                QTimer::singleShot(kBusyPauseMs, this, &HartCommissionJob::ReadBackNow);
                return;
            }
            if (outcome.reply && (write_.kind == HartCommission::Kind::Damping ||
                                  write_.kind == HartCommission::Kind::PvUnits))
                info_ = ParseHartCommand15(Bytes(*outcome.reply));
            result_ = JudgeHartCommission(write_, sent_, outcome);
            return Finish();
        case Phase::Module: {
            std::optional<ModuleLoopMeter> meter;
            if (run.state() == LinkRun::State::Finished) meter = ModuleMeterFrom(run.replies());
            trim_ = std::make_unique<HartLoopTrim>(device_->identity, meter);
            if (cancelRequested_) trim_->Cancel();
            return TrimNext();
        }
        case Phase::Trim:
            trim_->Took(outcome);
            return TrimNext();
        case Phase::Idle:
            return;
    }
}

void HartCommissionJob::WriteNow() {
    std::string error;
    const auto step = HartCommissionStep(*device_, write_, &error);
    if (!step) {
        result_ = {HartCommissionResult::Verdict::NoReply, "not sent: " + error};
        return Finish();
    }
    emit progress("Sending " + change_);
    Run(Phase::Write, {*step});
}

void HartCommissionJob::ReadBackNow() {
    const auto step = HartCommissionReadBack(*device_, pollingAddress_, write_);
    if (!step) {
        result_ = JudgeHartCommission(write_, sent_, {});
        return Finish();
    }
    emit progress("Reading back");
    Run(Phase::ReadBack, {*step});
}

void HartCommissionJob::TrimNext() {
    using S = HartLoopTrim::Stage;
    if (cancelRequested_) trim_->Cancel();
    if (trim_->finished()) return Finish();
    const QString level = QString::fromStdString(LoopCurrentText(trim_->Level()));
    if (trim_->AwaitsReading()) {
        phase_ = Phase::Trim;
        emit progress("The loop is held at " + level + " mA: read the reference meter");
        emit readingWanted();
        return;
    }
    switch (trim_->stage()) {
        case S::FixZero:
        case S::FixGain:
            emit progress("Holding the loop at " + level + " mA");
            break;
        case S::TrimZero:
            emit progress("Trimming the loop current zero");
            break;
        case S::TrimGain:
            emit progress("Trimming the loop current gain");
            break;
        case S::Leave:
            emit progress("Leaving fixed current mode");
            break;
        default:
            break;
    }
    Run(Phase::Trim, {*trim_->Step()});
}

bool HartCommissionJob::SupplyReading(double milliamperes, QString* error) {
    if (!AwaitsReading()) {
        if (error) *error = "no reading is awaited";
        return false;
    }
    std::string why;
    if (!trim_->Supply(milliamperes, &why)) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    TrimNext();
    return true;
}

void HartCommissionJob::Cancel() {
    if (!running_ || cancelRequested_) return;
    cancelRequested_ = true;
    if (AwaitsReading()) return TrimNext();
    // Releasing the loop is never cut short.
    if (trim_ && trim_->stage() == HartLoopTrim::Stage::Leave) return;
    if (run_ && run_->active()) run_->Cancel();
}

void HartCommissionJob::Finish() {
    phase_ = Phase::Idle;
    running_ = false;
    link_->Release(this);
    emit finished();
}
