// Reading and writing the HART instrument over the link: command 0 at a
// polling address, then its tag, message, device information, loop current
// and primary variable, and its additional status (command 48), each on its
// own, so one the instrument does not answer leaves the others shown; a write
// (exchange/hartinstrument.h) is always followed by the read that shows what it left, compared with
// what was written.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "exchange/hartinstrument.h"
#include "exchange/requestsequence.h"

class Link;
class LinkRun;

class HartInstrumentJob : public QObject {
    Q_OBJECT
public:
    explicit HartInstrumentJob(Link* link, QObject* parent = nullptr);

    // False while another sequence has the line.
    bool StartRead(int pollingAddress);
    // To the instrument last read; false with failure() when nothing was read
    // yet, the write cannot be built or the line is busy.
    bool StartWrite(const HartWrite& write);
    bool IsRunning() const { return running_; }

    bool ok() const { return failure_.isEmpty(); }
    // Why the job stopped short: the step and the reply's verdict ("reply to
    // HART command 18 wrong: response code 7 in write-protect mode").
    const QString& failure() const { return failure_; }
    const HartInstrumentReading& reading() const { return reading_; }
    bool identified() const { return identified_; }
    // After a read: what the instrument did not answer (each read goes on
    // without it), "" when it answered all.
    const QString& gaps() const { return gaps_; }
    // After a write: "" when the read back holds what was written, else what differs.
    const QString& readBackDifference() const { return difference_; }
    // The warnings the instrument's replies came with, their data kept: after
    // a write, "response code 8 set to nearest possible value"; after a read,
    // each command's, "command 2: response code 8 ..."; else "".
    const QString& warning() const { return warning_; }
    // Whether the failure, or a gap of a read, was a request nobody answered
    // (the run timed out) rather than a refusal or a damaged reply.
    bool timedOut() const { return timedOut_; }

signals:
    void finished();

private:
    void Exchange(std::vector<SequenceStep> steps,
                  std::function<void(const std::vector<std::string>&)> done,
                  std::function<void(const LinkRun&)> failed = {});
    void Done(const QString& failure = {});
    // Notes a run that stopped short: whether it was a silence.
    void Noted(const LinkRun& run);
    void ReadNext(std::vector<SequenceStep> steps, size_t at);
    // What the reply to read `command` says, into the reading.
    void Keep(uint8_t command, std::span<const uint8_t> reply);

    Link* link_;
    HartInstrumentReading reading_;
    bool identified_ = false;
    bool running_ = false;
    bool timedOut_ = false;
    QString failure_;
    QString difference_;
    QString warning_;
    QString gaps_;
};
