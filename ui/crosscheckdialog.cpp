#include "ui/crosscheckdialog.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "exchange/requestcodes.h"
#include "hart/units.h"
#include "modbus/byteorder.h"
#include "protocol/hexbytes.h"
#include "session/link.h"
#include "session/windowsession.h"
#include "ui/controls.h"
#include "ui/screenfit.h"

namespace {

// A byte order's column title: the window's item text where the module
// offers the order.
QString OrderTitle(const QStringList& names, int order) {
    if (order < names.size()) return names[order];
    return QString("%1 (%2)").arg(order).arg(kFloatByteOrders[order].pattern);
}

QString Hex(std::span<const uint8_t> bytes) { return QString::fromLatin1(HexText(bytes)); }

QString Number(double value) { return QString::number(value, 'g', 7); }

QTableWidget* Table(const char* objectName, const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()));
    table->setObjectName(objectName);
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void Put(QTableWidget* table, int row, int column, const QString& text) {
    table->setItem(row, column, new QTableWidgetItem(text));
}

QString ModbusSummary(const ModbusReply& r) {
    QString text = QString("Slave %1, function %2")
                       .arg(r.slave)
                       .arg(QString::fromStdString(ModbusFunctionName(r.function)));
    if (r.exception) {
        text += QString(", exception %1")
                    .arg(QString::fromStdString(ModbusExceptionName(r.exceptionCode)));
    }
    if (r.hasByteCount) text += QString(", %1 data bytes").arg(r.byteCount);
    if (r.crcPresent) {
        text += r.crcOk ? QString(", CRC %1 correct").arg(Hex(r.crcReceived))
                        : QString(", CRC %1 wrong, expected %2")
                              .arg(Hex(r.crcReceived), Hex(r.crcExpected));
    }
    if (r.problem != ModbusReplyProblem::None) {
        text += QString("; %1").arg(ModbusReplyProblemText(r.problem));
    }
    return text;
}

}  // namespace

