#include "ui/hartinstrumentwindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>
#include <bit>
#include <cmath>
#include <utility>

#include "exchange/loopcheck.h"
#include "exchange/silenceadvice.h"
#include "hart/status.h"
#include "hart/units.h"
#include "session/hartcommissionjob.h"
#include "session/hartinstrumentjob.h"
#include "session/link.h"
#include "session/loopcheckjob.h"
#include "session/windowsession.h"
#include "ui/desktoppalette.h"
#include "ui/harttrimdialog.h"
#include "ui/screenfit.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QString Number(double value, int decimals = -1) {
    if (!std::isfinite(value)) return "not available";
    return decimals < 0 ? QString::number(value, 'g', 7) : QString::number(value, 'f', decimals);
}

template <typename W>
W* Named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// Bits of the device status byte, most significant first, as hart/status names them.
constexpr uint8_t kStatusBits[] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

enum LoopColumn { kPoint, kHart, kPercent, kModbus, kDeviation, kResult, kColumns };

// The date field's value before a read, shown blank: the day before the
// first date HART can carry (1900-01-01), so no date read or entered is it.
const QDate kUnreadDate(1899, 12, 31);
// The same for the damping: a step below the 0 s an instrument may hold.
constexpr double kUnreadDamping = -0.01;

}  // namespace

