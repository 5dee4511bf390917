// The report of Apply Profile to Module: each setting wanted and read back,
// mismatches marked, the module's replies, and saving it all as text.
#pragma once

#include <QDialog>

#include "profile/applyreport.h"

class ApplyReportDialog : public QDialog {
    Q_OBJECT
public:
    ApplyReportDialog(const ApplyReport& report, QWidget* parent);

    bool SaveTo(const QString& path) const;

private:
    ApplyReport report_;
};
