// The loop current trim as the engineer walks it: the loop held at 4 mA, the
// reference meter's reading typed (the module's own MODBUS reading offered,
// marked as a suggestion), the same at 20 mA, then the result. Cancel at any
// step still leaves fixed current mode; the dialog stays until it has.
#pragma once

#include <QDialog>
#include <QPointer>

class HartCommissionJob;
class QLabel;
class QLineEdit;
class QPushButton;

class HartTrimDialog : public QDialog {
    Q_OBJECT
public:
    // `job` runs the trim (it outlives the dialog); the instrument in words for the title line.
    HartTrimDialog(HartCommissionJob* job, const QString& instrument, QWidget* parent = nullptr);

    // Starts the trim at `pollingAddress`; false when the line is busy.
    bool Start(int pollingAddress);

public slots:
    void SendReading();
    void reject() override;

private:
    void ReadingWanted();
    void Finished();

    QPointer<HartCommissionJob> job_;
    QLabel* step_;
    QLabel* progress_;
    QLabel* suggestion_;
    QLineEdit* reading_;
    QPushButton* send_;
    QPushButton* cancel_;
    QLabel* result_;
    bool started_ = false;
};
