// Small helpers that give Qt controls the behaviour the handlers rely on.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <stdexcept>
#include <string>
#include <string_view>

// The selected item of a list: for an editable list whose text the engineer
// typed, the item whose text equals it exactly, else -1 (no selection).
int ItemIndex(const QComboBox* combo);

// Selects item `index`; a value outside the items leaves no item selected.
void SetItemIndex(QComboBox* combo, int index);

// Control text as bytes (Latin-1, one byte per character) and back.
std::string TextBytes(const QString& text);
QString BytesText(const std::string& bytes);

// Bytes shown as text end at the first zero byte, as a C string would; the
// bytes themselves (on the wire, in the buffers) keep it.
QString DisplayText(const std::string& bytes);

// A control's content a handler refuses before anything is sent. Message()
// quotes the text as typed, so it is kept as a QString, not as bytes.
class ERefusedInput : public std::runtime_error {
public:
    explicit ERefusedInput(const QString& message);
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// `path` as saved: a name typed without the file type's `suffix` ("pdf") gets
// it, so the file opens as what it is; one that has it, in any case, stays.
QString WithSuffix(const QString& path, const QString& suffix);

// The caption the engineer knows a control by ("HART Address"), for messages.
QString FieldName(const QWidget* control);

// The control of `window` the window captions `caption`, for tools that drive
// the window by what the engineer sees; nullptr when there is none.
QWidget* CaptionedControl(const QWidget& window, std::string_view caption);

// The item of a list whose index goes into a frame. A typed text equal to an
// item's text counts as that item; any other text throws ERefusedInput
// ("'5' is not an item of HART Address"), since -1 would reach the frame as
// a byte nobody chose.
int ChosenItem(const QComboBox* combo);

// The text of a control that feeds a frame or a number, one byte per
// character. A character outside Latin-1 cannot travel in the module's 8-bit
// protocol: it throws ERefusedInput naming the field rather than becoming '?'.
std::string FieldBytes(const QLineEdit* edit);
std::string FieldBytes(const QComboBox* combo);
