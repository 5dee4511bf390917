// Feeds a link's traffic to a journal file: the link's events go into a
// small traffic log of the follower's own (the rows and notes the traffic
// panel shows, without keeping a history) and each event's row is written to
// the journal as it comes. The file opens at the link's first event, named by
// the port; one file for the follower's whole life. The window and tavrix-cli
// each keep one per link.
#pragma once

#include <QObject>
#include <string>

#include "traffic/journal.h"
#include "traffic/trafficlog.h"

class Link;

// The port and its line settings as the traffic log names them.
TrafficLine TrafficLineOf(const Link& link);

class JournalFollower : public QObject {
    Q_OBJECT
public:
    JournalFollower(Link* link, std::string folder, std::string toolVersion,
                    QObject* parent = nullptr);
    ~JournalFollower() override;

    // Off closes the file; on again starts a new one at the next event.
    void SetEnabled(bool on);
    bool enabled() const { return enabled_; }
    void SetSizeCap(uint64_t cap) { cap_ = cap; }
    const std::string& folder() const { return folder_; }
    // The file being written; empty before the first event or when off.
    std::string path() const { return journal_.IsOpen() ? journal_.path() : std::string(); }
    // Why the journal could not be opened or written; empty when it could.
    const std::string& error() const { return error_; }

private:
    template <typename Add>
    void Record(Add add);

    Link* link_;
    std::string folder_;
    std::string toolVersion_;
    uint64_t cap_ = kJournalSizeCap;
    bool enabled_ = true;
    bool failed_ = false;  // not retried on every event once it could not open
    TrafficLog log_{64};   // the rows' context; the journal keeps the history
    TrafficJournal journal_;
    std::string error_;
};
