// "Trend": polls HART command 3 (transparent mode) or the MODBUS test request
// at an interval of 1 to 60 s and plots the loop current and the variables,
// with last, minimum and maximum beside the plot. Polls go through the
// window's request sequencer, so they never overlap a request of the window;
// three timeouts in a row stop polling with a message.
#pragma once

#include <QWidget>

#include "exchange/requestsequence.h"
#include "exchange/trendlog.h"

class QChart;
class QComboBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class QValueAxis;
class TForm1;

class TrendWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTimeoutsToStop = 3;

    explicit TrendWindow(TForm1* window);

    const TrendLog& log() const { return log_; }
    bool IsPolling() const;
    // Tests poll faster than the engineer's shortest interval of one second.
    void SetIntervalForTest(int ms);
    // Writes the samples as CSV; false, with the reason shown, when it cannot.
    bool SaveCsv(const QString& path);

public slots:
    void Start();
    void Stop();
    void Clear();
    void ExportCsv();

private:
    void Poll();
    std::optional<SequenceStep> PollStep();
    void Replied(const QByteArray& reply);
    void Ended();
    void StopWith(const QString& message);
    void Plot(const TrendSample& sample);
    void ShowStats();
    void ShowControls();

    TForm1* window_;
    TrendLog log_;
    QTimer* poll_;
    int testIntervalMs_ = 0;
    bool polling_ = false;
    bool ownRun_ = false;  // the sequencer's current run is one of our polls
    int timeoutsInARow_ = 0;
    int sourceOfRun_ = 0;
    int modbusStartOfRun_ = 0;  // start address the polled MODBUS request carried
    QComboBox* source_;
    QSpinBox* interval_;
    QPushButton* start_;
    QPushButton* stop_;
    QLabel* status_;
    QTableWidget* stats_;
    QChart* chart_;
    QValueAxis* timeAxis_;
    QValueAxis* valueAxis_;
    QValueAxis* currentAxis_;
    QLineSeries* series_[kTrendSeries];
};