HartInstrumentWindow::HartInstrumentWindow(WindowSession* session, QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      job_(new HartInstrumentJob(session->link(), this)),
      // The loop check outlives the window: closing it still sends command 40 with 0.
      loop_(session->LoopCheck()),
      commission_(new HartCommissionJob(session->link(), session)) {
    setObjectName("HartInstrumentWindow");
    setWindowTitle("HART Instrument");

    address_ = Named(new QSpinBox, "spinHartPollingAddress");
    address_->setRange(0, 63);
    read_ = Named(new QPushButton("Read"), "buttonHartRead");
    identity_ = Named(new QLabel("Not read yet."), "labelHartIdentity");
    identity_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Polling address:"));
    top->addWidget(address_);
    top->addWidget(read_);
    top->addWidget(identity_, 1);

    auto* tagBox = new QGroupBox("Tag, descriptor, date, message");
    auto* tagForm = new QFormLayout(tagBox);
    tag_ = Named(new QLineEdit, "editHartTag");
    tag_->setMaxLength(kHartTagChars);
    descriptor_ = Named(new QLineEdit, "editHartDescriptor");
    descriptor_->setMaxLength(kHartDescriptorChars);
    date_ = Named(new QDateEdit, "dateHartDate");
    date_->setDisplayFormat("yyyy-MM-dd");
    date_->setDateRange(kUnreadDate, QDate(2155, 12, 31));
    date_->setSpecialValueText(" ");
    date_->setDate(kUnreadDate);
    message_ = Named(new QLineEdit, "editHartMessage");
    message_->setMaxLength(kHartMessageChars);
    writeTag_ = Named(new QPushButton("Write Tag..."), "buttonHartWriteTag");
    writeMessage_ = Named(new QPushButton("Write Message..."), "buttonHartWriteMessage");
    tagForm->addRow("Tag:", tag_);
    tagForm->addRow("Descriptor:", descriptor_);
    tagForm->addRow("Date:", date_);
    tagForm->addRow("", writeTag_);
    tagForm->addRow("Message:", message_);
    tagForm->addRow("", writeMessage_);

    auto* rangeBox = new QGroupBox("Range");
    auto* rangeForm = new QFormLayout(rangeBox);
    unit_ = Named(new QComboBox, "comboHartRangeUnit");
    // Every unit of the common table, named as all the tool's own outputs name it.
    for (int i = 0; i < HartUnitCodeCount(); ++i)
        unit_->addItem(HartUnitCodes()[i].name, HartUnitCodes()[i].code);
    unit_->setCurrentIndex(-1);  // none until read: the first item is no reading
    upper_ = Named(new QLineEdit, "editHartUpperRange");
    lower_ = Named(new QLineEdit, "editHartLowerRange");
    damping_ = Named(new QLabel("-"), "labelHartDamping");
    writeProtect_ = Named(new QLabel("-"), "labelHartWriteProtect");
    transfer_ = Named(new QLabel("-"), "labelHartTransferFunction");
    writeRange_ = Named(new QPushButton("Write Range..."), "buttonHartWriteRange");
    rangeForm->addRow("Units:", unit_);
    rangeForm->addRow("Upper range value (20 mA):", upper_);
    rangeForm->addRow("Lower range value (4 mA):", lower_);
    rangeForm->addRow("", writeRange_);
    rangeForm->addRow("Damping:", damping_);
    rangeForm->addRow("Transfer function:", transfer_);
    rangeForm->addRow("Write protect:", writeProtect_);

    auto* loopBox = new QGroupBox("Loop current and status");
    auto* loopGrid = new QGridLayout(loopBox);
    loopCurrent_ = Named(new QLabel("-"), "labelHartLoopCurrent");
    percent_ = Named(new QLabel("-"), "labelHartPercentOfRange");
    primary_ = Named(new QLabel("-"), "labelHartPrimaryVariable");
    loopGrid->addWidget(new QLabel("Loop current:"), 0, 0);
    loopGrid->addWidget(loopCurrent_, 0, 1);
    loopGrid->addWidget(new QLabel("Percent of range:"), 1, 0);
    loopGrid->addWidget(percent_, 1, 1);
    loopGrid->addWidget(new QLabel("Primary variable:"), 2, 0);
    loopGrid->addWidget(primary_, 2, 1);
    int row = 0;
    for (uint8_t bit : kStatusBits) {
        auto* label = new QLabel(Q(HartDeviceStatusBits(bit).front()));
        label->setObjectName(QString("labelHartStatusBit%1").arg(std::countr_zero(bit)));
        label->setFrameShape(QFrame::StyledPanel);
        label->setProperty("set", false);
        statusBits_.append(label);
        loopGrid->addWidget(label, 3 + row / 2, row % 2);
        ++row;
    }
    moreStatus_ = Named(new QLabel("-"), "labelHartMoreStatus");
    moreStatus_->setWordWrap(true);
    loopGrid->addWidget(moreStatus_, 3 + row / 2, 0, 1, 2);

    auto* checkBox = new QGroupBox("Loop check: HART against MODBUS register 40003");
    auto* checkLayout = new QVBoxLayout(checkBox);
    points_ = Named(new QLineEdit(Q(std::string(kDefaultLoopPoints))), "editLoopPoints");
    tolerance_ = Named(new QDoubleSpinBox, "spinLoopTolerance");
    tolerance_->setDecimals(3);
    tolerance_->setRange(0.001, 2.0);
    tolerance_->setSingleStep(0.01);
    tolerance_->setValue(kDefaultLoopTolerance);
    tolerance_->setSuffix(" mA");
    loopStart_ = Named(new QPushButton("Start Loop Check..."), "buttonLoopCheck");
    loopCancel_ = Named(new QPushButton("Cancel"), "buttonLoopCancel");
    loopCancel_->setEnabled(false);
    auto* checkRow = new QHBoxLayout;
    checkRow->addWidget(new QLabel("Points (mA):"));
    checkRow->addWidget(points_);
    checkRow->addWidget(new QLabel("Tolerance:"));
    checkRow->addWidget(tolerance_);
    checkRow->addWidget(loopStart_);
    checkRow->addWidget(loopCancel_);
    loopTable_ = Named(new QTableWidget(0, kColumns), "tableLoopCheck");
    loopTable_->setHorizontalHeaderLabels(
        {"Point", "HART", "% of range", "MODBUS 40003", "Deviation", "Result"});
    loopTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    loopTable_->verticalHeader()->hide();
    loopTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    loopTable_->horizontalHeader()->setSectionResizeMode(kResult, QHeaderView::ResizeToContents);
    loopTable_->setMinimumHeight(140);
    loopNote_ = Named(new QLabel, "labelLoopCheck");
    loopNote_->setWordWrap(true);
    checkLayout->addLayout(checkRow);
    checkLayout->addWidget(loopTable_);
    checkLayout->addWidget(loopNote_);

    auto* commissionBox = Named(new QGroupBox("Commissioning"), "groupHartCommissioning");
    auto* commissionGrid = new QGridLayout(commissionBox);
    dampingValue_ = Named(new QDoubleSpinBox, "spinHartDamping");
    dampingValue_->setDecimals(2);
    dampingValue_->setRange(kUnreadDamping, 60.0);
    dampingValue_->setSpecialValueText(" ");
    dampingValue_->setValue(kUnreadDamping);
    dampingValue_->setSingleStep(0.1);
    dampingValue_->setSuffix(" s");
    writeDamping_ = Named(new QPushButton("Write Damping..."), "buttonHartWriteDamping");
    pvUnits_ = Named(new QComboBox, "comboHartPvUnits");
    for (int i = 0; i < kUnitItemCount; ++i) {
        const int code = UnitTable()[i].code;
        if (code != kNoUnitCode && pvUnits_->findData(code) < 0)
            pvUnits_->addItem(Q(HartUnitName(code)), code);
    }
    pvUnits_->setCurrentIndex(-1);
    writePvUnits_ = Named(new QPushButton("Write PV Units..."), "buttonHartWritePvUnits");
    changeCounter_ = Named(new QLabel("-"), "labelHartChangeCounter");
    resetChanged_ = Named(new QPushButton("Reset Changed Flag..."), "buttonHartResetChanged");
    selfTest_ = Named(new QPushButton("Self Test..."), "buttonHartSelfTest");
    selfTestResult_ = Named(new QLabel("-"), "labelHartSelfTest");
    selfTestResult_->setWordWrap(true);
    deviceReset_ = Named(new QPushButton("Device Reset..."), "buttonHartDeviceReset");
    trim_ = Named(new QPushButton("Trim Loop Current..."), "buttonHartTrim");
    commissionGrid->addWidget(new QLabel("Damping:"), 0, 0);
    commissionGrid->addWidget(dampingValue_, 0, 1);
    commissionGrid->addWidget(writeDamping_, 0, 2);
    commissionGrid->addWidget(new QLabel("PV units:"), 1, 0);
    commissionGrid->addWidget(pvUnits_, 1, 1);
    commissionGrid->addWidget(writePvUnits_, 1, 2);
    commissionGrid->addWidget(new QLabel("Configuration changed:"), 2, 0);
    commissionGrid->addWidget(changeCounter_, 2, 1);
    commissionGrid->addWidget(resetChanged_, 2, 2);
    commissionGrid->addWidget(selfTest_, 3, 0);
    commissionGrid->addWidget(selfTestResult_, 3, 1, 1, 2);
    commissionGrid->addWidget(deviceReset_, 4, 0);
    commissionGrid->addWidget(trim_, 4, 2);

    age_ = Named(new QLabel, "labelHartValuesAge");
    age_->setWordWrap(true);
    age_->hide();
    statusIcon_ = Named(new QLabel, "hartStatusIcon");
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize);
    statusIcon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(icon, icon));
    statusIcon_->setAlignment(Qt::AlignTop);
    statusIcon_->hide();
    status_ = Named(new QLabel, "labelHartInstrumentStatus");
    status_->setWordWrap(true);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(statusIcon_);
    statusRow->addWidget(status_, 1);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(tagBox);
    left->addWidget(rangeBox);
    columns->addLayout(left);
    auto* right = new QVBoxLayout;
    right->addWidget(loopBox);
    right->addWidget(commissionBox);
    columns->addLayout(right);
    // The groups scroll; the age and the status lines stay below them, on
    // any screen and at any font size.
    auto* content = new QWidget;
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addLayout(columns);
    contentLayout->addWidget(checkBox, 1);
    auto* scroll = Named(new QScrollArea, "scrollHartInstrument");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    identity_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(scroll, 1);
    layout->addWidget(age_);
    layout->addLayout(statusRow);
    resize(FittedSize(this, QSize(900, 800)));
    // A set bit of stale values is greyed too, still told apart from a clear one.
    setStyleSheet(
        "QLabel[set=\"true\"] { background: #c62828; color: white; font-weight: bold; }"
        "QLabel[set=\"true\"]:disabled { background: #757575; }");

    ageTimer_ = new QTimer(this);
    ageTimer_->setInterval(1000);
    connect(ageTimer_, &QTimer::timeout, this, &HartInstrumentWindow::ShowAge);
    Link* link = session->link();
    // A reopening at another speed (a line scan) closes and opens at once:
    // only a port still closed once that is over leaves the values stale.
    connect(link, &Link::closed, this, [this, link] {
        QTimer::singleShot(0, this, [this, link] {
            if (!link->IsOpen()) MarkStale("before the port closed");
        });
    });
    connect(link, &Link::hungUp, this, &HartInstrumentWindow::HungUp);
    connect(link, &Link::opened, this, [this] { portGone_.clear(); });

    connect(read_, &QPushButton::clicked, this, &HartInstrumentWindow::Read);
    connect(writeTag_, &QPushButton::clicked, this, &HartInstrumentWindow::WriteTag);
    connect(writeMessage_, &QPushButton::clicked, this, &HartInstrumentWindow::WriteMessage);
    connect(writeRange_, &QPushButton::clicked, this, &HartInstrumentWindow::WriteRange);
    connect(loopStart_, &QPushButton::clicked, this, &HartInstrumentWindow::StartLoopCheck);
    connect(loopCancel_, &QPushButton::clicked, this, &HartInstrumentWindow::CancelLoopCheck);
    connect(job_, &HartInstrumentJob::finished, this, &HartInstrumentWindow::JobFinished);
    connect(job_, &HartInstrumentJob::finished, this, &HartInstrumentWindow::ShowCommissioning);
    connect(writeDamping_, &QPushButton::clicked, this, &HartInstrumentWindow::WriteDamping);
    connect(writePvUnits_, &QPushButton::clicked, this, &HartInstrumentWindow::WritePvUnits);
    connect(resetChanged_, &QPushButton::clicked, this, &HartInstrumentWindow::ResetChangedFlag);
    connect(selfTest_, &QPushButton::clicked, this, &HartInstrumentWindow::SelfTest);
    connect(deviceReset_, &QPushButton::clicked, this, &HartInstrumentWindow::DeviceReset);
    connect(trim_, &QPushButton::clicked, this, &HartInstrumentWindow::TrimLoopCurrent);
    connect(commission_, &HartCommissionJob::progress, this,
            [this](const QString& what) { Say(what + "..."); });
    connect(commission_, &HartCommissionJob::finished, this,
            &HartInstrumentWindow::CommissionFinished);
    connect(loop_, &LoopCheckJob::pointDone, this, &HartInstrumentWindow::ShowLoopPoint);
    connect(loop_, &LoopCheckJob::progress, this,
            [this](const QString& what) { Say(what + "..."); });
    connect(loop_, &LoopCheckJob::finished, this, &HartInstrumentWindow::LoopCheckFinished);
    SetBusy(false);
}

