// The "Traffic" panel: one line per event of the traffic log with its
// verdict, "Problems only" to see just what went wrong, the whole block and
// its notes for the selected line, the session's statistics, and saving as
// text or CSV.
#pragma once

#include <QDockWidget>

class QMainWindow;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QTableView;
class QTimer;
class TrafficLogModel;

class TrafficDock : public QDockWidget {
    Q_OBJECT
public:
    TrafficDock(TrafficLogModel* model, QWidget* parent);

    // Writes the log as shown: CSV when `path` ends in ".csv", else text.
    // False, with the reason in `error`, when the file can't be written.
    bool Save(const QString& path, QString* error) const;
    // A log read from a file: nothing more comes, nothing is cleared.
    void SetReadOnly();

private:
    void ShowDetail();
    void ShowStatistics();
    void FollowNewRows();

    TrafficLogModel* model_;
    QSortFilterProxyModel* filter_;
    QTableView* view_;
    QPlainTextEdit* detail_;
    QPlainTextEdit* statistics_;
    QTimer* statisticsTimer_;
    QWidget* clear_;
    bool atBottom_ = true;
};

// File > Open Traffic…: reads a saved traffic log into a read-only panel of
// its own in `window` (tabbed with `beside` when that shows); nullptr, with
// the reason naming the wrong line in `error`, when it is no traffic log.
TrafficDock* OpenTrafficFile(QMainWindow* window, QDockWidget* beside, const QString& path,
                             QString* error);
