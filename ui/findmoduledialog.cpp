#include "ui/findmoduledialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "session/link.h"
#include "session/scanjob.h"
#include "session/windowsession.h"
#include "ui/screenfit.h"

namespace {

// The window's HART address list offers addresses 0 to 9.
constexpr int kListedPollingAddresses = 10;

QSpinBox* Spin(const char* objectName, ScanRange widest, int value) {
    auto* spin = new QSpinBox;
    spin->setObjectName(objectName);
    spin->setRange(widest.first, widest.last);
    spin->setValue(value);
    return spin;
}

QString KindName(ScanKind kind) {
    switch (kind) {
        case ScanKind::Line:
            return "Line settings";
        case ScanKind::Bus:
            return "MODBUS slave";
        case ScanKind::Instrument:
            return "HART instrument";
    }
    return {};
}

}  // namespace

FindModuleDialog::FindModuleDialog(WindowSession* session, QWidget* parent)
    : QDialog(parent), session_(session), job_(new ScanJob(session->link(), this)) {
    setObjectName("FindModuleDialog");
    setWindowTitle("Find Module");
    setModal(true);

    auto* scans = new QGroupBox("Scans");
    auto* grid = new QGridLayout(scans);
    checkLine_ = new QCheckBox("Line settings: every baud rate with None, Even and Odd");
    checkLine_->setObjectName("checkScanLine");
    checkLine_->setChecked(true);
    checkBus_ = new QCheckBox("MODBUS slaves, addresses");
    checkBus_->setObjectName("checkScanBus");
    checkHart_ = new QCheckBox("HART instruments, polling addresses");
    checkHart_->setObjectName("checkScanHart");
    checkHart_->setChecked(true);
    const ScanRange bus = DefaultScanRange(ScanKind::Bus);
    const ScanRange hart = DefaultScanRange(ScanKind::Instrument);
    busFirst_ = Spin("spinBusFirst", WidestScanRange(ScanKind::Bus), bus.first);
    busLast_ = Spin("spinBusLast", WidestScanRange(ScanKind::Bus), bus.last);
    hartFirst_ = Spin("spinHartFirst", WidestScanRange(ScanKind::Instrument), hart.first);
    hartLast_ = Spin("spinHartLast", WidestScanRange(ScanKind::Instrument), hart.last);
    hartLast_->setToolTip("Addresses 16 to 63 exist from HART 6 on");
    answerTime_ = new QSpinBox;
    answerTime_->setObjectName("spinAnswerTime");
    answerTime_->setRange(0, 5000);
    answerTime_->setSuffix(" ms");
    answerTime_->setSpecialValueText("each scan's own");
    answerTime_->setToolTip(
        "The longest time to answer, the adapter's latency included: a candidate silent by "
        "then has no reply coming. By default 70 ms for the line settings, 50 ms for a MODBUS "
        "slave, 60 ms for a HART instrument");
    grid->addWidget(checkLine_, 0, 0, 1, 4);
    grid->addWidget(checkBus_, 1, 0);
    grid->addWidget(busFirst_, 1, 1);
    grid->addWidget(new QLabel("to"), 1, 2);
    grid->addWidget(busLast_, 1, 3);
    grid->addWidget(checkHart_, 2, 0);
    grid->addWidget(hartFirst_, 2, 1);
    grid->addWidget(new QLabel("to"), 2, 2);
    grid->addWidget(hartLast_, 2, 3);
    grid->addWidget(new QLabel("Answer time:"), 3, 0);
    grid->addWidget(answerTime_, 3, 1, 1, 3);

    progress_ = new QProgressBar;
    progress_->setObjectName("progressScan");
    progress_->setValue(0);
    candidate_ = new QLabel;
    candidate_->setObjectName("labelScanCandidate");
    summary_ = new QLabel;
    summary_->setObjectName("labelScanSummary");
    summary_->setWordWrap(true);

    table_ = new QTableWidget(0, 3);
    table_->setObjectName("tableFinds");
    table_->setHorizontalHeaderLabels({"Scan", "Found", ""});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);

    start_ = new QPushButton("Start");
    start_->setObjectName("buttonStartScan");
    start_->setDefault(true);
    cancel_ = new QPushButton("Cancel");
    cancel_->setObjectName("buttonCancelScan");
    cancel_->setEnabled(false);
    auto* close = new QPushButton("Close");
    close->setObjectName("buttonCloseScan");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scans);
    layout->addWidget(progress_);
    layout->addWidget(candidate_);
    layout->addWidget(table_, 1);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    resize(FittedSize(this, {640, 460}));

    connect(start_, &QPushButton::clicked, this, &FindModuleDialog::StartScans);
    connect(cancel_, &QPushButton::clicked, this, &FindModuleDialog::CancelScans);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(job_, &ScanJob::trying, this, [this](int index, int total, const QString& label) {
        progress_->setMaximum(total);
        progress_->setValue(index);
        candidate_->setText(QString("Trying %1 (%2 of %3)").arg(label).arg(index + 1).arg(total));
    });
    connect(job_, &ScanJob::found, this, &FindModuleDialog::AddFind);
    connect(job_, &ScanJob::noted, this, [this](int, const QString&, bool again) {
        if (!again) ++garbage_;
    });
    connect(job_, &ScanJob::finished, this, &FindModuleDialog::Finished);
}

bool FindModuleDialog::scanning() const { return job_->running() || !queue_.empty(); }

SequenceTiming FindModuleDialog::TimingFor(ScanKind kind) const {
    SequenceTiming timing = session_->link()->Timing();
    timing.answerTime = answerTime_->value() > 0 ? std::chrono::milliseconds(answerTime_->value())
                                                 : DefaultScanAnswerTime(kind);
    return timing;
}