HartInstrumentWindow::~HartInstrumentWindow() {
    // Owned by the session, it goes on to leave fixed current mode on its own.
    if (loop_) loop_->Cancel();
    if (commission_) {
        // A trim releases the loop before the job goes.
        commission_->Cancel();
        if (commission_->IsRunning())
            connect(commission_, &HartCommissionJob::finished, commission_, &QObject::deleteLater);
        else
            delete commission_;
    }
}

HartCommissionJob* HartInstrumentWindow::commission() const { return commission_.data(); }

LoopCheckJob* HartInstrumentWindow::loopCheck() const { return loop_.data(); }

void HartInstrumentWindow::closeEvent(QCloseEvent* event) {
    if (loop_->IsRunning()) {
        loop_->Cancel();
        Say("The loop check was stopped as the window closed; fixed current mode is being left.");
    }
    if (commission_ && commission_->IsRunning() && trimming_) {
        commission_->Cancel();
        Say("The trim was stopped as the window closed; fixed current mode is being left.");
    }
    QWidget::closeEvent(event);
}

// A style sheet fixes the palette it was set under: a desktop turning dark
// would leave this window light, and a problem said in a colour chosen for
// the old background. Both are set again under the new palette.
void HartInstrumentWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    const bool palette = event->type() == QEvent::ApplicationPaletteChange ||
                         event->type() == QEvent::PaletteChange;
    if (!palette || restyling_) return;
    restyling_ = true;
    const QString sheet = styleSheet();
    setStyleSheet({});
    setStyleSheet(sheet);
    if (statusIcon_->isVisibleTo(this)) Say(status_->text(), true);
    restyling_ = false;
}

