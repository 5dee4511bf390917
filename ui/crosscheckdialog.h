// "MODBUS Reply and Cross-Check": the last MODBUS test reply decoded (slave,
// function, byte count, CRC, exception, registers and their floats in every
// byte order) and, with the last HART command 3 reply, each module variable
// on both sides. It reads the window's byte-order lists and coefficients and
// never changes them; it follows each new reply and each change to them.
// Where a side can't be trusted (no reply yet, an exception or a wrong reply,
// a timeout since, a MODBUS reply older than the HART values) it says "could
// not compare" and why, apart from a real disagreement; each side's age shows.
#pragma once

#include <QDialog>

#include "exchange/crosscheck.h"

class QDoubleSpinBox;
class QLabel;
class QTableWidget;
class WindowSession;

class CrossCheckDialog : public QDialog {
    Q_OBJECT
public:
    explicit CrossCheckDialog(WindowSession* session, QWidget* parent = nullptr);

    // The window's byte-order lists, coefficient mode and coefficients.
    CrossCheckSettings SettingsFromWindow() const;

public slots:
    void Refresh();

private:
    void ShowModbusReply(const ModbusReply& reply, int firstRegister);
    // `why`: the sides can't be compared now, every row says so.
    void ShowCrossCheck(const std::vector<CrossCheckRow>& rows,
                        const std::optional<std::string>& why);

    WindowSession* session_;
    QLabel* modbusSummary_;
    QTableWidget* registers_;
    QDoubleSpinBox* tolerance_;
    QLabel* sources_;
    QTableWidget* crossCheck_;
    QLabel* verdicts_;
};
