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
    for (size_t i = applied_.size(); i < plan_.steps.size(); ++i) {
        const std::string& label = plan_.steps[i].label;
        r.unsent.push_back(label);
        if (std::find(sentLabels_.begin(), sentLabels_.end(), label) != sentLabels_.end())
            r.sentUnacknowledged.push_back(label);
    }
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
    ReadAll(Phase::Reading, 2);
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
    plan_ = PlanApply(profile);
    if (!plan_.steps.empty() && IsRs485Step(plan_.steps.back()) && !link_->FollowsLineChanges()) {
        const auto [baud, parity] = WantedLine(profile);
        const PortSettings& now = link_->Settings();
        if (baud != std::to_string(now.baudRate) || parity != static_cast<int>(now.parity)) {
            // Found out before anything is sent, not as a module that stopped answering.
            outcome_ = Outcome::PortFailed;
            failure_ = QString::fromStdString(
                "Not applied: the profile moves the module's line to " +
                LineSettingsText(baud, TByteSize::_8, parity, TStopBits::_1) +
                ", which this port cannot follow: a raw TCP connection keeps the serial device "
                "server's own settings. Change the server's settings, use rfc2217://, or apply "
                "a profile that keeps the line.");
            plan_ = {};
            return false;
        }
    }
    wanted_ = profile;
    verify_ = verify;
    const ConfigField* type = profile.Find(ConfigSetting::HartMeterType);
    meterTypeItem_ = type ? type->number : 0;
    const size_t reads = ReadModuleSteps().size();
    total_ = static_cast<int>(2 * reads + plan_.steps.size() + (verify ? reads : 0));
    // The whole job keeps the line: nobody's exchange comes between its phases.
    link_->Hold(this);
    // The module as it is, before anything changes it: what a restore goes back to.
    ReadAll(Phase::Snapshot, 2);
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
    repairs_ = 0;
    readBack_ = {};
    snapshot_ = {};
    applied_.clear();
    rows_.clear();
    retryLines_.clear();
    sentLabels_.clear();
    rs485Sent_ = false;
    rs485Acked_ = false;
    lineSwitched_ = false;
}

