// Whole-module jobs over the link's sequences: read every configuration
// query, or apply a profile as a transaction: read the module first (the
// snapshot), send the set commands with lost replies retried, follow the
// module to its new line settings and read it back for verification. Shared
// by the window and tavrix-cli.
//
// The configuration protocol has no checksum, so a reading is trusted only
// when it is confirmed by repetition: every query of a read or a snapshot is
// asked at least twice, and its reply counts once two readings agree byte for
// byte. Readings that disagree are asked again as the retries allow.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "profile/applyreport.h"
#include "profile/profile.h"
#include "profile/profilecommands.h"

class Link;
class LinkRun;

class ModuleJob : public QObject {
    Q_OBJECT
public:
    // WrongReply: a reply was wrong (an error acknowledgement among them) or stayed incomplete.
    enum class Outcome { Done, TimedOut, WrongReply, Cancelled, PortFailed };

    explicit ModuleJob(Link* link, QObject* parent = nullptr);

    // Tries after the first for an exchange whose reply was lost, cut or
    // damaged; rounds of readings beyond the two that confirm a query's
    // reply; and rounds of set commands sent again after a verification
    // found the module holding something else (2).
    void SetRetries(int retries) { retries_ = retries; }
    // Called with the confirmed snapshot before the first set command goes
    // out; a non-empty answer (why it could not be kept) stops the apply
    // before anything is sent.
    void SetSnapshotKeeper(std::function<QString(const Profile&)> keeper) {
        snapshotKeeper_ = std::move(keeper);
    }
    // How long the module is given to change its line after acknowledging
    // the RS485 command (500 ms); tests shorten it.
    void SetLineSwitchPause(int ms) { lineSwitchPauseMs_ = ms; }

    // `meterTypeItem`: the meter type assumed when the module's MODBUS reply
    // does not say (the window's list).
    bool StartRead(int meterTypeItem = 0);
    // False, with failure() saying why, for a profile ValidateProfile refuses.
    bool StartApply(const Profile& profile, bool verify);
    void Cancel();
    // Stops after the exchange under way (Ctrl-C): nothing is cut off mid-frame.
    void RequestStop();
    bool IsRunning() const { return phase_ != Phase::Idle; }

    Outcome outcome() const { return outcome_; }
    // Which step stopped the job and why; empty when it ran through.
    const QString& failure() const { return failure_; }
    // Confirmed replies to the read queries (ReadModuleSteps order), as far
    // as they were confirmed.
    const std::vector<std::string>& readReplies() const { return readReplies_; }
    const Profile& readBack() const { return readBack_; }
    // The module as it was before the apply sent anything; empty settings
    // when the snapshot could not be read.
    const Profile& snapshot() const { return snapshot_; }
    // Each set command sent and acknowledged, with the module's reply text.
    const std::vector<std::pair<std::string, std::string>>& applied() const { return applied_; }
    const ApplyPlan& plan() const { return plan_; }
    const std::vector<VerifyRow>& rows() const { return rows_; }
    const std::vector<std::string>& retries() const { return retryLines_; }
    bool verified() const { return verify_ && outcome_ == Outcome::Done && mismatches() == 0; }
    int mismatches() const;
    // The line settings the module is on now, as far as the job knows.
    std::string LineNow() const;
    ApplyReport report() const;

signals:
    void progress(int done, int total, const QString& label);
    // A set command is going out, or went out again (retried).
    void setCommandSent(const QString& label, bool rs485);
    // The port was reopened at the profile's RS485 settings.
    void lineChanged(uint32_t baudRate, int parityItem);
    void finished();

private:
    enum class Phase { Idle, Snapshot, Applying, Switching, Reading, Repairing };
    void Reset();
    void Run(Phase phase, std::vector<SequenceStep> steps);
    void StartReading();
    // Reads every query of ReadModuleSteps() until each has `needed`
    // readings that agree (2: confirmed by repetition; 1: the verification's).
    void ReadAll(Phase phase, int needed);
    void ReadRound(const std::vector<size_t>& queries);
    bool IsReading() const { return phase_ == Phase::Snapshot || phase_ == Phase::Reading; }
    // The query's reply once its readings settle it; nullptr before.
    const std::string* Settled(size_t query) const;
    std::vector<size_t> Unsettled() const;
    void ReadSettled();
    bool AnsweredThisPhase() const;
    // The words a failure of the snapshot begins with.
    QString NotApplied() const;
    void Switch();
    void StepDone(int step);
    void RunEnded();
    void PhaseDone();
    void Finish(Outcome outcome, const QString& failure = {});

    Link* link_;
    LinkRun* run_ = nullptr;  // the phase's run
    Phase phase_ = Phase::Idle;
    Outcome outcome_ = Outcome::Done;
    QString failure_;
    Profile wanted_;
    bool verify_ = false;
    bool stopRequested_ = false;
    int meterTypeItem_ = 0;
    int total_ = 0;
    int done_ = 0;
    int retries_ = 2;
    int lineSwitchPauseMs_ = 500;
    ApplyPlan plan_;
    std::vector<std::string> readReplies_;
    std::vector<std::string> snapshotReplies_;
    // The read phase's readings of each query of ReadModuleSteps(), and which
    // query each step of the run under way asks.
    std::vector<std::vector<std::string>> readings_;
    std::vector<size_t> stepQuery_;
    int readRounds_ = 0;
    int needed_ = 2;
    int repairs_ = 0;  // rounds of set commands sent again after a read-back differed
    std::function<QString(const Profile&)> snapshotKeeper_;
    Profile readBack_;
    Profile snapshot_;
    std::vector<std::pair<std::string, std::string>> applied_;
    std::vector<VerifyRow> rows_;
    std::vector<std::string> retryLines_;
    std::vector<std::string> sentLabels_;  // set commands that went out, acknowledged or not
    bool rs485Sent_ = false;     // the RS485 command went out
    bool rs485Acked_ = false;    // and the module acknowledged it
    bool lineSwitched_ = false;  // the port follows the module's new settings
};
