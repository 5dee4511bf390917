#include "ui/portcombobox.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QSaveFile>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

#include "serial/netport.h"
#include "serial/tcomm.h"
#include "session/portdiscovery.h"
#include "traffic/journal.h"

namespace {

// Elides in the middle when it is not being edited: the start (/dev/serial/by-id/)
// and the end (the interface number) tell the most. Its text stays whole.
class TElidingLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void paintEvent(QPaintEvent* event) override {
        const QRect area = contentsRect().marginsRemoved(textMargins()).adjusted(2, 0, -2, 0);
        if (hasFocus() || fontMetrics().horizontalAdvance(text()) <= area.width()) {
            QLineEdit::paintEvent(event);
            return;
        }
        QPainter painter(this);
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
        painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

// The list shows each entry's note (its kind, the device a COMn names) after
// its text, dimmed; the text alone goes into the box when chosen.
class TNoteDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString note = index.data(TPortComboBox::kNoteRole).toString();
        if (!note.isEmpty()) option->text += QStringLiteral("   (") + note + QLatin1Char(')');
    }
};

}  // namespace

TPortComboBox::TPortComboBox(QWidget* parent)
    : QComboBox(parent), discovery_(&DiscoverSerialPorts) {
    setLineEdit(new TElidingLineEdit(this));
    // Long by-id paths must not widen the window: the box keeps its own width.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    view()->setTextElideMode(Qt::ElideMiddle);
    setItemDelegate(new TNoteDelegate(this));
    FitWidth();
    connect(this, &QComboBox::currentTextChanged, this, &TPortComboBox::UpdateToolTip);
}

void TPortComboBox::SetDiscovery(Discovery discovery) { discovery_ = std::move(discovery); }

void TPortComboBox::RefreshPorts() {
    if (fixedCount_ < 0) fixedCount_ = count();
    std::vector<std::string> fixed;
    for (int i = 0; i < fixedCount_; ++i) fixed.push_back(itemText(i).toStdString());
    const std::vector<TPortItem> items =
        MergePortList(fixed, discovery_ ? discovery_() : std::vector<TPortInfo>{}, recent_);

    const QString typed = currentText();
    const int index = currentIndex();
    const int cursor = lineEdit()->cursorPosition();
    {
        const QSignalBlocker quiet(this);  // the text does not change, whatever the items do
        while (count() > fixedCount_) removeItem(count() - 1);
        for (size_t i = 0; i < items.size(); ++i) {
            if (i >= fixed.size()) addItem(QString::fromStdString(items[i].text));
            const int row = static_cast<int>(i);
            setItemData(row, QString::fromStdString(items[i].toolTip), Qt::ToolTipRole);
            setItemData(row, QString::fromStdString(items[i].note), kNoteRole);
        }
        if (index >= fixedCount_ || index >= count()) setCurrentIndex(findText(typed));
        if (currentText() != typed) setEditText(typed);
        lineEdit()->setCursorPosition(cursor);
    }
    UpdateToolTip();
}

void TPortComboBox::showPopup() {
    RefreshPorts();
    // The list may be wider than the box, up to what a screen shows.
    const int wanted = view()->sizeHintForColumn(0) +
                       view()->verticalScrollBar()->sizeHint().width() + 2 * view()->frameWidth() +
                       8;
    view()->setMinimumWidth(std::clamp(wanted, width(), 720));
    QComboBox::showPopup();
}

void TPortComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitWidth();
}

// Wide enough for /dev/ttyUSB10; the box counts its minimum in 'X' widths.
void TPortComboBox::FitWidth() {
    const QFontMetrics metrics = fontMetrics();
    const int unit = std::max(1, std::min(metrics.horizontalAdvance(QLatin1Char('x')),
                                          metrics.horizontalAdvance(QLatin1Char('X'))));
    const int needed = metrics.horizontalAdvance(QString::fromLatin1(kWidestShortName)) + 8;
    setMinimumContentsLength((needed + unit - 1) / unit);
}

// The whole path, and what the device says about itself where it was found.
void TPortComboBox::UpdateToolTip() {
    const QString text = currentText();
    const int found = findText(text);
    QString tip = text;
    const std::string device = ResolvePortName(text.toStdString());
    if (device != text.toStdString())
        tip += QStringLiteral(" (%1)").arg(QString::fromStdString(device));
    if (found >= 0) {
        const QString about = itemData(found, Qt::ToolTipRole).toString();
        if (!about.isEmpty()) tip += QLatin1Char('\n') + about;
    }
    setToolTip(tip);
}

namespace {

QString RecentPortsFile() {
    return QString::fromStdString(JournalFolder()) + QStringLiteral("/recent-network-ports");
}

}  // namespace

std::vector<std::string> LoadRecentPorts() {
    QFile file(RecentPortsFile());
    std::vector<std::string> recent;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return recent;
    // Oldest first, so each remembered one goes ahead of those before it.
    QList<QByteArray> lines = file.readAll().split('\n');
    std::reverse(lines.begin(), lines.end());
    for (const QByteArray& line : lines)
        recent = RememberNetworkPort(std::move(recent), line.trimmed().toStdString());
    return recent;
}

void SaveRecentPorts(const std::vector<std::string>& recent) {
    // A list the next run can do without: a failure to keep it is not worth a message.
    QDir().mkpath(QString::fromStdString(JournalFolder()));
    QSaveFile file(RecentPortsFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return;
    for (const std::string& port : recent) file.write(QByteArray::fromStdString(port + "\n"));
    file.commit();
}