void ModuleJob::Run(Phase phase, std::vector<SequenceStep> steps) {
    phase_ = phase;
    if (run_) run_->deleteLater();
    const auto sending = [this](const SequenceStep& step) {
        if (phase_ != Phase::Applying && phase_ != Phase::Repairing) return;
        const bool rs485 = IsRs485Step(step);
        if (rs485) rs485Sent_ = true;
        sentLabels_.push_back(step.label);
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
void ModuleJob::StartReading() { ReadAll(Phase::Reading, verify_ ? 1 : 2); }

void ModuleJob::ReadAll(Phase phase, int needed) {
    readings_.assign(ReadModuleSteps().size(), {});
    needed_ = needed;
    readRounds_ = 0;
    std::vector<size_t> all(readings_.size());
    for (size_t q = 0; q < all.size(); ++q) all[q] = q;
    phase_ = phase;
    ReadRound(all);
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

const std::string* ModuleJob::Settled(size_t query) const {
    const std::vector<std::string>& readings = readings_[query];
    if (needed_ == 1) return readings.empty() ? nullptr : &readings.front();
    return Confirmed(readings);
}

void ModuleJob::ReadRound(const std::vector<size_t>& queries) {
    const std::vector<SequenceStep> all = ReadModuleSteps();
    std::vector<SequenceStep> steps;
    stepQuery_.clear();
    for (const size_t q : queries) {
        // Two to begin with; one more at a time to settle a disagreement.
        const int more = std::max(1, needed_ - static_cast<int>(readings_[q].size()));
        for (int i = 0; i < more; ++i) {
            steps.push_back(all[q]);
            stepQuery_.push_back(q);
        }
    }
    if (readRounds_ > 0) total_ += static_cast<int>(steps.size());
    Run(phase_, std::move(steps));
}

std::vector<size_t> ModuleJob::Unsettled() const {
    std::vector<size_t> left;
    for (size_t q = 0; q < readings_.size(); ++q) {
        if (!Settled(q)) left.push_back(q);
    }
    return left;
}

void ModuleJob::StepDone(int step) {
    const SequenceStep& done = run_->steps()[static_cast<size_t>(step)];
    const std::string& reply = run_->LastReply();
    switch (phase_) {
        case Phase::Repairing:
            retryLines_.push_back(done.label + ": sent again, as the read-back differed");
            break;
        case Phase::Applying:
            applied_.push_back({done.label, reply});
            if (IsRs485Step(done)) rs485Acked_ = true;
            break;
        default:
            readings_[stepQuery_[static_cast<size_t>(step)]].push_back(reply);
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
            // On a noisy line the module that answered the other queries is
            // still there: a reading lost on every try is one reading short.
            if (!IsReading() || !AnsweredThisPhase())
                return Finish(Outcome::TimedOut,
                              NotApplied() + "No reply at " + step + ": " + run.failure());
            [[fallthrough]];
        case LinkRun::State::Failed:
            // A reading damaged on every try is one reading short: the rest
            // of the round goes on, and the next round asks for it again.
            if (IsReading() && readRounds_ < retries_ && !stopRequested_) {
                retryLines_.push_back(QString("%1: damaged on every try (%2)")
                                          .arg(QString::fromStdString(run.steps()[run.current()].label),
                                               run.failure())
                                          .toStdString());
                ++done_;
                const size_t next = run.current() + 1;
                if (next < run.steps().size()) {
                    std::vector<SequenceStep> rest(run.steps().begin() + static_cast<long>(next),
                                                   run.steps().end());
                    stepQuery_.erase(stepQuery_.begin(), stepQuery_.begin() + static_cast<long>(next));
                    return Run(phase_, std::move(rest));
                }
                return PhaseDone();
            }
            if (run.state() == LinkRun::State::TimedOut)
                return Finish(Outcome::TimedOut,
                              NotApplied() + "No reply at " + step + ": " + run.failure());
            return Finish(Outcome::WrongReply, NotApplied() + "Reply at " + step + " " + run.failure());
        default:
            break;
    }
    if (stopRequested_) return Finish(Outcome::Cancelled, "Stopped on request");
    PhaseDone();
}

void ModuleJob::PhaseDone() {
    if (IsReading()) {
        const std::vector<size_t> left = Unsettled();
        if (left.empty()) return ReadSettled();
        const std::vector<SequenceStep> queries = ReadModuleSteps();
        if (readRounds_ >= retries_) {
            const size_t q = left.front();
            const QString label = QString::fromStdString(queries[q].label);
            const QString why =
                readings_[q].size() < static_cast<size_t>(needed_)
                    ? QString("Reply to %1 damaged on every try").arg(label)
                    : QString("Reply to %1 not confirmed: %2 readings, no two alike")
                          .arg(label)
                          .arg(readings_[q].size());
            return Finish(Outcome::WrongReply, NotApplied() + why);
        }
        for (const size_t q : left) {
            if (readings_[q].size() < 2 || needed_ < 2) continue;
            retryLines_.push_back(QString("%1 (reading %2): the readings so far differ")
                                      .arg(QString::fromStdString(queries[q].label))
                                      .arg(readings_[q].size() + 1)
                                      .toStdString());
        }
        ++readRounds_;
        return ReadRound(left);
    }
    // The set commands are done.
    if (phase_ == Phase::Repairing) return StartReading();
    if (!plan_.steps.empty() && IsRs485Step(plan_.steps.back())) {
        phase_ = Phase::Switching;  // the job still holds the line
        QTimer::singleShot(lineSwitchPauseMs_, this, &ModuleJob::Switch);
    } else if (verify_) {
        StartReading();
    } else {
        Finish(Outcome::Done);
    }
}

void ModuleJob::ReadSettled() {
    std::vector<std::string> replies;
    for (size_t q = 0; q < readings_.size(); ++q) replies.push_back(*Settled(q));
    const Profile read = DecodeReadBack(replies, meterTypeItem_);
    if (phase_ == Phase::Reading && verify_) {
        readReplies_ = std::move(replies);
        readBack_ = read;
        rows_ = VerifyProfile(wanted_, readBack_);
        // A set command damaged on its way may still be taken, with another
        // value: the commands of what differs go again, and the module is
        // read back again.
        const ApplyPlan repair = PlanRepair(wanted_, rows_);
        if (mismatches() == 0 || repair.steps.empty() || repairs_ >= retries_ || stopRequested_)
            return Finish(Outcome::Done);
        ++repairs_;
        total_ += static_cast<int>(repair.steps.size() + readings_.size());
        return Run(Phase::Repairing, repair.steps);
    }
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

bool ModuleJob::AnsweredThisPhase() const {
    return std::any_of(readings_.begin(), readings_.end(),
                       [](const auto& readings) { return !readings.empty(); });
}

QString ModuleJob::NotApplied() const {
    return phase_ == Phase::Snapshot ? "Not applied: the snapshot could not be read. " : "";
}

void ModuleJob::Finish(Outcome outcome, const QString& failure) {
    // What the window shows of a read that stopped: the replies settled so far.
    if (phase_ == Phase::Reading && readReplies_.empty()) {
        for (size_t q = 0; q < readings_.size() && Settled(q); ++q)
            readReplies_.push_back(*Settled(q));
    }
    phase_ = Phase::Idle;
    if (run_) run_->Cancel();
    link_->Release(this);
    outcome_ = outcome;
    failure_ = failure;
    emit finished();
}
