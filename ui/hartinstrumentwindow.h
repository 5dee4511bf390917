// View > HART Instrument…: the instrument behind the module, commissioned
// through transparent mode. Identity at a chosen polling address; tag,
// descriptor, date and message; range, units, damping and write protect;
// loop current and percent of range; device status with every bit named and
// the set ones highlighted; the additional status bytes. Writes go only
// through a Write button and a confirmation that names the instrument and the
// change, and are read back. The loop check holds the loop at its points
// after an announcement, shows the table and always leaves fixed current
// mode: at its end, on Cancel, on a failure and when the window closes.
// Commissioning: damping, PV units, the configuration changed flag, self
// test, device reset, each confirmed and read back, and the loop current trim
// (ui/harttrimdialog.h).
// The groups scroll inside the window, so any screen shows the status line
// below them. Before a read the fields are empty; once the port closes or
// the device goes, what was read is greyed and its age said.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTime>
#include <QWidget>

#include "exchange/hartcommission.h"
#include "exchange/hartinstrument.h"
#include "exchange/requestcodes.h"

class HartCommissionJob;
class HartInstrumentJob;
class LoopCheckJob;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class WindowSession;

class HartInstrumentWindow : public QWidget {
    Q_OBJECT
public:
    explicit HartInstrumentWindow(WindowSession* session, QWidget* parent = nullptr);
    ~HartInstrumentWindow() override;

    HartInstrumentJob* job() const { return job_; }
    LoopCheckJob* loopCheck() const;
    HartCommissionJob* commission() const;

public slots:
    void Read();
    void WriteTag();
    void WriteMessage();
    void WriteRange();
    void StartLoopCheck();
    void CancelLoopCheck();
    void WriteDamping();
    void WritePvUnits();
    void ResetChangedFlag();
    void SelfTest();
    void DeviceReset();
    void TrimLoopCurrent();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool EnsurePortOpen();
    // Asks "Write … to …?" naming the instrument; true on Write.
    bool Confirm(const QString& title, const QString& text, const QString& action);
    void Write(const HartWrite& write);
    void JobFinished();
    void ShowReading();
    void ShowLoopPoint(int index);
    void LoopCheckFinished();
    void SetBusy(bool busy);
    void Say(const QString& text, bool problem = false);
    // The instrument as the confirmations name it: its tag and identity.
    QString InstrumentText() const;
    void Commission(const HartCommission& write, const QString& title, const QString& action);
    void CommissionFinished();
    void ShowCommissioning();
    // The values shown are from before `why` ("before the port closed"): greyed, their age said.
    void MarkStale(const QString& why);
    void MarkFresh();
    void ShowAge();
    void Greyed(bool greyed);
    // The port went away under the window (unplugged, the server's connection closed).
    void HungUp();
    // The next step after a failed request: why the port is gone, or what a
    // silence (`timedOut`) means; "" when there is none to say.
    QString NextStep(bool timedOut, Protocol protocol = Protocol::Hart) const;
    // A read's or write's `failure` with the next step.
    QString WithNextStep(const QString& failure) const;

    WindowSession* session_;
    HartInstrumentJob* job_;
    // The session's, which the main window may delete before this window.
    QPointer<LoopCheckJob> loop_;
    // Owned by the session too: a trim goes on to release the loop after the window closed.
    QPointer<HartCommissionJob> commission_;
    bool trimming_ = false;
    bool restyling_ = false;  // setting the style sheet again changes the palette too
    bool writing_ = false;
    // When the values shown were read (none yet when invalid), and whether they are stale.
    QElapsedTimer readAt_;
    QTime readClock_;
    QString staleWhy_;
    QString portGone_;  // the hang-up's advice until the port opens again
    QTimer* ageTimer_;

    QSpinBox* address_;
    QPushButton* read_;
    QLabel* identity_;
    QLineEdit* tag_;
    QLineEdit* descriptor_;
    QDateEdit* date_;
    QLineEdit* message_;
    QPushButton* writeTag_;
    QPushButton* writeMessage_;
    QComboBox* unit_;
    QLineEdit* upper_;
    QLineEdit* lower_;
    QLabel* damping_;
    QLabel* writeProtect_;
    QLabel* transfer_;
    QPushButton* writeRange_;
    QLabel* loopCurrent_;
    QLabel* percent_;
    QLabel* primary_;
    QList<QLabel*> statusBits_;
    QLabel* moreStatus_;
    QLineEdit* points_;
    QDoubleSpinBox* tolerance_;
    QPushButton* loopStart_;
    QPushButton* loopCancel_;
    QTableWidget* loopTable_;
    QLabel* loopNote_;
    QLabel* age_;
    QLabel* statusIcon_;
    QLabel* status_;
    QDoubleSpinBox* dampingValue_;
    QPushButton* writeDamping_;
    QComboBox* pvUnits_;
    QPushButton* writePvUnits_;
    QLabel* changeCounter_;
    QPushButton* resetChanged_;
    QPushButton* selfTest_;
    QLabel* selfTestResult_;
    QPushButton* deviceReset_;
    QPushButton* trim_;
};