bool HartInstrumentWindow::EnsurePortOpen() {
    // As the Open button does, with its message if the port will not open.
    if (session_->EnsurePortOpen()) return true;
    Say("The port could not be opened: nothing was sent.", true);
    return false;
}

void HartInstrumentWindow::Say(const QString& text, bool problem) {
    status_->setText(text);
    status_->setStyleSheet(problem ? "color: " + ProblemColor(this).name() + ";" : "");
    statusIcon_->setVisible(problem);
}

QString HartInstrumentWindow::NextStep(bool timedOut, Protocol protocol) const {
    const Link* link = session_->link();
    if (!link->IsOpen())
        return portGone_.isEmpty() ? QString("The port is closed: open it and read again.")
                                   : portGone_;
    if (!timedOut) return {};
    return Q(TimeoutAdvice(protocol, link->SinceLastReply()));
}

QString HartInstrumentWindow::WithNextStep(const QString& failure) const {
    const QString next = NextStep(job_->timedOut());
    if (next.isEmpty()) return failure;
    // A failure may end its own sentence ("HART Command Timeout!").
    const bool ended = failure.endsWith('.') || failure.endsWith('!') || failure.endsWith('?');
    return failure + (ended ? " " : ". ") + next;
}

void HartInstrumentWindow::HungUp() {
    const bool network = QString::fromStdString(session_->link()->Settings().name).contains("://");
    portGone_ = Q(HangupAdvice(network));
    MarkStale(network ? "before the connection closed" : "before the adapter was disconnected");
    Say((network ? "The connection to the serial server was closed. "
                 : "The serial device was disconnected. ") +
            portGone_,
        true);
}

void HartInstrumentWindow::MarkStale(const QString& why) {
    if (!readAt_.isValid() || !staleWhy_.isEmpty()) return;
    staleWhy_ = why;
    Greyed(true);
    ShowAge();
    age_->show();
    ageTimer_->start();
}

void HartInstrumentWindow::MarkFresh() {
    readAt_.start();
    readClock_ = QTime::currentTime();
    if (staleWhy_.isEmpty()) return;
    staleWhy_.clear();
    ageTimer_->stop();
    age_->hide();
    Greyed(false);
}

