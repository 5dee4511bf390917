#include "ui/controls.h"

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
