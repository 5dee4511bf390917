// Tools > Find Module…: the module's line settings, the MODBUS slaves on the
// bus and the HART instruments behind the module, found by scans
// (session/scanjob.h) run one after another on the window's link. The port
// is opened for the scans if it was closed, and left as the engineer had it.
// "Use" writes a find into the window's controls and sends nothing: a line
// setting into the port's baud rate and parity, an instrument's polling
// address into the HART address list.
#pragma once

#include <QDialog>
#include <vector>

#include "exchange/scanplan.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class ScanJob;
class WindowSession;

class FindModuleDialog : public QDialog {
    Q_OBJECT
public:
    explicit FindModuleDialog(WindowSession* session, QWidget* parent = nullptr);

    // Runs the chosen scans; false (with the reason shown) when nothing was
    // chosen, a range is wrong or the port could not be opened.
    bool StartScans();
    void CancelScans();
    bool scanning() const;
    const std::vector<ScanFind>& finds() const { return finds_; }

protected:
    void reject() override;  // Escape and the close button stop a scan first

private:
    void StartNext();
    void Finished();
    void AddFind(const ScanFind& find);
    void Use(const ScanFind& find);
    void SetRunning(bool running);
    SequenceTiming TimingFor(ScanKind kind) const;

    WindowSession* session_;
    ScanJob* job_;
    QCheckBox* checkLine_;
    QCheckBox* checkBus_;
    QCheckBox* checkHart_;
    QSpinBox* busFirst_;
    QSpinBox* busLast_;
    QSpinBox* hartFirst_;
    QSpinBox* hartLast_;
    QSpinBox* answerTime_;
    QProgressBar* progress_;
    QLabel* candidate_;
    QLabel* summary_;
    QTableWidget* table_;
    QPushButton* start_;
    QPushButton* cancel_;

    std::vector<ScanPlan> queue_;  // the chosen scans still to run
    std::vector<ScanFind> finds_;
    size_t garbage_ = 0;
    size_t noisy_ = 0;  // of those, spoiled replies still so after their retries
    bool openedHere_ = false;
};
