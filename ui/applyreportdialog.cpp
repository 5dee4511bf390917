#include "ui/applyreportdialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/configcontrols.h"
#include "ui/controls.h"
#include "ui/desktoppalette.h"
#include "ui/screenfit.h"

ApplyReportDialog::ApplyReportDialog(const ApplyReport& report, QWidget* parent)
    : QDialog(parent), report_(report) {
    setObjectName("ApplyReportDialog");
    setWindowTitle("Apply Profile to Module");
    auto* layout = new QVBoxLayout(this);

    const auto mismatches = std::count_if(report.rows.begin(), report.rows.end(),
                                          [](const VerifyRow& r) { return r.mismatch; });
    QString summary = report.failure.empty()
                          ? QString("All %1 set commands were sent.").arg(report.applied.size())
                          : QString("Stopped: %1").arg(QString::fromStdString(report.failure));
    if (!report.rows.empty()) summary += QString(" Read back: %1 mismatch(es).").arg(mismatches);
    if (report.HalfConfigured()) {
        summary = QString(
                      "Half-configured: %1 set commands acknowledged, %2 not; the module is "
                      "on %3. ")
                      .arg(report.applied.size())
                      .arg(report.unsent.size())
                      .arg(QString::fromStdString(report.lineNow)) +
                  summary;
    }
    auto* label = new QLabel(summary, this);
    label->setObjectName("labelApplySummary");
    label->setWordWrap(true);
    layout->addWidget(label);

    auto* table = new QTableWidget(static_cast<int>(report.rows.size()), 4, this);
    table->setObjectName("tableVerify");
    table->setHorizontalHeaderLabels({"Setting", "Wanted", "Read back", "Result"});
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    for (size_t i = 0; i < report.rows.size(); ++i) {
        const VerifyRow& row = report.rows[i];
        const int r = static_cast<int>(i);
        table->setItem(r, 0, new QTableWidgetItem(Caption(row.setting)));
        table->setItem(r, 1, new QTableWidgetItem(QString::fromLatin1(row.wanted)));
        table->setItem(r, 2, new QTableWidgetItem(QString::fromLatin1(row.readBack)));
        auto* mark = new QTableWidgetItem(row.mismatch ? "MISMATCH" : "as wanted");
        if (row.mismatch) mark->setForeground(ReadableOnBase(Qt::red));
        table->setItem(r, 3, mark);
    }
    table->resizeColumnsToContents();
    table->setVisible(!report.rows.empty());
    layout->addWidget(table, 1);

    auto* text = new QPlainTextEdit(QString::fromLatin1(ApplyReportText(report, CaptionOf())), this);
    text->setObjectName("textApplyReport");
    text->setReadOnly(true);
    layout->addWidget(text, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* save = buttons->addButton("Save Report…", QDialogButtonBox::ActionRole);
    save->setObjectName("buttonSaveReport");
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = WithSuffix(
            QFileDialog::getSaveFileName(this, "Save Report", {}, "Text files (*.txt)"), "txt");
        if (!path.isEmpty()) SaveTo(path);
    });
    QPushButton* certificate =
        buttons->addButton("Save Certificate…", QDialogButtonBox::ActionRole);
    certificate->setObjectName("buttonSaveCertificate");
    certificate->setToolTip(
        "Read the HART instrument, cross-check it with the MODBUS registers "
        "and save the commissioning certificate (PDF and JSON)");
    // Only a module that read back as wanted gets a certificate.
    certificate->setEnabled(report.failure.empty() && !report.rows.empty() &&
                            std::none_of(report.rows.begin(), report.rows.end(),
                                         [](const VerifyRow& r) { return r.mismatch; }));
    connect(certificate, &QPushButton::clicked, this, [this] {
        const QString path = WithSuffix(
            QFileDialog::getSaveFileName(this, "Save Certificate", "certificate.pdf", "PDF (*.pdf)"),
            "pdf");
        if (!path.isEmpty()) emit certificateRequested(path);
    });
    if (report.HalfConfigured()) {
        QPushButton* restore = buttons->addButton("Restore", QDialogButtonBox::ActionRole);
        restore->setObjectName("buttonRestore");
        restore->setToolTip("Apply the settings read from the module before this apply");
        restore->setEnabled(report.snapshotTaken);
        QPushButton* resume = buttons->addButton("Resume", QDialogButtonBox::ActionRole);
        resume->setObjectName("buttonResume");
        resume->setToolTip("Apply the profile again: its commands may be sent twice");
        connect(restore, &QPushButton::clicked, this, [this] {
            emit restoreRequested();
            accept();
        });
        connect(resume, &QPushButton::clicked, this, [this] {
            emit resumeRequested();
            accept();
        });
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(FittedSize(this, {720, 560}));
}

bool ApplyReportDialog::SaveTo(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const std::string text = ApplyReportText(report_, CaptionOf());
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
           static_cast<qint64>(text.size());
}

QString ApplyReportDialog::Caption(const std::string& key) const {
    return parentWidget() ? SettingCaption(*parentWidget(), key) : QString::fromStdString(key);
}

std::function<std::string(const std::string&)> ApplyReportDialog::CaptionOf() const {
    return [this](const std::string& key) { return Caption(key).toStdString(); };
}
