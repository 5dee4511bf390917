// Runs a scan plan (exchange/scanplan.h) on the link: one candidate after
// another, each a one-step sequence, its bytes judged by the plan. A line
// scan reopens the port at each candidate's speed and parity and puts the
// line back as it found it at the end, found or not; the bus and instrument
// scans run on the line as it is. Every frame goes out through the link, so
// the traffic log sees it. A bus or instrument scan given a line runs on it
// and puts the line back too. Each candidate's run waits for the line to be
// quiet (the last reply ended and t3.5, or its timeout); a candidate whose
// bytes may be its reply spoiled is asked again as the plan's retries allow.
// Shared by the Find Module dialog and tavrix-cli.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "exchange/scanplan.h"
#include "serial/tcomm.h"

class Link;
class LinkRun;

struct ScanReport {
    // As the plan's tally (exchange/scanplan.h) has them.
    std::vector<ScanFind> finds;
    using Note = ScanTally::Note;
    std::vector<Note> garbage;  // bytes that answered nothing at a candidate's last try
    size_t noisy = 0;    // candidates still spoiled after their retries: finds noise may hide
    size_t retries = 0;  // tries after a candidate's first
    size_t tried = 0;    // candidates whose exchanges ended
    bool cancelled = false;
    QString failure;  // why the scan stopped short (the port, the line): "" otherwise
    std::chrono::milliseconds elapsed{0};
};

class ScanJob : public QObject {
    Q_OBJECT
public:
    explicit ScanJob(Link* link, QObject* parent = nullptr);

    // False (nothing sent) when the port is closed, the line is busy or the
    // plan is empty.
    bool Start(ScanPlan plan);
    // Stops at once; a line scan still puts the line back.
    void Cancel();
    bool running() const { return running_; }
    const ScanPlan& plan() const { return plan_; }
    const ScanReport& report() const { return report_; }

signals:
    void trying(int candidate, int total, const QString& label);
    void found(const ScanFind& find);
    // Bytes that answered nothing; `again`: the candidate is asked once more.
    void noted(int candidate, const QString& note, bool again);
    void finished();

private:
    void Next();
    void Ended();
    void Finish(const QString& failure = {});
    bool SetLine(const LineSetting& line);

    Link* link_;
    LinkRun* run_ = nullptr;  // the candidate under way
    ScanPlan plan_;
    ScanReport report_;
    std::optional<ScanTally> tally_;
    bool running_ = false;
    bool cancelling_ = false;
    // The line as the engineer had it, for a line scan to put back.
    uint32_t baud_ = 0;
    TParity parity_ = TParity::None;
    QElapsedTimer clock_;
    // When the candidate's frame went out, and its first reply block came:
    // bytes too soon for it are an earlier candidate's (exchange/scanplan.h).
    std::chrono::steady_clock::time_point sentAt_{};
    std::optional<ReplyArrival> arrival_;
};
