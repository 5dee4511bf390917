#include "ui/trafficlogmodel.h"

#include <QBrush>
#include <QColor>

#include "serial/probers.h"
#include "serial/tcomm.h"
#include "session/journalfollower.h"
#include "session/link.h"
#include "traffic/trafficfile.h"
#include "ui/desktoppalette.h"

namespace {

TrafficLine LineOf(const Link& link) {
    TrafficLine line = TrafficLineOf(link);
    line.prober = ProberNote(FindProbers(line.port));
    return line;
}

}  // namespace

QColor GradeColor(Grade grade) {
    switch (grade) {
        case Grade::Ok:
            return QColor(0x00, 0x70, 0x00);
        case Grade::Warning:
            return QColor(0xA0, 0x60, 0x00);
        case Grade::Fault:
        case Grade::Exception:
        case Grade::Timeout:
            return QColor(0xB0, 0x00, 0x00);
        case Grade::NotHandled:
            return QColor(0x60, 0x60, 0x60);
        case Grade::None:
            break;
    }
    return {};
}

TrafficLogModel::TrafficLogModel(QObject* parent, size_t capacity)
    : QAbstractTableModel(parent), log_(capacity) {}

template <typename Record>
void TrafficLogModel::Add(Record record) {
    // Whatever goes wrong here (memory) must not reach the window's handler.
    try {
        cached_.reset();
        const QModelIndex first = index(0, 0);
        if (log_.Full() && log_.dropped() == 0) {
            log_.MakeRoom();  // row 0 becomes the dropped-events row
            emit dataChanged(first, index(0, columnCount() - 1));
        } else if (log_.Full()) {
            beginRemoveRows({}, 1, 1);
            log_.MakeRoom();
            endRemoveRows();
            emit dataChanged(first, index(0, columnCount() - 1));
        }
        const int row = rowCount();
        beginInsertRows({}, row, row);
        record();
        endInsertRows();
        if (const auto amended = log_.TakeAmended()) {
            const int changed = static_cast<int>(*amended) + (log_.dropped() > 0 ? 1 : 0);
            cached_.reset();
            emit dataChanged(index(changed, 0), index(changed, columnCount() - 1));
        }
        emit statisticsChanged();
    } catch (...) {
    }
}

void TrafficLogModel::Follow(const Link* link) {
    link_ = link;
    connect(link, &Link::sent, this, &TrafficLogModel::Sent);
    connect(link, &Link::received, this,
            [this](const QByteArray& block, const ExchangeRecord& request) {
                // A record never sent is the link before its first request.
                const bool made = request.sent != std::chrono::steady_clock::time_point{};
                Received(reinterpret_cast<const uint8_t*>(block.constData()),
                         static_cast<size_t>(block.size()), made ? &request : nullptr);
            });
    connect(link, &Link::echoed, this,
            [this](const QByteArray& echo, const ExchangeRecord& request, EchoSplit::Verdict how) {
                const auto* data = reinterpret_cast<const uint8_t*>(echo.constData());
                Add([&] {
                    log_.Echoed({data, static_cast<size_t>(echo.size())}, &request, how,
                                EventNow());
                });
            });
    connect(link, &Link::timedOut, this, &TrafficLogModel::TimedOut);
    connect(link, &Link::retried, this,
            [this](const ExchangeRecord& request, int attempt, int tries, const QString& why) {
                Add([&] {
                    log_.Retried(&request, attempt, tries, why.toStdString(), EventNow());
                });
            });
    connect(link, &Link::opened, this, [this, link] { Opened(*link); });
    connect(link, &Link::closed, this, &TrafficLogModel::Closed);
    connect(link, &Link::hungUp, this, &TrafficLogModel::HungUp);
    connect(link, &Link::blocksDropped, this,
            [this](int count, size_t waiting) { Dropped(static_cast<size_t>(count), waiting); });
}

void TrafficLogModel::Sent(const ExchangeRecord& request) {
    Add([&] { log_.Sent(request, EventNow()); });
}

void TrafficLogModel::Received(const uint8_t* data, size_t length, const ExchangeRecord* request) {
    const TrafficTime now = EventNow();
    Add([&] { log_.Received({data, length}, request, now); });
}

void TrafficLogModel::TimedOut(const ExchangeRecord& request) {
    Add([&] { log_.TimedOut(&request, EventNow()); });
}

void TrafficLogModel::Opened(const Link& link) {
    Add([&] { log_.Opened(LineOf(link), EventNow()); });
}

void TrafficLogModel::Closed() {
    Add([&] { log_.Closed(EventNow()); });
}

void TrafficLogModel::HungUp() {
    Add([&] { log_.HungUp(EventNow()); });
}

void TrafficLogModel::Dropped(size_t count, size_t waiting) {
    Add([&] { log_.Dropped(count, waiting, EventNow()); });
}

// The link's one reading of the clock for the event it signals, so this
// panel and the journal write the same time; the clock itself for events
// given without a link.
TrafficTime TrafficLogModel::EventNow() const {
    return link_ ? link_->EventTime() : TrafficTime::Now();
}

void TrafficLogModel::Clear() {
    beginResetModel();
    cached_.reset();
    log_.Clear();
    endResetModel();
    emit statisticsChanged();
}

bool TrafficLogModel::Load(std::string_view text, std::string* error) {
    TrafficLog read(TrafficFileCapacity(text));
    if (!ReadTrafficFile(text, read, error)) return false;
    beginResetModel();
    cached_.reset();
    log_ = std::move(read);
    endResetModel();
    emit statisticsChanged();
    return true;
}

TrafficRow TrafficLogModel::Row(int row) const {
    if (!cached_ || cached_->first != row)
        cached_.emplace(row, TrafficRowAt(log_, static_cast<size_t>(row)));
    return cached_->second;
}

int TrafficLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(TrafficRowCount(log_));
}

int TrafficLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(kTrafficColumnCount);
}

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto column = static_cast<size_t>(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QString::fromStdString(Row(index.row())[column]);
        case Qt::ForegroundRole: {
            const TrafficEvent* event = TrafficEventAt(log_, static_cast<size_t>(index.row()));
            if (!event) return {};
            if (column == kTrafficVerdictColumn) {
                const QColor color = GradeColor(event->graded.grade);
                return color.isValid() ? QVariant(QBrush(ReadableOnBase(color))) : QVariant();
            }
            // Failed checks stand out in the decoded column.
            if (column == kTrafficDecodedColumn && HasProblem(EventNotes(*event)))
                return QBrush(ReadableOnBase(QColor(0xB0, 0x00, 0x00)));
            return {};
        }
        default:
            return {};
    }
}

QVariant TrafficLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        static_cast<size_t>(section) >= kTrafficColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    return QString::fromLatin1(kTrafficColumns[section]);
}
