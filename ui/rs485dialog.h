// Tools > RS-485 Mode of the Port...: the kernel's RS-485 mode for one device
// (a UART whose driver switches the transceiver: RTS raised while sending,
// with delays), kept for that device and applied when it is next opened.
#pragma once

#include <QDialog>
#include <string>

#include "serial/tcomm.h"

class QCheckBox;
class QSpinBox;

class Rs485Dialog : public QDialog {
    Q_OBJECT
public:
    Rs485Dialog(const std::string& device, const TRs485& current, bool open, QWidget* parent);
    TRs485 Chosen() const;

private:
    QCheckBox* enabled_;
    QSpinBox* before_;
    QSpinBox* after_;
};
