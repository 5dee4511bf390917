#include "session/modulejob.h"

#include <QTimer>
#include <algorithm>

#include "profile/profilesettings.h"
#include "protocol/strtoint.h"
#include "serial/linetext.h"
#include "session/link.h"
#include "session/linkrun.h"

namespace {

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

ModuleJob::ModuleJob(Link* link, QObject* parent) : QObject(parent), link_(link) {}

int ModuleJob::mismatches() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const VerifyRow& r) { return r.mismatch; }));
}

std::string ModuleJob::LineNow() const {
    const PortSettings& line = link_->Settings();
    const std::string now = LineSettingsText(std::to_string(line.baudRate), TByteSize::_8,
                                             static_cast<int>(line.parity), TStopBits::_1);
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
    if (IsRunning() || !link_->Hold(this)) return false;
    Reset();
    verify_ = false;
    meterTypeItem_ = meterTypeItem;
    total_ = static_cast<int>(ReadModuleSteps().size());
    StartReading();
    return true;
}

bool ModuleJob::StartApply(const Profile& profile, bool verify) {
    if (IsRunning() || link_->RunsActive()) return false;
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
    // The whole job keeps the line: nobody's exchange comes between its phases.
    link_->Hold(this);
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
    if (run_) run_->deleteLater();
    run_ = link_->Start(std::move(steps), {.retries = stopRequested_ ? 0 : retries_}, this);
    connect(run_, &LinkRun::sent, this, [this](int, const QByteArray& frame) {
        if (phase_ == Phase::Applying && frame.startsWith("QQS#BA2:")) rs485Sent_ = true;
    });
    connect(run_, &LinkRun::replied, this, &ModuleJob::StepDone);
    connect(run_, &LinkRun::retried, this,
            [this](int step, int attempt, int tries, const QString& why) {
                retryLines_.push_back(
                    QString("%1 (try %2 of %3): %4")
                        .arg(QString::fromStdString(run_->steps()[static_cast<size_t>(step)].label))
                        .arg(attempt)
                        .arg(tries)
                        .arg(why)
                        .toStdString());
            });
    connect(run_, &LinkRun::finished, this, &ModuleJob::RunEnded);
}

void ModuleJob::Cancel() {
    if (phase_ == Phase::Switching) return Finish(Outcome::Cancelled, "Cancelled");
    if (IsRunning() && run_) run_->Cancel();
}

void ModuleJob::RequestStop() {
    stopRequested_ = true;
    if (run_) run_->SetRetries(0);
    if (phase_ == Phase::Switching) Finish(Outcome::Cancelled, "Stopped on request");
}

void ModuleJob::StartReading() { Run(Phase::Reading, ReadModuleSteps()); }

void ModuleJob::StepDone(int step) {
    const SequenceStep& done = run_->steps()[static_cast<size_t>(step)];
    const std::string& reply = run_->LastReply();
    switch (phase_) {
        case Phase::Snapshot:
            snapshotReplies_.push_back(reply);
            break;
        case Phase::Applying:
            applied_.push_back({done.label, reply});
            if (IsRs485Step(done)) rs485Acked_ = true;
            break;
        default:
            readReplies_.push_back(reply);
            break;
    }
    ++done_;
    emit progress(done_, total_, QString::fromStdString(done.label));
    // Stops between two exchanges, never inside one.
    if (stopRequested_ && run_->active()) run_->Cancel();
}

void ModuleJob::RunEnded() {
    if (phase_ == Phase::Idle) return;  // the job ended and let its run go
    const LinkRun& run = *run_;
    const QString step = run.current() < run.steps().size()
                             ? QString("step %1 of %2 (%3)")
                                   .arg(done_ + 1)
                                   .arg(total_)
                                   .arg(QString::fromStdString(run.steps()[run.current()].label))
                             : QString();
    switch (run.state()) {
        case LinkRun::State::Cancelled:
            if (stopRequested_)
                return Finish(Outcome::Cancelled, "Stopped on request before " + step);
            return Finish(Outcome::Cancelled, "Cancelled at " + step);
        case LinkRun::State::TimedOut:
            if (stopRequested_) return Finish(Outcome::Cancelled, "Stopped on request at " + step);
            return Finish(Outcome::TimedOut, "No reply at " + step + ": " + run.failure());
        case LinkRun::State::Failed:
            return Finish(Outcome::WrongReply, "Reply at " + step + " " + run.failure());
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
                phase_ = Phase::Switching;  // the job still holds the line
                QTimer::singleShot(lineSwitchPauseMs_, this, &ModuleJob::Switch);
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
    const auto [baud, parityItem] = WantedLine(wanted_);
    const auto speed = TryStrToInt(baud);
    if (!speed || *speed <= 0)
        return Finish(Outcome::PortFailed,
                      QString("Could not reopen the port at %1 baud: not a baud rate")
                          .arg(QString::fromStdString(baud)));
    try {
        link_->Reopen(static_cast<uint32_t>(*speed), static_cast<TParity>(parityItem));
    } catch (const ECommsError& error) {
        return Finish(Outcome::PortFailed,
                      QString("Could not reopen the port at %1 baud: %2")
                          .arg(QString::fromStdString(baud), QString::fromLocal8Bit(error.what())));
    }
    lineSwitched_ = true;
    emit lineChanged(link_->Settings().baudRate, parityItem);
    if (verify_) {
        StartReading();
    } else {
        Finish(Outcome::Done);
    }
}

void ModuleJob::Finish(Outcome outcome, const QString& failure) {
    phase_ = Phase::Idle;
    if (run_) run_->Cancel();
    link_->Release(this);
    outcome_ = outcome;
    failure_ = failure;
    emit finished();
}