bool FindModuleDialog::StartScans() {
    if (scanning()) return false;
    if (!checkLine_->isChecked() && !checkBus_->isChecked() && !checkHart_->isChecked()) {
        summary_->setText("Choose at least one scan.");
        return false;
    }
    if ((checkBus_->isChecked() && busFirst_->value() > busLast_->value()) ||
        (checkHart_->isChecked() && hartFirst_->value() > hartLast_->value())) {
        summary_->setText("A range must run from the lower address to the higher.");
        return false;
    }
    if (!session_->PortOpen()) {
        // As the Open button does, with its message if the port will not open.
        if (!session_->EnsurePortOpen()) {
            summary_->setText("The port could not be opened: nothing was sent.");
            return false;
        }
        openedHere_ = true;
    }
    queue_.clear();
    // The line first: the other scans need a line that carries them.
    if (checkLine_->isChecked()) queue_.push_back(LineScanPlan(TimingFor(ScanKind::Line)));
    if (checkBus_->isChecked())
        queue_.push_back(
            BusScanPlan(TimingFor(ScanKind::Bus), {busFirst_->value(), busLast_->value()}));
    if (checkHart_->isChecked())
        queue_.push_back(InstrumentScanPlan(TimingFor(ScanKind::Instrument),
                                            {hartFirst_->value(), hartLast_->value()}));
    finds_.clear();
    garbage_ = 0;
    noisy_ = 0;
    table_->setRowCount(0);
    summary_->clear();
    SetRunning(true);
    StartNext();
    return true;
}

void FindModuleDialog::StartNext() {
    if (queue_.empty()) return;
    ScanPlan plan = std::move(queue_.front());
    queue_.erase(queue_.begin());
    // The module's line just found carries the other scans; the line scan
    // has put the engineer's own back, and so will they.
    for (const ScanFind& find : finds_)
        if (find.kind == ScanKind::Line) plan.line = find.line;
    if (!job_->Start(std::move(plan))) {
        queue_.clear();
        summary_->setText("The line is busy with another exchange: try again when it ends.");
        Finished();
    }
}

void FindModuleDialog::CancelScans() {
    queue_.clear();
    job_->Cancel();
}

void FindModuleDialog::Finished() {
    const ScanReport& report = job_->report();
    // On the line scan a find means the one module is there: noise before it hid nothing.
    if (!(job_->plan().stopAtFirstFind && !report.finds.empty())) noisy_ += report.noisy;
    if (!report.failure.isEmpty() || report.cancelled) queue_.clear();
    if (!queue_.empty()) return StartNext();

    SetRunning(false);
    progress_->setValue(progress_->maximum());
    candidate_->clear();
    QString text = report.cancelled ? "Stopped. " : "";
    if (!report.failure.isEmpty()) text += "The scan stopped: " + report.failure + ". ";
    text += finds_.empty() ? QString("Nothing answered.") : QString("%1 found.").arg(finds_.size());
    if (garbage_ > 0)
        text += QString(
                    " %1 brought bytes that answer nothing (a wrong speed, or another "
                    "talker): see the traffic log.")
                    .arg(garbage_ == 1 ? QString("1 candidate")
                                       : QString("%1 candidates").arg(garbage_));
    if (noisy_ > 0)
        text += QString(" Line noise may have hidden %1: the reply stayed spoiled when asked "
                        "again.")
                    .arg(noisy_ == 1 ? QString("1 candidate") : QString("%1 candidates").arg(noisy_));
    if (finds_.empty() && !report.cancelled)
        text += " A slow module may need a longer answer time.";
    summary_->setText(text);
    if (openedHere_) session_->ClosePort();
    openedHere_ = false;
}

void FindModuleDialog::AddFind(const ScanFind& find) {
    finds_.push_back(find);
    const int row = table_->rowCount();
    table_->insertRow(row);
    table_->setItem(row, 0, new QTableWidgetItem(KindName(find.kind)));
    table_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(find.Text())));
    if (find.kind == ScanKind::Bus) return;  // the window has no slave list to set
    auto* use = new QPushButton("Use");
    use->setObjectName(QString("buttonUseFind%1").arg(row));
    if (find.kind == ScanKind::Line) {
        use->setToolTip("Sets the port's baud rate and parity; reopen the port to talk at them");
    } else if (find.pollingAddress >= kListedPollingAddresses) {
        use->setEnabled(false);
        use->setToolTip("The window's HART Address list holds addresses 0 to 9");
    } else {
        use->setToolTip("Sets the HART Address list to this polling address");
    }
    connect(use, &QPushButton::clicked, this, [this, find] { Use(find); });
    table_->setCellWidget(row, 2, use);
}

void FindModuleDialog::Use(const ScanFind& find) {
    if (find.kind == ScanKind::Line) {
        session_->UseLineSettings(find.line.baud, static_cast<int>(find.line.parity));
        summary_->setText(QString("The port's settings now read %1; close and open the port to "
                                  "use them.")
                              .arg(QString::fromStdString(LineSettingText(find.line))));
    } else if (find.kind == ScanKind::Instrument) {
        session_->UseHartPollingAddress(find.pollingAddress);
        summary_->setText(QString("HART Address is now %1.").arg(find.pollingAddress));
    }
}

void FindModuleDialog::SetRunning(bool running) {
    start_->setEnabled(!running);
    cancel_->setEnabled(running);
    for (QWidget* w : std::initializer_list<QWidget*>{checkLine_, checkBus_, checkHart_, busFirst_,
                                                      busLast_, hartFirst_, hartLast_, answerTime_})
        w->setEnabled(!running);
}

void FindModuleDialog::reject() {
    if (scanning()) CancelScans();
    QDialog::reject();
}
