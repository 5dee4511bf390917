// "Trend": polls HART command 3 (transparent mode), the MODBUS test request,
// or both (the MODBUS values overlaid on the HART ones, their deviation
// shown) at an interval of 1 to 60 s and plots the loop current and the
// variables against the time of day, one axis per unit, with last, minimum
// and maximum beside the plot, a legend naming every line in full (the HART
// line solid, the MODBUS line of the same variable in its hue dashed, missed
// polls as grey triangles; colours made readable on the desktop's palette)
// and a check box per series. Polls go through
// the window's request sequencer, so they never overlap a request of the
// window, and only replies judged valid are plotted: a poll that failed is a
// gap in the lines with its reason on hover. Without the HART identity the
// first poll reads it (command 0). Three timeouts in a row stop polling with
// a message; the port closing or the device hanging up stops it at once.
#pragma once

#include <QColor>
#include <QPen>
#include <QWidget>
#include <optional>
#include <vector>

#include "exchange/requestsequence.h"
#include "exchange/trendlog.h"

class LinkRun;

class QAbstractAxis;
class QChart;
class QChartView;
class QCheckBox;
class QListWidget;
class QComboBox;
class QDateTimeAxis;
class QScatterSeries;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class QValueAxis;
class WindowSession;

class TrendWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimeoutsToStop = 3;

    explicit TrendWindow(WindowSession* session, QWidget* parent = nullptr);

    const TrendLog& log() const { return log_; }
    bool IsPolling() const;
    // Tests poll faster than the engineer's shortest interval of one second.
    void SetIntervalForTest(int ms);
    // A sample as a poll would give it (the loop current only), or a gap.
    void AddForTest(int64_t epochMs, std::optional<double> loopCurrent);
    // A sample of both sides as a poll of HART and MODBUS would give it.
    void AddForTest(int64_t epochMs, const TrendValues& hart, const TrendValues& modbus);
    // Writes the samples as CSV; false, with the reason shown, when it cannot.
    bool SaveCsv(const QString& path);

    // The legend beside the plot: one row a line, then "Missed poll".
    QListWidget* legend() const { return legend_; }

public slots:
    void Start();
    void Stop();
    void Clear();
    void ExportCsv();

protected:
    void changeEvent(QEvent* event) override;

private:
    // One line on the plot: its segments (a gap or a stop starts a new one),
    // the axis of its unit.
    struct Line {
        QString title;
        int series = 0;       // its quantity: loop current, variables 1-4
        bool dashed = false;  // MODBUS
        std::vector<QLineSeries*> segments;
        QValueAxis* axis = nullptr;
        bool breakNext = false;
    };
    struct AxisRange {
        QValueAxis* axis = nullptr;
        std::optional<double> low, high;
    };
    static constexpr int kLines = kTrendSeries + kTrendSeries - 1;  // and MODBUS variables 1-4
    // Each stretch between gaps is a chart series of its own, which a flaky
    // line would add without end: a line keeps its newest ones on the chart,
    // while the log and the CSV keep every sample.
    static constexpr size_t kSegmentsKept = 50;

    void Poll();
    std::optional<std::vector<SequenceStep>> PollSteps();
    void Replied(int step, const QByteArray& reply);
    void Ended();
    void StopWith(const QString& message);
    void LineLost(const QString& message);
    void Gap(const QString& reason);
    // `modbusSource`: the MODBUS test alone was polled, its variables go on MODBUS's lines.
    void Plot(const TrendSample& sample, bool modbusSource = false);
    void AddPoint(int line, int64_t x, double y, const std::string& unit);
    QValueAxis* AxisFor(const QString& unit);
    void ShowStats();
    void ShowControls();
    void ShowLine(int series, bool shown);
    QString GapAt(double x) const;
    QColor PlotBackground() const;
    QPen PenOf(int line) const;
    QColor GapColour() const;
    void StyleAxis(QAbstractAxis* axis) const;
    void ApplyColours();
    void ShowLegend();
    void ShowEmptyTime();

    WindowSession* session_;
    TrendLog log_;
    bool trimmed_ = false;  // a line's oldest segments have left the chart
    QTimer* poll_;
    int testIntervalMs_ = 0;
    bool polling_ = false;
    LinkRun* run_ = nullptr;  // the poll under way
    int timeoutsInARow_ = 0;
    int sourceOfRun_ = 0;
    std::vector<int> codesOfRun_;           // request code of each step of the run
    int modbusStartOfRun_ = 0;              // start address the polled MODBUS request carried
    std::optional<TrendValues> hartOfRun_;  // polling both: the HART step's values
    QComboBox* source_;
    QSpinBox* interval_;
    QPushButton* start_;
    QPushButton* stop_;
    QLabel* status_;
    QTableWidget* stats_;
    QChart* chart_ = nullptr;
    QChartView* view_ = nullptr;
    QListWidget* legend_ = nullptr;
    QDateTimeAxis* timeAxis_;
    QValueAxis* gapAxis_;
    QScatterSeries* gaps_;
    std::vector<AxisRange> axes_;  // one per unit, in the order first met
    Line lines_[kLines];
    QCheckBox* shown_[kTrendSeries];
};
