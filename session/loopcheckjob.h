// The loop check over the link: the instrument's identity (command 0 at its
// polling address), the module's byte orders, coefficients and slave address
// (its system and MODBUS parameter queries), then each point's steps
// (exchange/loopcheck.h) judged as they come. Whatever ends it, the last
// exchange is command 40 with 0, so the loop never stays held: after the last
// point, on Cancel, on a failure. Whether the instrument confirmed leaving
// fixed current mode is part of the report, never assumed. Shared by the HART
// Instrument window and tavrix-cli.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "exchange/crosscheck.h"
#include "exchange/loopcheck.h"
#include "exchange/requestsequence.h"
#include "hart/frames.h"

class Link;
class LinkRun;

struct LoopCheckReport {
    std::vector<double> targets;
    double tolerance = kDefaultLoopTolerance;
    bool identified = false;
    HartIdentity identity;
    int slave = 0;
    CrossCheckSettings module;
    std::vector<LoopPointResult> points;  // one a point measured, in order
    bool cancelled = false;
    QString failure;                // why it stopped short of the last point; "" when it did not
    bool fixedModeEntered = false;  // a command 40 with a current was sent
    bool fixedModeLeft = false;     // command 40 with 0 was confirmed
    QString exitNote;               // what became of fixed current mode, said in full
    QString finishedAt;             // local time the check ended, "2026-12-09 11:40:02"

    // Every point measured and within tolerance, and the loop released.
    bool Passed() const;
    // "3 of 3 points within 0.05 mA"; what stopped it short when something did.
    std::string Summary() const;
    // For the certificate: when and the summary, one line a point (LoopPointLine), the exit note.
    std::vector<std::string> Lines() const;
};

class LoopCheckJob : public QObject {
    Q_OBJECT
public:
    explicit LoopCheckJob(Link* link, QObject* parent = nullptr);
    // Tries after the first for an exchange whose reply was lost or damaged (2).
    void SetRetries(int retries) { retries_ = retries; }

    // False while another sequence has the line.
    bool Start(int pollingAddress, std::vector<double> points,
               double tolerance = kDefaultLoopTolerance);
    // Stops after the exchange under way and leaves fixed current mode.
    void Cancel();
    bool IsRunning() const { return phase_ != Phase::Idle; }
    const LoopCheckReport& report() const { return report_; }
    // The request code of the step that got no reply and stopped the check; 0
    // when none did (a refusal, a damaged reply, a cancel or a pass).
    int timedOutCode() const { return timedOutCode_; }

signals:
    void progress(const QString& what);
    void pointDone(int index);
    void finished();

private:
    enum class Phase { Idle, Identity, Module, Point, Leaving };
    void Run(Phase phase, std::vector<SequenceStep> steps);
    void Ended();
    void NextPoint();
    void Leave();
    void Finish();

    Link* link_;
    LinkRun* run_ = nullptr;
    Phase phase_ = Phase::Idle;
    int pollingAddress_ = 0;
    size_t point_ = 0;
    int timedOutCode_ = 0;
    int leaveTries_ = 0;
    bool cancelRequested_ = false;
    LoopCheckReport report_;
    int retries_ = 2;
};
