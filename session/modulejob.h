// Whole-module jobs over the link's sequences: read every configuration query, or
// apply a profile's set commands, follow the module to its new line settings
// and read it back for verification. Shared by the window and tavrix-cli.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <utility>
#include <vector>

#include "profile/applyreport.h"
#include "profile/profile.h"
#include "profile/profilecommands.h"

class Link;
class RequestRunner;
class TComm;

class ModuleJob : public QObject {
    Q_OBJECT
public:
    // WrongReply: a reply was wrong (an error acknowledgement among them) or stayed incomplete.
    enum class Outcome { Done, TimedOut, WrongReply, Cancelled, PortFailed };

    explicit ModuleJob(Link* link, QObject* parent = nullptr);

    // `meterTypeItem`: the meter type assumed when the module's MODBUS reply
    // does not say (the window's list).
    bool StartRead(int meterTypeItem = 0);
    bool StartApply(const Profile& profile, bool verify);
    void Cancel();
    bool IsRunning() const { return phase_ != Phase::Idle; }

    Outcome outcome() const { return outcome_; }
    // Which step stopped the job and why; empty when it ran through.
    const QString& failure() const { return failure_; }
    // Replies to the read queries (ReadModuleSteps order), as far as they came.
    const std::vector<std::string>& readReplies() const { return readReplies_; }
    const Profile& readBack() const { return readBack_; }
    // Each set command sent with the module's reply text.
    const std::vector<std::pair<std::string, std::string>>& applied() const { return applied_; }
    const ApplyPlan& plan() const { return plan_; }
    const std::vector<VerifyRow>& rows() const { return rows_; }
    bool verified() const { return verify_ && outcome_ == Outcome::Done; }
    int mismatches() const;
    ApplyReport report() const;

signals:
    void progress(int done, int total, const QString& label);
    // The port was reopened at the profile's RS485 settings.
    void lineChanged(uint32_t baudRate, int parityItem);
    void finished();

private:
    enum class Phase { Idle, Applying, Switching, Reading };
    void Reset();
    void StartReading();
    void Switch();
    void StepDone(int step);
    void SequenceEnded();
    void Finish(Outcome outcome, const QString& failure = {});

    Link* link_;
    TComm* comm_;
    RequestRunner* runner_;
    Phase phase_ = Phase::Idle;
    Outcome outcome_ = Outcome::Done;
    QString failure_;
    Profile wanted_;
    bool verify_ = false;
    int meterTypeItem_ = 0;
    int total_ = 0;
    int done_ = 0;
    ApplyPlan plan_;
    std::vector<std::string> readReplies_;
    Profile readBack_;
    std::vector<std::pair<std::string, std::string>> applied_;
    std::vector<VerifyRow> rows_;
};
