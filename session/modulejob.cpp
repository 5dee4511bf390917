#include "session/modulejob.h"

#include <QTimer>
#include <algorithm>

#include "profile/profilesettings.h"
#include "protocol/strtoint.h"
#include "serial/linetext.h"
#include "serial/tcomm.h"
#include "session/link.h"
#include "session/requestrunner.h"

namespace {

// The module answers the RS485 command at its old settings and then changes
// its line; give it a moment before talking at the new ones.
constexpr int kLineSwitchPauseMs = 500;

bool IsRs485Step(const SequenceStep& step) { return step.frame.starts_with("QQS#BA2:"); }

// The profile's RS485 settings as a baud rate and a parity item.
std::pair<std::string, int> WantedLine(const Profile& wanted) {
    const int baudItem = wanted.Find(ConfigSetting::Rs485BaudRate)->number;
    const int parityItem = wanted.Find(ConfigSetting::Rs485Parity)->number;
    return {
        std::string(
            FindProfileSetting(ConfigSetting::Rs485BaudRate)->items[static_cast<size_t>(baudItem)]),
        parityItem};
}

}  // namespace

ModuleJob::ModuleJob(Link* link, QObject* parent)
    : QObject(parent), link_(link), comm_(link->Comm()), runner_(link->Sequencer()) {
    connect(runner_, &RequestRunner::replied, this, [this](int step, const QByteArray&) {
        if (phase_ == Phase::Snapshot || phase_ == Phase::Applying || phase_ == Phase::Reading)
            StepDone(step);
    });
    connect(runner_, &RequestRunner::ended, this, [this] {
        if (phase_ == Phase::Snapshot || phase_ == Phase::Applying || phase_ == Phase::Reading)
            SequenceEnded();
    });
    connect(runner_, &RequestRunner::sent, this, [this](int, const QByteArray& frame) {
        if (phase_ == Phase::Applying && frame.startsWith("QQS#BA2:")) rs485Sent_ = true;
    });
}

int ModuleJob::mismatches() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const VerifyRow& r) { return r.mismatch; }));
}

std::string ModuleJob::LineNow() const {
    const std::string now = LineSettingsText(std::to_string(comm_->BaudRate()), TByteSize::_8,
                                             static_cast<int>(comm_->Parity), TStopBits::_1);
    if (!rs485Sent_ || lineSwitched_ || wanted_.settings.empty()) return now;
    const auto [baud, parity] = WantedLine(wanted_);
    const std::string next = LineSettingsText(baud, TByteSize::_8, parity, TStopBits::_1);
    if (next == now) return now;
    if (rs485Acked_) return next + " (the port has not followed yet: it is on " + now + ")";
    return "either " + now + " or " + next +
           " (the RS485 command went out, its acknowledgement did not come back)";
}

ApplyReport ModuleJob::report() const {
    ApplyReport r{applied_, plan_.skipped, rows_, failure_.toStdString()};
    for (size_t i = applied_.size(); i < plan_.steps.size(); ++i)
        r.unsent.push_back(plan_.steps[i].label);
    r.retries = retryLines_;
    r.lineNow = LineNow();
    r.snapshotTaken = !snapshot_.settings.empty();
    return r;
}

bool ModuleJob::StartRead(int meterTypeItem) {
    if (IsRunning() || runner_->IsRunning()) return false;
    Reset();
    verify_ = false;
    meterTypeItem_ = meterTypeItem;
    total_ = static_cast<int>(ReadModuleSteps().size());
    StartReading();
    return true;
}

bool ModuleJob::StartApply(const Profile& profile, bool verify) {
    if (IsRunning() || runner_->IsRunning()) return false;
    Reset();
    // Nothing goes out of a profile with a value its field cannot carry.
    if (const auto problem = ValidateProfile(profile)) {
        outcome_ = Outcome::WrongReply;
        failure_ = QString::fromStdString("Not applied: field " + problem->field + ": " +
                                          problem->problem);
        return false;
    }
    wanted_ = profile;
    verify_ = verify;
    const ConfigField* type = profile.Find(ConfigSetting::HartMeterType);
    meterTypeItem_ = type ? type->number : 0;
    plan_ = PlanApply(profile);
    const size_t reads = ReadModuleSteps().size();
    total_ = static_cast<int>(reads + plan_.steps.size() + (verify ? reads : 0));
    // The module as it is, before anything changes it: what a restore goes back to.
    Run(Phase::Snapshot, ReadModuleSteps());
    return true;
}

void ModuleJob::Reset() {
    outcome_ = Outcome::Done;
    failure_.clear();
    wanted_ = {};
    stopRequested_ = false;
    done_ = 0;
    plan_ = {};
    applyNext_ = 0;
    readReplies_.clear();
    snapshotReplies_.clear();
    readBack_ = {};
    snapshot_ = {};
    applied_.clear();
    rows_.clear();
    retryLines_.clear();
    rs485Sent_ = false;
    rs485Acked_ = false;
    lineSwitched_ = false;
}

void ModuleJob::Run(Phase phase, std::vector<SequenceStep> steps) {
    phase_ = phase;
    retriesLeft_ = retries_;
    remaining_ = steps;
    runner_->Run(std::move(steps));
}

void ModuleJob::Cancel() {
    if (phase_ == Phase::Switching) return Finish(Outcome::Cancelled, "Cancelled");
    if (IsRunning()) runner_->Cancel();
}

