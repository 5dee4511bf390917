#include "ui/controls.h"

#include <algorithm>
#include <string_view>

int ItemIndex(const QComboBox* combo) {
    if (!combo->isEditable()) return combo->currentIndex();
    const QString text = combo->currentText();
    if (combo->currentIndex() >= 0 && combo->itemText(combo->currentIndex()) == text) {
        return combo->currentIndex();
    }
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void SetItemIndex(QComboBox* combo, int index) {
    if (index >= 0 && index < combo->count()) {
        combo->setCurrentIndex(index);
        if (combo->isEditable()) combo->setEditText(combo->itemText(index));
    } else {
        combo->setCurrentIndex(-1);
        if (combo->isEditable()) combo->setEditText(QString());
    }
}

std::string TextBytes(const QString& text) { return text.toLatin1().toStdString(); }

QString BytesText(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString DisplayText(const std::string& bytes) {
    return BytesText(bytes.substr(0, bytes.find('\0')));
}

ERefusedInput::ERefusedInput(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

namespace {

struct Caption {
    std::string_view control;
    const char* caption;
};

// Captions of the controls whose text or item a handler reads, as the window
// labels them.
constexpr Caption kCaptions[] = {
    {"ComboBox11", "Baud Rate"},
    {"Edit14", "MODBUS Slave Address"},
    {"Edit6", "MODBUS Polling Interval"},
    {"PCBSN", "PCBSN"},
    {"JIANZHI", "Inspector"},
    {"D2M4", "Variable 2 4mA"},
    {"D2M20", "Variable 2 20mA"},
    {"D3M4", "Variable 3 4mA"},
    {"D3M20", "Variable 3 20mA"},
    {"D4M4", "Variable 4 4mA"},
    {"D4M20", "Variable 4 20mA"},
    {"Beilv", "Coefficient"},
    {"xishu2", "Variable2coefficient"},
    {"xishu3", "Variable3coefficient"},
    {"xishu4", "Variable4coefficient"},
    {"Edit2", "Buffer Clear Time"},
    {"Edit4", "Read Meter Command 1"},
    {"Edit5", "Read Meter Command 2"},
    {"READADR1", "Start Addr of Variable 1"},
    {"READADR3", "Start Addr of Variable 2"},
    {"READADR5", "Start Addr of Variable 3"},
    {"READADR7", "Start Addr of Variable 4"},
    {"ONECMAD01", "No1_Command Number"},
    {"ONECMAD02", "No2_Command Number"},
    {"ComboBox30", "HART Address"},
    {"ComboBox42", "HART Command Mode"},
    {"ComboBox27", "HART Address Configuration"},
    {"Edit9", "Preamble Length"},
    {"Edit10", "Manual HART Command"},
    {"Edit18", "Modbus Slave Address"},
    {"Edit19", "Modbus Data Start Address"},
    {"Edit20", "Read Data Length"},
};

std::string FieldBytes(const QString& text, const QWidget* control) {
    const bool latin1 =
        std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
    if (!latin1) {
        throw ERefusedInput(QStringLiteral("'%1' in %2: a character outside Latin-1 cannot be sent")
                                .arg(text, FieldName(control)));
    }
    return TextBytes(text);
}

}  // namespace

QString FieldName(const QWidget* control) {
    const QByteArray name = control->objectName().toLatin1();
    for (const Caption& c : kCaptions) {
        if (c.control == std::string_view(name.constData(), static_cast<size_t>(name.size())))
            return QString::fromLatin1(c.caption);
    }
    return control->objectName();
}

QWidget* CaptionedControl(const QWidget& window, std::string_view caption) {
    for (const Caption& c : kCaptions) {
        if (c.caption == caption)
            return window.findChild<QWidget*>(
                QString::fromLatin1(c.control.data(), static_cast<qsizetype>(c.control.size())));
    }
    return nullptr;
}

int ChosenItem(const QComboBox* combo) {
    const int item = ItemIndex(combo);
    if (item < 0) {
        throw ERefusedInput(QStringLiteral("'%1' is not an item of %2")
                                .arg(combo->currentText(), FieldName(combo)));
    }
    return item;
}

std::string FieldBytes(const QLineEdit* edit) { return FieldBytes(edit->text(), edit); }
std::string FieldBytes(const QComboBox* combo) { return FieldBytes(combo->currentText(), combo); }

QString WithSuffix(const QString& path, const QString& suffix) {
    if (path.isEmpty() || path.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive)) return path;
    return path + QLatin1Char('.') + suffix;
}