void HartInstrumentWindow::ShowAge() {
    age_->setText(QString("Values read at %1, %2, %3: read again to bring them up to date.")
                      .arg(readClock_.toString("HH:mm:ss"), Q(AgoText(readAt_.elapsed())),
                           staleWhy_));
}

void HartInstrumentWindow::Greyed(bool greyed) {
    // What the instrument said, greyed as a disabled field is; the fields a
    // write sends keep taking input, only their text greyed.
    QList<QWidget*> said = {identity_, damping_,  writeProtect_,  transfer_,      loopCurrent_,
                            percent_,  primary_,  moreStatus_,    changeCounter_, selfTestResult_};
    for (QLabel* bit : statusBits_) said << bit;
    for (QWidget* w : said) w->setEnabled(!greyed);
    QList<QWidget*> sent = {tag_, descriptor_, date_, message_, unit_,
                            upper_, lower_, dampingValue_, pvUnits_};
    // A spin box draws its text in its own line edit.
    for (QWidget* box : {static_cast<QWidget*>(date_), static_cast<QWidget*>(dampingValue_)})
        sent << box->findChild<QLineEdit*>();
    for (QWidget* w : sent) {
        QPalette p;  // nothing set: the inherited palette again
        if (greyed) {
            p = w->palette();
            for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
                for (auto group : {QPalette::Active, QPalette::Inactive})
                    p.setColor(group, role, p.color(QPalette::Disabled, role));
        }
        w->setPalette(p);
    }
}

void HartInstrumentWindow::SetBusy(bool busy) {
    busy = busy || (commission_ && commission_->IsRunning());
    const bool identified = job_->identified();
    const bool checking = loop_->IsRunning();
    read_->setEnabled(!busy && !checking);
    for (QPushButton* b : {writeTag_, writeMessage_, writeRange_, loopStart_})
        b->setEnabled(!busy && !checking && identified);
    loopCancel_->setEnabled(checking);
    for (QPushButton* b :
         {writeDamping_, writePvUnits_, resetChanged_, selfTest_, deviceReset_, trim_})
        b->setEnabled(!busy && !checking && identified);
}

void HartInstrumentWindow::Read() {
    if (!EnsurePortOpen()) return;
    writing_ = false;
    if (!job_->StartRead(address_->value()))
        return Say("The line is busy: try again when it is free.", true);
    Say(QString("Reading the instrument at polling address %1...").arg(address_->value()));
    SetBusy(true);
}

bool HartInstrumentWindow::Confirm(const QString& title, const QString& text,
                                   const QString& action) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    box.button(QMessageBox::Ok)->setText(action);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void HartInstrumentWindow::Write(const HartWrite& write) {
    if (!EnsurePortOpen()) return;
    std::string error;
    if (!HartWriteStep(job_->reading().device.identity, write, &error))
        return Say(Q(error) + ": nothing was sent.", true);
    const QString change = Q(HartWriteChange(write, job_->reading()));
    const QString text = QString("Write to the instrument %1:\n%2?")
                             .arg(Q(HartIdentityText(job_->reading())), change);
    if (!Confirm("Write to the HART Instrument", text, "Write")) return Say("Nothing was written.");
    writing_ = true;
    if (!job_->StartWrite(write)) return Say(job_->failure(), true);
    Say("Writing " + change + "...");
    SetBusy(true);
}

void HartInstrumentWindow::WriteTag() {
    HartWrite w;
    w.kind = HartWrite::Kind::Tag;
    const QDate d = date_->date();
    // A date never read nor entered is not written as if it were the instrument's.
    if (d == kUnreadDate)
        return Say("The date was not read: read the instrument or enter a date; nothing was sent.",
                   true);
    w.tag = {tag_->text().toStdString(),
             descriptor_->text().toStdString(),
             {d.day(), d.month(), d.year()}};
    Write(w);
}

void HartInstrumentWindow::WriteMessage() {
    HartWrite w;
    w.kind = HartWrite::Kind::Message;
    w.message = message_->text().toStdString();
    Write(w);
}

void HartInstrumentWindow::WriteRange() {
    bool upperOk = false, lowerOk = false;
    const float upper = QLocale::c().toFloat(upper_->text().trimmed(), &upperOk);
    const float lower = QLocale::c().toFloat(lower_->text().trimmed(), &lowerOk);
    if (!upperOk || !lowerOk)
        return Say(QString("The %1 range value is not a number: nothing was sent.")
                       .arg(upperOk ? "lower" : "upper"),
                   true);
    if (unit_->currentIndex() < 0)
        return Say("The range unit was not read: read the instrument or choose a unit; nothing "
                   "was sent.",
                   true);
    HartWrite w;
    w.kind = HartWrite::Kind::Range;
    w.range = {static_cast<uint8_t>(unit_->currentData().toInt()), upper, lower};
    Write(w);
}

