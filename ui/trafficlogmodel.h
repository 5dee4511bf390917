// The traffic log as a table for the traffic panel, and the hook points the
// window (and anything else that sends or receives on the port) feeds it
// through. Recording never throws and never touches the port.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <optional>
#include <string>

#include "traffic/trafficformat.h"
#include "traffic/trafficlog.h"

class TComm;

class TrafficLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TrafficLogModel(QObject* parent = nullptr,
                             size_t capacity = TrafficLog::kDefaultCapacity);

    // Hook points.
    void Sent(const std::string& frame);                // a frame handed to the port
    void Requested(int code);                           // the request that frame made
    void Received(const uint8_t* data, size_t length);  // a block as the port delivers it
    void TimedOut();                                    // the reply timeout fired
    void Opened(const TComm& comm);
    void Closed();
    void HungUp();
    void Dropped(size_t count, size_t waiting);
    void Clear();

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

    TrafficLog log_;
    // data() asks for a row's cells one column at a time: format it once.
    mutable std::optional<std::pair<int, TrafficRow>> cached_;
};