CrossCheckDialog::CrossCheckDialog(WindowSession* session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setObjectName("CrossCheckDialog");
    setWindowTitle("MODBUS Reply and Cross-Check");

    auto* modbusGroup = new QGroupBox("Last MODBUS Comm Test reply");
    modbusGroup->setObjectName("groupModbusReply");
    modbusSummary_ = new QLabel;
    modbusSummary_->setObjectName("labelModbusSummary");
    modbusSummary_->setWordWrap(true);
    QStringList headers{"Register", "Hex", "Value"};
    const QStringList orderNames = session_->Settings().byteOrderNames;
    for (int order = 0; order < kFloatByteOrderCount; ++order)
        headers << OrderTitle(orderNames, order);
    registers_ = Table("tableModbusRegisters", headers);
    auto* modbusLayout = new QVBoxLayout(modbusGroup);
    modbusLayout->addWidget(modbusSummary_);
    modbusLayout->addWidget(registers_);

    auto* checkGroup = new QGroupBox("HART and MODBUS side by side");
    checkGroup->setObjectName("groupCrossCheck");
    sources_ = new QLabel;
    sources_->setObjectName("labelCrossCheckSources");
    sources_->setWordWrap(true);
    tolerance_ = new QDoubleSpinBox;
    tolerance_->setObjectName("spinCrossCheckTolerance");
    tolerance_->setRange(0.001, 100);
    tolerance_->setDecimals(3);
    tolerance_->setValue(CrossCheckSettings{}.tolerancePercent);
    tolerance_->setSuffix(" %");
    crossCheck_ = Table("tableCrossCheck", {"Variable", "Register", "HART value", "Unit",
                                            "Coefficient", "Expected", "MODBUS value", "Agrees"});
    verdicts_ = new QLabel;
    verdicts_->setObjectName("labelCrossCheckVerdicts");
    verdicts_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* toleranceRow = new QFormLayout;
    toleranceRow->addRow("Tolerance:", tolerance_);
    auto* checkLayout = new QVBoxLayout(checkGroup);
    checkLayout->addWidget(sources_);
    checkLayout->addLayout(toleranceRow);
    checkLayout->addWidget(crossCheck_);
    checkLayout->addWidget(verdicts_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(modbusGroup);
    layout->addWidget(checkGroup);
    resize(FittedSize(this, {900, 640}));

    // Follow new replies and every setting of the window the comparison reads.
    connect(session_, &WindowSession::repliesCaptured, this, &CrossCheckDialog::Refresh);
    connect(session_, &WindowSession::settingsChanged, this, &CrossCheckDialog::Refresh);
    // A MODBUS request made or timed out changes what the kept reply is worth;
    // the ages shown grow by the second.
    connect(session_->link(), &Link::sent, this, &CrossCheckDialog::Refresh);
    connect(session_->link(), &Link::timedOut, this, &CrossCheckDialog::Refresh);
    auto* ages = new QTimer(this);
    connect(ages, &QTimer::timeout, this, &CrossCheckDialog::Refresh);
    ages->start(1000);
    connect(tolerance_, &QDoubleSpinBox::valueChanged, this, &CrossCheckDialog::Refresh);
    Refresh();
}

CrossCheckSettings CrossCheckDialog::SettingsFromWindow() const {
    const WindowSettings window = session_->Settings();
    CrossCheckSettings s;
    s.listOrder = window.byteOrders;
    s.coefficientMode = window.coefficientMode;
    s.coefficient1 = TextBytes(window.coefficient1);
    s.coefficients = {TextBytes(window.coefficients[0]), TextBytes(window.coefficients[1]),
                      TextBytes(window.coefficients[2])};
    s.tolerancePercent = tolerance_->value();
    return s;
}

void CrossCheckDialog::Refresh() {
    const LastReplies& last = session_->Captured();
    ModbusReply modbus;
    if (last.modbus.empty()) {
        modbusSummary_->setText("No reply yet: press \"MODBUS Comm Test\".");
        registers_->setRowCount(0);
    } else {
        modbus = DecodeModbusReply(last.modbus);
        ShowModbusReply(modbus, last.modbusFirstRegister);
    }

    // What the comparison rests on, and how old each side is.
    const QDateTime now = QDateTime::currentDateTime();
    const ExchangeRecord& request = session_->link()->Current();
    CrossCheckSources sources;
    sources.hart = last.hart.has_value();
    sources.modbus = !last.modbus.empty();
    sources.modbusVerdict = last.modbusVerdict;
    if (request.code == kCodeModbusTest && !request.answered) {
        sources.modbusTimedOut = request.timedOut;
        sources.modbusPending = !request.timedOut;
    }
    sources.hartAgeMs = last.hart ? last.hartTime.msecsTo(now) : 0;
    sources.modbusAgeMs = sources.modbus ? last.modbusTime.msecsTo(now) : 0;
    QStringList lines;
    lines << (last.hart ? QString("HART command 3 reply of %1 (%2), from %3")
                              .arg(last.hartTime.toString("HH:mm:ss"),
                                   QString::fromStdString(AgeText(sources.hartAgeMs)),
                                   last.hartSource)
                        : QString("No HART command 3 reply yet: press \"HART Command Query\"."));
    if (sources.modbus) {
        lines << QString("MODBUS reply of %1 (%2), from %3")
                     .arg(last.modbusTime.toString("HH:mm:ss"),
                          QString::fromStdString(AgeText(sources.modbusAgeMs)),
                          last.modbusSource);
    }
    sources_->setText(lines.join("; "));
    const auto why = WhyNotComparable(sources);
    if (!last.hart || last.modbus.empty()) {
        crossCheck_->setRowCount(0);
        verdicts_->setText(QString("Could not compare: %1.").arg(QString::fromStdString(*why)));
        return;
    }
    auto rows =
        CrossCheck(*last.hart, modbus.registers, last.modbusFirstRegister, SettingsFromWindow());
    ShowCrossCheck(rows, why);
}

void CrossCheckDialog::ShowModbusReply(const ModbusReply& reply, int firstRegister) {
    modbusSummary_->setText(ModbusSummary(reply));
    const auto pairs = ModbusFloatPairs(reply.registers, firstRegister);
    registers_->setRowCount(static_cast<int>(reply.registers.size()));
    for (int i = 0; i < registers_->rowCount(); ++i) {
        const uint16_t value = reply.registers[static_cast<size_t>(i)];
        const int address = firstRegister + i;
        const uint8_t bytes[] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
        Put(registers_, i, 0, QString::number(address));
        Put(registers_, i, 1, Hex(bytes));
        Put(registers_, i, 2, QString::number(value));
        for (const ModbusFloatPair& pair : pairs) {
            if (pair.address != address) continue;
            for (int order = 0; order < kFloatByteOrderCount; ++order) {
                Put(registers_, i, 3 + order, Number(pair.value[static_cast<size_t>(order)]));
            }
        }
    }
}

void CrossCheckDialog::ShowCrossCheck(const std::vector<CrossCheckRow>& rows,
                                      const std::optional<std::string>& why) {
    crossCheck_->setRowCount(static_cast<int>(rows.size()));
    QStringList verdicts;
    for (int i = 0; i < crossCheck_->rowCount(); ++i) {
        const CrossCheckRow& row = rows[static_cast<size_t>(i)];
        const auto text = [](const auto& value) { return value ? Number(*value) : QString("-"); };
        Put(crossCheck_, i, 0, QString("Variable %1").arg(row.variable));
        Put(crossCheck_, i, 1, QString::number(row.address));
        Put(crossCheck_, i, 2,
            row.hartValue && HartNotAvailable(*row.hartValue) ? kHartNotAvailableText
                                                               : text(row.hartValue));
        Put(crossCheck_, i, 3,
            row.hartValue ? QString::fromStdString(HartUnitName(row.unitCode)) : "");
        Put(crossCheck_, i, 4, text(row.factor));
        Put(crossCheck_, i, 5, text(row.expected));
        Put(crossCheck_, i, 6, text(row.modbusValue));
        // A side that can't be trusted now leaves nothing to agree or disagree with.
        const CrossCheckState state = why ? CrossCheckState::CouldNotCompare : row.state;
        Put(crossCheck_, i, 7,
            state == CrossCheckState::Agrees      ? "yes"
            : state == CrossCheckState::Disagrees ? "no"
                                                  : "could not compare");
        crossCheck_->item(i, 7)->setBackground(state == CrossCheckState::Agrees ? QColor(0xC8, 0xF0, 0xC8)
                                               : state == CrossCheckState::Disagrees
                                                   ? QColor(0xF8, 0xC8, 0xC0)
                                                   : QColor(0xE8, 0xE8, 0xE8));
        // Dark text on the light verdict colours, whatever the theme's text is.
        crossCheck_->item(i, 7)->setForeground(QColor(0x10, 0x10, 0x10));
        verdicts << QString::fromStdString(row.verdict);
    }
    if (why) verdicts.prepend(QString("Could not compare: %1.").arg(QString::fromStdString(*why)));
    verdicts_->setText(verdicts.join("\n"));
}
