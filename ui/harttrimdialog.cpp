#include "ui/harttrimdialog.h"

#include <QDoubleValidator>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include "exchange/loopcheck.h"
#include "session/hartcommissionjob.h"
#include "ui/desktoppalette.h"
#include "ui/screenfit.h"

namespace {

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

HartTrimDialog::HartTrimDialog(HartCommissionJob* job, const QString& instrument, QWidget* parent)
    : QDialog(parent), job_(job) {
    setObjectName("HartTrimDialog");
    setWindowTitle("Trim Loop Current");
    auto* intro = new QLabel(
        "Instrument " + instrument +
        "\nThe loop current is held at 4 mA, then at 20 mA: the control system sees these "
        "values. At each, read the reference meter in the loop and type its reading.");
    intro->setWordWrap(true);
    step_ = Named(new QLabel("Step 1 of 3: holding the loop at 4 mA"), "labelTrimStep");
    QFont bold = step_->font();
    bold.setBold(true);
    step_->setFont(bold);
    progress_ = Named(new QLabel, "labelTrimProgress");
    reading_ = Named(new QLineEdit, "editTrimReading");
    auto* validator = new QDoubleValidator(0.0, 30.0, 4, reading_);
    validator->setLocale(QLocale::c());
    reading_->setValidator(validator);
    suggestion_ = Named(new QLabel, "labelTrimSuggestion");
    suggestion_->setWordWrap(true);
    suggestion_->setStyleSheet("color: " + ReadableOn(QColor(0x8A, 0x6D, 0x00), palette().color(QPalette::Window)).name() +
                               "; font-style: italic;");
    send_ = Named(new QPushButton("Send Reading"), "buttonTrimSend");
    cancel_ = Named(new QPushButton("Cancel"), "buttonTrimCancel");
    result_ = Named(new QLabel, "labelTrimResult");
    result_->setWordWrap(true);
    auto* form = new QFormLayout;
    form->addRow("Reference meter reading (mA):", reading_);
    form->addRow("", suggestion_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(send_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(step_);
    layout->addWidget(progress_);
    layout->addLayout(form);
    layout->addWidget(result_);
    layout->addLayout(buttons);
    reading_->setEnabled(false);
    send_->setEnabled(false);
    send_->setDefault(true);
    resize(FittedSize(this, QSize(520, 300)));

    connect(send_, &QPushButton::clicked, this, &HartTrimDialog::SendReading);
    connect(reading_, &QLineEdit::returnPressed, this, &HartTrimDialog::SendReading);
    connect(cancel_, &QPushButton::clicked, this, &HartTrimDialog::reject);
    connect(job_, &HartCommissionJob::progress, this,
            [this](const QString& what) { progress_->setText(what + "..."); });
    connect(job_, &HartCommissionJob::readingWanted, this, &HartTrimDialog::ReadingWanted);
    connect(job_, &HartCommissionJob::finished, this, &HartTrimDialog::Finished);
}

bool HartTrimDialog::Start(int pollingAddress) {
    started_ = job_->StartTrim(pollingAddress);
    return started_;
}

void HartTrimDialog::ReadingWanted() {
    const HartLoopTrim& trim = *job_->trim();
    const QString level = Q(LoopCurrentText(trim.Level()));
    step_->setText(QString("Step %1 of 3: the loop is held at %2 mA")
                       .arg(trim.Level() == kTrimZeroLevel ? 1 : 2)
                       .arg(level));
    progress_->setText("Read the reference meter and type what it shows.");
    // Prefilled, but said to be the module's reading, not the meter's.
    reading_->setText(trim.Suggestion() ? Q(TrimCurrentText(*trim.Suggestion())) : QString());
    suggestion_->setText(Q(trim.SuggestionText()) +
                         (trim.Suggestion() ? " (a suggestion: type the meter's reading)" : ""));
    reading_->setEnabled(true);
    send_->setEnabled(true);
    reading_->setFocus();
    reading_->selectAll();
}

void HartTrimDialog::SendReading() {
    if (!job_ || !job_->AwaitsReading()) return;
    bool ok = false;
    const double value = QLocale::c().toDouble(reading_->text().trimmed(), &ok);
    QString error;
    if (!ok) {
        error = "the reading is not a number of mA";
    } else if (job_->SupplyReading(value, &error)) {
        reading_->setEnabled(false);
        send_->setEnabled(false);
        result_->clear();
        return;
    }
    result_->setText(error[0].toUpper() + error.mid(1) + ".");
    result_->setStyleSheet("color: " + ProblemColor(this).name() + ";");
}

void HartTrimDialog::reject() {
    // Running: Cancel releases the loop first; the dialog closes once that is done.
    if (job_ && started_ && job_->IsRunning()) {
        job_->Cancel();
        reading_->setEnabled(false);
        send_->setEnabled(false);
        cancel_->setEnabled(false);
        return;
    }
    QDialog::reject();
}

void HartTrimDialog::Finished() {
    reading_->setEnabled(false);
    send_->setEnabled(false);
    cancel_->setEnabled(true);
    cancel_->setText("Close");
    suggestion_->clear();
    const HartLoopTrim* trim = job_->trim();
    const bool done = trim && trim->report().Done();
    step_->setText(done ? "Step 3 of 3: trimmed" : "Step 3 of 3: not trimmed");
    progress_->clear();
    const QString text = trim ? Q(trim->report().Summary()) : job_->trimFailure();
    result_->setText(text[0].toUpper() + text.mid(1) + ".");
    result_->setStyleSheet(done ? "" : "color: " + ProblemColor(this).name() + ";");
}
