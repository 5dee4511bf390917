// The commissioning commands over the link (exchange/hartcommission.h):
// command 0 at the polling address, then a write with the read that shows
// what it left, a self test with its status, a device reset, or the loop
// current trim with the engineer's readings supplied as they are asked for
// (readingWanted). The line is held from command 0 to the end, so nobody's
// exchange comes between a write and its read back, or into the trim. The
// trim always ends with command 40 with 0: after the gain trim, on Cancel, on
// a refusal or a lost reply. Shared by the HART Instrument window and tavrix-cli.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "exchange/hartcommission.h"

class Link;
class LinkRun;

class HartCommissionJob : public QObject {
    Q_OBJECT
public:
    explicit HartCommissionJob(Link* link, QObject* parent = nullptr);
    // Tries after the first for an exchange whose reply was lost or damaged (2).
    void SetRetries(int retries) { retries_ = retries; }

    // False while another sequence has the line.
    bool Start(int pollingAddress, const HartCommission& write);
    bool StartTrim(int pollingAddress);
    // The engineer's meter reading at trim()->Level(); false with `error`
    // when none is awaited or it is no reading of that level.
    bool SupplyReading(double milliamperes, QString* error = nullptr);
    // Stops after the exchange under way; a trim still leaves fixed current mode.
    void Cancel();

    bool IsRunning() const { return running_; }
    bool AwaitsReading() const { return trim_ && trim_->AwaitsReading(); }
    const HartCommission& write() const { return write_; }
    // After command 0: the instrument, and the change in words.
    const std::optional<HartDeviceReply>& device() const { return device_; }
    const QString& change() const { return change_; }
    // A write's verdict (its NoReply text says why when command 0 failed).
    const HartCommissionResult& result() const { return result_; }
    // Whether the exchange that ended the job was one nobody answered (its
    // run timed out): a NoReply that was a silence, not a damaged reply.
    bool timedOut() const { return timedOut_; }
    // The device information the read back brought (damping, units), if any.
    const std::optional<HartDeviceInfo>& info() const { return info_; }
    // The trim under way or last run; nullptr before the first.
    const HartLoopTrim* trim() const { return trim_.get(); }
    // A trim's failure before it began (command 0); "" otherwise.
    const QString& trimFailure() const { return trimFailure_; }

signals:
    void progress(const QString& what);
    // The trim holds the loop at trim()->Level(): the engineer reads the meter.
    void readingWanted();
    void finished();

private:
    enum class Phase { Idle, Identity, Before, Write, ReadBack, Module, Trim };
    void Run(Phase phase, std::vector<SequenceStep> steps);
    void Ended();
    void WriteNow();
    void ReadBackNow();
    void TrimNext();
    void Finish();

    Link* link_;
    LinkRun* run_ = nullptr;
    Phase phase_ = Phase::Idle;
    bool running_ = false;
    bool trimming_ = false;
    bool cancelRequested_ = false;
    int pollingAddress_ = 0;
    int retries_ = 2;
    int busyTries_ = 0;
    bool timedOut_ = false;
    HartCommission write_;
    std::optional<HartDeviceReply> device_;
    std::optional<HartDeviceInfo> before_;
    std::optional<HartDeviceInfo> info_;
    HartExchange sent_;
    QString change_;
    HartCommissionResult result_;
    std::unique_ptr<HartLoopTrim> trim_;
    QString trimFailure_;
};