void HartInstrumentWindow::JobFinished() {
    SetBusy(false);
    ShowReading();
    // Only a whole read brings every value up to date (a write reads back one
    // command; a read that failed read nothing, its later reads go on past a gap).
    if (!writing_ && job_->ok()) MarkFresh();
    if (!job_->ok()) {
        if (!writing_ && job_->timedOut()) MarkStale("before the instrument stopped answering");
        const QString what = writing_ ? "The write failed" : "The read failed";
        return Say(WithNextStep(what + ": " + job_->failure()), true);
    }
    if (writing_ && !job_->warning().isEmpty())
        return Say("Written with a warning (" + job_->warning() +
                       ") and read back: the instrument holds what was written.",
                   true);
    Say(writing_ ? "Written and read back: the instrument holds what was written."
                 : "Read at " + QTime::currentTime().toString("HH:mm:ss") + ".");
    if (!writing_ && !job_->gaps().isEmpty())
        Say(WithNextStep("Read at " + QTime::currentTime().toString("HH:mm:ss") +
                         ", except: " + job_->gaps()),
            true);
    else if (!writing_ && !job_->warning().isEmpty())
        Say("Read at " + QTime::currentTime().toString("HH:mm:ss") +
                " with a warning (" + job_->warning() + ")",
            true);
}

void HartInstrumentWindow::ShowReading() {
    if (!job_->identified()) return;
    const HartInstrumentReading& r = job_->reading();
    identity_->setText(Q(HartIdentityText(r)));
    if (r.tag) {
        tag_->setText(Q(r.tag->tag));
        descriptor_->setText(Q(r.tag->descriptor));
        date_->setDate(QDate(r.tag->date.year, r.tag->date.month, r.tag->date.day));
    }
    if (r.message) message_->setText(Q(*r.message));
    if (r.info) {
        // A code the list lacks is shown as its number, so a range written
        // back never changes the unit unasked.
        int at = unit_->findData(r.info->rangeUnitCode);
        if (at < 0) {
            unit_->addItem(Q(HartUnitName(r.info->rangeUnitCode)), r.info->rangeUnitCode);
            at = unit_->count() - 1;
        }
        unit_->setCurrentIndex(at);
        upper_->setText(Number(r.info->upper));
        lower_->setText(Number(r.info->lower));
        damping_->setText(Number(r.info->damping) + " s");
        transfer_->setText(Q(HartTransferFunctionText(r.info->transferFunction)));
        writeProtect_->setText(Q(HartWriteProtectText(r.info->writeProtect)));
    }
    // A value the instrument reports not available is said so, without a unit to read as a number.
    const auto withUnit = [](float value, const QString& text, const QString& unit) {
        return HartNotAvailable(value) ? text + " (" + unit + ")" : text + " " + unit;
    };
    if (r.loop) {
        loopCurrent_->setText(HartNotAvailable(r.loop->current) ? QString(kHartNotAvailableText)
                                                                : Number(r.loop->current, 3) + " mA");
        percent_->setText(HartNotAvailable(r.loop->percent) ? QString(kHartNotAvailableText)
                                                            : Number(r.loop->percent, 1) + " %");
    }
    if (r.primary)
        primary_->setText(withUnit(r.primary->value, Number(r.primary->value),
                                   Q(HartUnitName(r.primary->unitCode))));
    for (int i = 0; i < statusBits_.size(); ++i) {
        QLabel* label = statusBits_[i];
        label->setProperty("set", (r.deviceStatus & kStatusBits[i]) != 0);
        label->style()->unpolish(label);
        label->style()->polish(label);
    }
    QStringList more;
    if (r.moreStatus) {
        for (const HartStatusByte& b : HartAdditionalStatus(*r.moreStatus)) {
            if (b.value == 0) continue;
            QString line = QString("byte %1 %2: %3")
                               .arg(b.index)
                               .arg(Q(b.what))
                               .arg(b.value, 2, 16, QChar('0'));
            if (!b.setBits.empty()) {
                QStringList names;
                for (const auto& n : b.setBits) names << Q(n);
                line += " (" + names.join(", ") + ")";
            }
            more << line;
        }
        moreStatus_->setText(more.isEmpty() ? "Additional status: all clear"
                                            : "Additional status: " + more.join("; "));
    } else {
        moreStatus_->setText("No additional status: " + Q(r.moreStatusNote));
    }
}

