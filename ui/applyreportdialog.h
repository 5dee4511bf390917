// The report of Apply Profile to Module: each setting wanted and read back,
// mismatches marked, the module's replies, and saving it all as text. A
// half-configured module is said first, with Restore (back to the snapshot
// read before the apply) and Resume (the profile again).
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "profile/applyreport.h"

class ApplyReportDialog : public QDialog {
    Q_OBJECT
public:
    ApplyReportDialog(const ApplyReport& report, QWidget* parent);

    bool SaveTo(const QString& path) const;

signals:
    void restoreRequested();
    void resumeRequested();
    // Save Certificate… chose where the certificate's page goes.
    void certificateRequested(const QString& pdfPath);

private:
    // A setting by its caption in the window the dialog belongs to.
    QString Caption(const std::string& key) const;
    std::function<std::string(const std::string&)> CaptionOf() const;

    ApplyReport report_;
};