void ModuleJob::RequestStop() {
    stopRequested_ = true;
    if (phase_ == Phase::Switching) Finish(Outcome::Cancelled, "Stopped on request");
}

void ModuleJob::StartReading() { Run(Phase::Reading, ReadModuleSteps()); }

void ModuleJob::StepDone(int step) {
    const auto& steps = runner_->sequence().steps();
    const SequenceStep& done = steps[static_cast<size_t>(step)];
    const std::string& reply = runner_->sequence().replies().back();
    switch (phase_) {
        case Phase::Snapshot:
            snapshotReplies_.push_back(reply);
            break;
        case Phase::Applying:
            applied_.push_back({done.label, reply});
            if (IsRs485Step(done)) rs485Acked_ = true;
            ++applyNext_;
            break;
        default:
            readReplies_.push_back(reply);
            break;
    }
    if (!remaining_.empty()) remaining_.erase(remaining_.begin());
    retriesLeft_ = retries_;  // each exchange has its own tries
    ++done_;
    emit progress(done_, total_, QString::fromStdString(done.label));
    // Stops between two exchanges, never inside one.
    if (stopRequested_ && runner_->IsRunning()) runner_->Cancel();
}

bool ModuleJob::Retry(const QString& why) {
    if (stopRequested_ || retriesLeft_ <= 0 || remaining_.empty()) return false;
    --retriesLeft_;
    const RequestSequence& seq = runner_->sequence();
    retryLines_.push_back(QString("%1 (try %2 of %3): %4")
                              .arg(QString::fromStdString(seq.steps()[seq.current()].label))
                              .arg(retries_ - retriesLeft_ + 1)
                              .arg(retries_ + 1)
                              .arg(why)
                              .toStdString());
    runner_->Run(remaining_);
    return true;
}

void ModuleJob::SequenceEnded() {
    const RequestSequence& seq = runner_->sequence();
    const QString step = seq.current() < seq.steps().size()
                             ? QString("step %1 of %2 (%3)")
                                   .arg(done_ + 1)
                                   .arg(total_)
                                   .arg(QString::fromStdString(seq.steps()[seq.current()].label))
                             : QString();
    const bool cut = seq.state() == RequestSequence::State::Failed &&
                     seq.verdict().state == VerdictState::Incomplete;
    switch (seq.state()) {
        case RequestSequence::State::Cancelled:
            if (stopRequested_)
                return Finish(Outcome::Cancelled, "Stopped on request before " + step);
            return Finish(Outcome::Cancelled, "Cancelled at " + step);
        case RequestSequence::State::TimedOut:
            if (Retry("no reply")) return;
            if (stopRequested_) return Finish(Outcome::Cancelled, "Stopped on request at " + step);
            return Finish(Outcome::TimedOut, "No reply at " + step + ": " + runner_->failure());
        case RequestSequence::State::Failed:
            // A cut reply was lost on the way; a wrong one (a refusal) stays wrong.
            if (cut && Retry(runner_->failure())) return;
            return Finish(Outcome::WrongReply, "Reply at " + step + " " + runner_->failure());
        default:
            break;
    }
    if (stopRequested_) return Finish(Outcome::Cancelled, "Stopped on request");
    PhaseDone();
}

void ModuleJob::PhaseDone() {
    switch (phase_) {
        case Phase::Snapshot:
            snapshot_ = DecodeReadBack(snapshotReplies_, meterTypeItem_);
            return Run(Phase::Applying, plan_.steps);
        case Phase::Applying:
            if (!plan_.steps.empty() && IsRs485Step(plan_.steps.back())) {
                phase_ = Phase::Switching;
                runner_->Hold();  // nothing else may use the line until it is reopened
                QTimer::singleShot(kLineSwitchPauseMs, this, &ModuleJob::Switch);
            } else if (verify_) {
                StartReading();
            } else {
                Finish(Outcome::Done);
            }
            return;
        default:
            readBack_ = DecodeReadBack(readReplies_, meterTypeItem_);
            if (verify_) rows_ = VerifyProfile(wanted_, readBack_);
            Finish(Outcome::Done);
    }
}

void ModuleJob::Switch() {
    if (phase_ != Phase::Switching) return;  // cancelled during the pause
    runner_->Release();  // only this job runs on: the next sequence or the end follows at once
    const auto [baud, parityItem] = WantedLine(wanted_);
    const auto speed = TryStrToInt(baud);
    if (!speed || *speed <= 0)
        return Finish(Outcome::PortFailed,
                      QString("Could not reopen the port at %1 baud: not a baud rate")
                          .arg(QString::fromStdString(baud)));
    link_->Close();
    comm_->SetBaudRate(static_cast<uint32_t>(*speed));
    comm_->Parity = static_cast<TParity>(parityItem);
    try {
        link_->Open();
    } catch (const ECommsError& error) {
        return Finish(Outcome::PortFailed,
                      QString("Could not reopen the port at %1 baud: %2")
                          .arg(QString::fromStdString(baud), QString::fromLocal8Bit(error.what())));
    }
    lineSwitched_ = true;
    emit lineChanged(comm_->BaudRate(), parityItem);
    if (verify_) {
        StartReading();
    } else {
        Finish(Outcome::Done);
    }
}

void ModuleJob::Finish(Outcome outcome, const QString& failure) {
    phase_ = Phase::Idle;
    runner_->Release();
    outcome_ = outcome;
    failure_ = failure;
    emit finished();
}