void HartInstrumentWindow::StartLoopCheck() {
    std::string error;
    const auto points = ParseLoopPoints(points_->text().toStdString(), &error);
    if (!points) return Say("Points: " + Q(error) + "; nothing was sent.", true);
    if (!EnsurePortOpen()) return;
    const QString announcement = Q(LoopCheckAnnouncement(*points));
    const QString text = QString(
                             "Loop check of the instrument %1:\n%2.\nFixed current mode is left at "
                             "the end, on Cancel and on a failure.")
                             .arg(Q(HartIdentityText(job_->reading())), announcement);
    if (!Confirm("Loop Check", text, "Start")) return Say("The loop check was not started.");
    loopTable_->setRowCount(0);
    if (!loop_->Start(address_->value(), *points, tolerance_->value()))
        return Say("The line is busy: try again when it is free.", true);
    loopNote_->setText(announcement[0].toUpper() + announcement.mid(1) + ".");
    SetBusy(true);
}

void HartInstrumentWindow::CancelLoopCheck() { loop_->Cancel(); }

void HartInstrumentWindow::ShowLoopPoint(int index) {
    const LoopPointResult& p = loop_->report().points[static_cast<size_t>(index)];
    const auto mA = [](const std::optional<double>& v, bool sign = false) {
        if (!v) return QString("-");
        return (sign && *v >= 0 ? "+" : "") + QString::number(*v, 'f', 3) + " mA";
    };
    const int row = loopTable_->rowCount();
    loopTable_->insertRow(row);
    const QString cells[kColumns] = {
        Q(LoopCurrentText(p.target)) + " mA",
        mA(p.hartCurrent ? std::optional<double>(*p.hartCurrent) : std::nullopt),
        p.percent ? Number(*p.percent, 1) + " %" : "-",
        mA(p.modbusCurrent),
        mA(p.modbusDeviation, true),
        p.pass ? "pass" : "FAIL: " + Q(p.why),
    };
    for (int c = 0; c < kColumns; ++c) {
        auto* item = new QTableWidgetItem(cells[c]);
        if (c == kResult && !p.pass) item->setForeground(ReadableOnBase(QColor("#c62828")));
        loopTable_->setItem(row, c, item);
    }
}

void HartInstrumentWindow::LoopCheckFinished() {
    SetBusy(false);
    const LoopCheckReport& r = loop_->report();
    int failed = 0;
    for (const auto& p : r.points) failed += p.pass ? 0 : 1;
    QString verdict;
    if (!r.failure.isEmpty()) {
        // The silent step may be the module's (its queries, its registers) or the instrument's.
        const RequestCode* silent = FindRequestCode(loop_->timedOutCode());
        const QString next =
            NextStep(silent != nullptr, silent ? silent->protocol : Protocol::Hart);
        verdict = "The loop check stopped: " + r.failure + "." + (next.isEmpty() ? "" : " " + next);
    }
    else if (r.cancelled)
        verdict = "The loop check was cancelled.";
    else if (failed > 0)
        verdict = QString("%1 of %2 points out of tolerance.").arg(failed).arg(r.points.size());
    else
        verdict = QString("All %1 points within %2 mA.").arg(r.points.size()).arg(r.tolerance);
    loopNote_->setText(verdict + " " + r.exitNote);
    Say(verdict + " " + r.exitNote, !r.Passed());
}

QString HartInstrumentWindow::InstrumentText() const {
    const HartInstrumentReading& r = job_->reading();
    const QString identity = Q(HartIdentityText(r));
    if (!r.tag || r.tag->tag.empty()) return identity;
    return "\"" + Q(r.tag->tag) + "\" (" + identity + ")";
}

void HartInstrumentWindow::Commission(const HartCommission& write, const QString& title,
                                      const QString& action) {
    if (!EnsurePortOpen()) return;
    const HartInstrumentReading& r = job_->reading();
    const QString change = Q(HartCommissionChange(write, r.device, r.info));
    QString text;
    switch (write.kind) {
        case HartCommission::Kind::SelfTest:
            text = "Run a self test of the instrument " + InstrumentText() +
                   "?\nIt may not answer for a moment while it tests itself.";
            break;
        case HartCommission::Kind::DeviceReset:
            text = "Reset the instrument " + InstrumentText() +
                   "?\nIt restarts as if switched off and on: its loop current and variables "
                   "are not valid meanwhile.";
            break;
        default:
            text = "Write to the instrument " + InstrumentText() + ":\n" + change + "?";
            break;
    }
    if (!Confirm(title, text, action)) return Say("Nothing was sent.");
    if (!commission_->Start(address_->value(), write))
        return Say("The line is busy: try again when it is free.", true);
    Say(change[0].toUpper() + change.mid(1) + "...");
    SetBusy(true);
}

void HartInstrumentWindow::WriteDamping() {
    HartCommission w;
    w.kind = HartCommission::Kind::Damping;
    if (dampingValue_->value() == kUnreadDamping)
        return Say("The damping was not read: read the instrument or enter a damping; nothing "
                   "was sent.",
                   true);
    w.damping = static_cast<float>(dampingValue_->value());
    Commission(w, "Write Damping", "Write");
}

