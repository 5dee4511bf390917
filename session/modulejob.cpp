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
    total_ = static_cast<int>(2 * ReadModuleSteps().size());
    ReadAll(Phase::Reading);
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
    total_ = static_cast<int>(2 * reads + plan_.steps.size() + (verify ? reads : 0));
    // The whole job keeps the line: nobody's exchange comes between its phases.
    link_->Hold(this);
    // The module as it is, before anything changes it: what a restore goes back to.
    ReadAll(Phase::Snapshot);
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
    readings_.clear();
    stepQuery_.clear();
    readRounds_ = 0;
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
    const auto sending = [this](const SequenceStep& step) {
        if (phase_ != Phase::Applying) return;
        const bool rs485 = IsRs485Step(step);
        if (rs485) rs485Sent_ = true;
        emit setCommandSent(QString::fromStdString(step.label), rs485);
    };
    // The first frame may go out within Start(), before anyone can hear it
    // sent; said beforehand, a kill between the two still finds it recorded.
    if (!steps.empty()) sending(steps.front());
    run_ = link_->Start(std::move(steps), {.retries = stopRequested_ ? 0 : retries_}, this);
    connect(run_, &LinkRun::sent, this, [this, sending](int step, const QByteArray&) {
        sending(run_->steps()[static_cast<size_t>(step)]);
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

// The verification compares with the profile, which catches a damaged
// reading; a read or a snapshot has nothing to compare with but itself.
void ModuleJob::StartReading() {
    if (!verify_) return ReadAll(Phase::Reading);
    stepQuery_.clear();
    Run(Phase::Reading, ReadModuleSteps());
}

void ModuleJob::ReadAll(Phase phase) {
    const std::vector<SequenceStep> queries = ReadModuleSteps();
    readings_.assign(queries.size(), {});
    readRounds_ = 0;
    std::vector<SequenceStep> steps;
    stepQuery_.clear();
    for (size_t q = 0; q < queries.size(); ++q) {
        for (int reading = 0; reading < 2; ++reading) {
            steps.push_back(queries[q]);
            stepQuery_.push_back(q);
        }
    }
    Run(phase, std::move(steps));
}

void ModuleJob::ReadAgain(const std::vector<size_t>& queries) {
    const std::vector<SequenceStep> all = ReadModuleSteps();
    std::vector<SequenceStep> steps;
    stepQuery_ = queries;
    for (const size_t q : queries) steps.push_back(all[q]);
    total_ += static_cast<int>(queries.size());
    ++readRounds_;
    Run(phase_, std::move(steps));
}

namespace {

// A reading that another one repeats byte for byte.
const std::string* Confirmed(const std::vector<std::string>& readings) {
    for (size_t i = 0; i < readings.size(); ++i) {
        for (size_t j = i + 1; j < readings.size(); ++j) {
            if (readings[i] == readings[j]) return &readings[i];
        }
    }
    return nullptr;
}

}  // namespace

std::vector<size_t> ModuleJob::Unconfirmed() const {
    std::vector<size_t> left;
    for (size_t q = 0; q < readings_.size(); ++q) {
        if (!Confirmed(readings_[q])) left.push_back(q);
    }
    return left;
}

void ModuleJob::StepDone(int step) {
    const SequenceStep& done = run_->steps()[static_cast<size_t>(step)];
    const std::string& reply = run_->LastReply();
    switch (phase_) {
        case Phase::Snapshot:
            readings_[stepQuery_[static_cast<size_t>(step)]].push_back(reply);
            break;
        case Phase::Applying:
            applied_.push_back({done.label, reply});
            if (IsRs485Step(done)) rs485Acked_ = true;
            break;
        default:
            if (stepQuery_.empty()) {
                readReplies_.push_back(reply);
            } else {
                readings_[stepQuery_[static_cast<size_t>(step)]].push_back(reply);
            }
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
            return Finish(Outcome::TimedOut,
                          NotApplied() + "No reply at " + step + ": " + run.failure());
        case LinkRun::State::Failed:
            return Finish(Outcome::WrongReply, NotApplied() + "Reply at " + step + " " + run.failure());
        default:
            break;
    }
    if (stopRequested_) return Finish(Outcome::Cancelled, "Stopped on request");
    PhaseDone();
}

void ModuleJob::PhaseDone() {
    const bool confirming = phase_ == Phase::Snapshot || (phase_ == Phase::Reading && !verify_);
    if (confirming) {
        const std::vector<size_t> left = Unconfirmed();
        if (left.empty()) return ReadConfirmed();
        const std::vector<SequenceStep> queries = ReadModuleSteps();
        const std::string& label = queries[left.front()].label;
        if (readRounds_ >= retries_) {
            const QString why =
                QString("Reply to %1 not confirmed: %2 readings, no two alike")
                    .arg(QString::fromStdString(label))
                    .arg(readings_[left.front()].size());
            if (phase_ == Phase::Snapshot)
                return Finish(Outcome::WrongReply, "Not applied: the snapshot could not be read. " + why);
            return Finish(Outcome::WrongReply, why);
        }
        for (const size_t q : left) {
            retryLines_.push_back(QString("%1 (reading %2): the readings so far differ")
                                      .arg(QString::fromStdString(queries[q].label))
                                      .arg(readings_[q].size() + 1)
                                      .toStdString());
        }
        return ReadAgain(left);
    }
    switch (phase_) {
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
            rows_ = VerifyProfile(wanted_, readBack_);
            Finish(Outcome::Done);
    }
}

void ModuleJob::ReadConfirmed() {
    std::vector<std::string> replies;
    for (const auto& readings : readings_) replies.push_back(*Confirmed(readings));
    const Profile read = DecodeReadBack(replies, meterTypeItem_);
    // Each reply was whole and confirmed, yet a module may still leave a
    // setting out: a profile with a gap is no snapshot and no read.
    const auto problem = ValidateProfile(read);
    const QString gap =
        problem ? QString::fromStdString("field " + problem->field + ": " + problem->problem)
                : QString();
    if (phase_ == Phase::Reading) {
        readReplies_ = std::move(replies);
        readBack_ = read;
        if (problem) return Finish(Outcome::WrongReply, "The module's settings are incomplete: " + gap);
        return Finish(Outcome::Done);
    }
    snapshotReplies_ = std::move(replies);
    if (problem)
        return Finish(Outcome::WrongReply,
                      "Not applied: the snapshot is incomplete: " + gap);
    snapshot_ = read;
    if (snapshotKeeper_) {
        const QString why = snapshotKeeper_(snapshot_);
        if (!why.isEmpty()) return Finish(Outcome::WrongReply, "Not applied: " + why);
    }
    Run(Phase::Applying, plan_.steps);
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

QString ModuleJob::NotApplied() const {
    return phase_ == Phase::Snapshot ? "Not applied: the snapshot could not be read. " : "";
}

void ModuleJob::Finish(Outcome outcome, const QString& failure) {
    // What the window shows of a read that stopped: the replies confirmed so far.
    if (phase_ == Phase::Reading && !stepQuery_.empty() && readReplies_.empty()) {
        for (const auto& readings : readings_) {
            const std::string* confirmed = Confirmed(readings);
            if (!confirmed) break;
            readReplies_.push_back(*confirmed);
        }
    }
    phase_ = Phase::Idle;
    if (run_) run_->Cancel();
    link_->Release(this);
    outcome_ = outcome;
    failure_ = failure;
    emit finished();
}
