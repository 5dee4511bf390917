// Small helpers that give Qt controls the behaviour the handlers rely on.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include <string>

// The selected item of a list: for an editable list whose text the engineer
// typed, the item whose text equals it exactly, else -1 (no selection).
int ItemIndex(const QComboBox* combo);

// Selects item `index`; a value outside the items leaves no item selected.
void SetItemIndex(QComboBox* combo, int index);

// Control text as bytes (Latin-1, one byte per character) and back.
std::string TextBytes(const QString& text);
QString BytesText(const std::string& bytes);