void HartInstrumentWindow::WritePvUnits() {
    HartCommission w;
    w.kind = HartCommission::Kind::PvUnits;
    if (pvUnits_->currentIndex() < 0)
        return Say("The PV units were not read: read the instrument or choose a unit; nothing "
                   "was sent.",
                   true);
    w.unitCode = static_cast<uint8_t>(pvUnits_->currentData().toInt());
    Commission(w, "Write PV Units", "Write");
}

void HartInstrumentWindow::ResetChangedFlag() {
    HartCommission w;
    w.kind = HartCommission::Kind::ResetChanged;
    // The counter shown: a change made since by another master is not acknowledged unseen.
    w.changeCounter = job_->reading().device.configChangeCounter;
    Commission(w, "Reset Configuration Changed Flag", "Reset");
}

void HartInstrumentWindow::SelfTest() {
    HartCommission w;
    w.kind = HartCommission::Kind::SelfTest;
    Commission(w, "Self Test", "Start");
}

void HartInstrumentWindow::DeviceReset() {
    HartCommission w;
    w.kind = HartCommission::Kind::DeviceReset;
    Commission(w, "Device Reset", "Reset");
}

void HartInstrumentWindow::TrimLoopCurrent() {
    if (!EnsurePortOpen()) return;
    const QString text =
        "Trim the loop current of the instrument " + InstrumentText() +
        "?\nThe loop current will be held at 4 and 20 mA: the control system will see these "
        "values. Have a reference meter in the loop. Fixed current mode is left at the end, on "
        "Cancel and on a failure.";
    if (!Confirm("Trim Loop Current", text, "Start")) return Say("Nothing was sent.");
    auto* dialog = new HartTrimDialog(commission_, InstrumentText(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!dialog->Start(address_->value())) {
        delete dialog;
        return Say("The line is busy: try again when it is free.", true);
    }
    trimming_ = true;
    SetBusy(true);
    dialog->open();
}

void HartInstrumentWindow::CommissionFinished() {
    SetBusy(false);
    if (std::exchange(trimming_, false)) {
        const HartLoopTrim* trim = commission_->trim();
        const QString text = trim ? Q(trim->report().Summary()) : commission_->trimFailure();
        return Say(text[0].toUpper() + text.mid(1) + ".", !trim || !trim->report().Done());
    }
    const HartCommissionResult& r = commission_->result();
    const QString change = commission_->change();
    const QString text = (change.isEmpty() ? QString() : change + ": ") + Q(r.text);
    const QString next = r.ok() ? QString() : NextStep(commission_->timedOut());
    Say(text[0].toUpper() + text.mid(1) + "." + (next.isEmpty() ? "" : " " + next), !r.ok());
    if (commission_->write().kind == HartCommission::Kind::SelfTest)
        selfTestResult_->setText(Q(r.text));
    if (const auto& info = commission_->info()) {
        dampingValue_->setValue(info->damping);
        damping_->setText(Number(info->damping) + " s");
        const int at = pvUnits_->findData(info->rangeUnitCode);
        if (at >= 0) pvUnits_->setCurrentIndex(at);
        // The range group shows what a Write Range sends: a unit changed here
        // must not be written back to the old one unasked.
        int range = unit_->findData(info->rangeUnitCode);
        if (range < 0) {
            unit_->addItem(QString("unit code %1").arg(info->rangeUnitCode), info->rangeUnitCode);
            range = unit_->count() - 1;
        }
        unit_->setCurrentIndex(range);
        upper_->setText(Number(info->upper));
        lower_->setText(Number(info->lower));
    }
    if (commission_->write().kind == HartCommission::Kind::ResetChanged && r.ok())
        changeCounter_->setText(
            "clear" +
            (commission_->device() && commission_->device()->configChangeCounter
                 ? QString(" (change counter %1)").arg(*commission_->device()->configChangeCounter)
                 : QString()));
}

void HartInstrumentWindow::ShowCommissioning() {
    if (!job_->identified()) return;
    const HartInstrumentReading& r = job_->reading();
    if (r.info) {
        dampingValue_->setValue(r.info->damping);
        int at = pvUnits_->findData(r.info->rangeUnitCode);
        if (at < 0) {
            pvUnits_->addItem(Q(HartUnitName(r.info->rangeUnitCode)), r.info->rangeUnitCode);
            at = pvUnits_->count() - 1;
        }
        pvUnits_->setCurrentIndex(at);
    }
    QString changed = r.deviceStatus & 0x40 ? "set" : "clear";
    if (r.device.configChangeCounter)
        changed += QString(" (change counter %1)").arg(*r.device.configChangeCounter);
    changeCounter_->setText(changed);
}
