// The traffic log as a table for the traffic panel, fed by the link's
// results (Follow). Recording never throws and never touches the port.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <optional>
#include <string>

#include "traffic/trafficformat.h"
#include "traffic/trafficlog.h"

class Link;
class QColor;

// The colour a grade is shown in; invalid for None.
QColor GradeColor(Grade grade);

class TrafficLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrafficLogModel(QObject* parent = nullptr,
                             size_t capacity = TrafficLog::kDefaultCapacity);

    // Records every result of `link`: its one feed.
    void Follow(const Link* link);

    void Sent(const ExchangeRecord& request);  // a frame handed to the port
    // A block as the port delivers it; `request` nullptr when none was made.
    void Received(const uint8_t* data, size_t length, const ExchangeRecord* request);
    void TimedOut(const ExchangeRecord& request);  // the reply timeout fired
    void Opened(const Link& link);
    void Closed();
    void HungUp();
    void Dropped(size_t count, size_t waiting);
    void Clear();
    // Replaces the log with a saved one read back (text or CSV); false, with
    // the line that is wrong in `error`, when `text` is not a traffic log.
    bool Load(std::string_view text, std::string* error);

    const TrafficLog& log() const { return log_; }
    // The row's cells as shown; the same rows are saved.
    TrafficRow Row(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    void statisticsChanged();

private:
    template <typename Record>
    void Add(Record record);
    TrafficTime EventNow() const;

    TrafficLog log_;
    const Link* link_ = nullptr;  // followed: its events carry their time
    // data() asks for a row's cells one column at a time: format it once.
    mutable std::optional<std::pair<int, TrafficRow>> cached_;
};
