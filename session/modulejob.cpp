#include "session/modulejob.h"

#include <QTimer>
#include <algorithm>

#include "profile/profilesettings.h"
#include "serial/tcomm.h"
#include "session/link.h"
#include "session/requestrunner.h"

namespace {

// The module answers the RS485 command at its old settings and then changes
// its line; give it a moment before talking at the new ones.
constexpr int kLineSwitchPauseMs = 500;

bool IsRs485Step(const SequenceStep& step) { return step.frame.starts_with("QQS#BA2:"); }

}  // namespace

ModuleJob::ModuleJob(Link* link, QObject* parent)
    : QObject(parent), link_(link), comm_(link->Comm()), runner_(link->Sequencer()) {
    connect(runner_, &RequestRunner::replied, this, [this](int step, const QByteArray&) {
        if (phase_ == Phase::Applying || phase_ == Phase::Reading) StepDone(step);
    });
    connect(runner_, &RequestRunner::ended, this, [this] {
        if (phase_ == Phase::Applying || phase_ == Phase::Reading) SequenceEnded();
    });
}

int ModuleJob::mismatches() const {
    return static_cast<int>(
        std::count_if(rows_.begin(), rows_.end(), [](const VerifyRow& r) { return r.mismatch; }));
}

ApplyReport ModuleJob::report() const {
    return {applied_, plan_.skipped, rows_, failure_.toStdString()};
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
    wanted_ = profile;
    verify_ = verify;
    const ConfigField* type = profile.Find(ConfigControl::ComboBox17);
    meterTypeItem_ = type ? type->number : 0;
    plan_ = PlanApply(profile);
    total_ = static_cast<int>(plan_.steps.size() + (verify ? ReadModuleSteps().size() : 0));
    phase_ = Phase::Applying;
    runner_->Run(plan_.steps);
    return true;
}

void ModuleJob::Reset() {
    outcome_ = Outcome::Done;
    failure_.clear();
    wanted_ = {};
    done_ = 0;
    plan_ = {};
    readReplies_.clear();
    readBack_ = {};
    applied_.clear();
    rows_.clear();
}

void ModuleJob::Cancel() {
    if (phase_ == Phase::Switching) return Finish(Outcome::Cancelled, "Cancelled");
    if (IsRunning()) runner_->Cancel();
}

void ModuleJob::StartReading() {
    phase_ = Phase::Reading;
    runner_->Run(ReadModuleSteps());
}

void ModuleJob::StepDone(int step) {
    const auto& steps = runner_->sequence().steps();
    const std::string& reply = runner_->sequence().replies().back();
    if (phase_ == Phase::Applying) {
        applied_.push_back({steps[static_cast<size_t>(step)].label, reply});
    } else {
        readReplies_.push_back(reply);
    }
    ++done_;
    emit progress(done_, total_, QString::fromStdString(steps[static_cast<size_t>(step)].label));
}

void ModuleJob::SequenceEnded() {
    const RequestSequence& seq = runner_->sequence();
    const QString step = seq.current() < seq.steps().size()
                             ? QString("step %1 of %2 (%3)")
                                   .arg(done_ + 1)
                                   .arg(total_)
                                   .arg(QString::fromStdString(seq.steps()[seq.current()].label))
                             : QString();
    switch (seq.state()) {
        case RequestSequence::State::Cancelled:
            return Finish(Outcome::Cancelled, "Cancelled at " + step);
        case RequestSequence::State::TimedOut:
            return Finish(Outcome::TimedOut, "No reply at " + step + ": " + runner_->failure());
        case RequestSequence::State::Failed:
            return Finish(Outcome::WrongReply, "Reply at " + step + " " + runner_->failure());
        default:
            break;
    }
    if (phase_ == Phase::Applying) {
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
    }
    readBack_ = DecodeReadBack(readReplies_, meterTypeItem_);
    if (verify_) rows_ = VerifyProfile(wanted_, readBack_);
    Finish(Outcome::Done);
}

void ModuleJob::Switch() {
    if (phase_ != Phase::Switching) return;  // cancelled during the pause
    runner_->Release();  // only this job runs on: the next sequence or the end follows at once
    const int baudItem = wanted_.Find(ConfigControl::ComboBox8)->number;
    const int parityItem = wanted_.Find(ConfigControl::ComboBox9)->number;
    const std::string_view baud =
        FindProfileSetting(ConfigControl::ComboBox8)->items[static_cast<size_t>(baudItem)];
    link_->Close();
    comm_->SetBaudRate(static_cast<uint32_t>(std::stoul(std::string(baud))));
    comm_->Parity = static_cast<TParity>(parityItem);
    try {
        link_->Open();
    } catch (const ECommsError& error) {
        return Finish(Outcome::PortFailed,
                      QString("Could not reopen the port at %1 baud: %2")
                          .arg(QString::fromLatin1(baud.data(), static_cast<int>(baud.size())),
                               QString::fromLocal8Bit(error.what())));
    }
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
