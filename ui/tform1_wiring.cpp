// Wiring of the form's controls to their handlers, key filters and pictures.
#include <QKeyEvent>
#include <algorithm>
#include <iterator>
#include <utility>

#include "hart/units.h"
#include "ui/jpegimage.h"
#include "ui/tform1.h"
#include "ui_tform1.h"

namespace {

// The four unit lists share one table with the HART reply decoder.
void FillUnitList(QComboBox* combo) {
    // One list built once and added in one call: item by item, each insertion
    // notifies the combo's model and view.
    static const QStringList units = [] {
        QStringList list;
        for (int item = 0; item < kUnitItemCount; ++item) list << QString::fromUtf8(UnitText(item));
        return list;
    }();
    combo->clear();
    combo->addItems(units);
    combo->setCurrentIndex(0);
}

}  // namespace

void TForm1::WireHandlers() {
    using Handler = void (TForm1::*)();
    const std::pair<QPushButton*, Handler> buttons[] = {
        // Link and traffic (Open/Close below).
        {ui->Button6, &TForm1::Button6Click},
        {ui->Button26, &TForm1::Button26Click},
        // Page 1: system parameters.
        {ui->Button29, &TForm1::Button29Click},
        {ui->Button24, &TForm1::Button24Click},
        {ui->Button32, &TForm1::Button32Click},
        {ui->Button27, &TForm1::Button27Click},
        {ui->Button60, &TForm1::Button60Click},
        {ui->Button33, &TForm1::Button33Click},
        {ui->Button30, &TForm1::Button30Click},
        {ui->Button23, &TForm1::Button23Click},
        // Page 2: HART transparent mode and current output.
        {ui->Button7, &TForm1::Button7Click},
        {ui->Button16, &TForm1::Button16Click},
        {ui->Button14, &TForm1::Button14Click},
        {ui->Button20, &TForm1::Button20Click},
        {ui->Button12, &TForm1::Button12Click},
        {ui->Button2, &TForm1::Button2Click},
        {ui->Button3, &TForm1::Button3Click},
        {ui->Button5, &TForm1::Button5Click},
        {ui->Button8, &TForm1::Button8Click},
        // Page 3: MODBUS parameters, custom HART parsing, calculator, test.
        {ui->Button9, &TForm1::Button9Click},
        {ui->Button17, &TForm1::Button17Click},
        {ui->Button18, &TForm1::Button18Click},
        {ui->Button19, &TForm1::Button19Click},
        {ui->Button21, &TForm1::Button21Click},
        {ui->Button13, &TForm1::Button13Click},
        {ui->Button10, &TForm1::Button10Click},
        {ui->Button34, &TForm1::Button34Click},
        {ui->Button4, &TForm1::Button4Click},
        {ui->Button31, &TForm1::Button31Click},
        // Page 4: monitoring commands.
        {ui->Button11, &TForm1::Button11Click},
        {ui->Button22, &TForm1::Button22Click},
        {ui->Button28, &TForm1::Button28Click},
        {ui->Button25, &TForm1::Button25Click},
    };
    for (const auto& [button, handler] : buttons) {
        connect(button, &QPushButton::clicked, this, [this, handler] { Guarded(handler); });
    }
    connect(ui->Button1, &QPushButton::clicked, this, &TForm1::PortButtonClick);
    connect(ui->Edit14, &QLineEdit::textChanged, this, &TForm1::Edit14Change);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, &TForm1::PageControl1Change);

    for (QLineEdit* edit : {ui->D2M4, ui->D2M20, ui->D3M4, ui->D3M20, ui->D4M4, ui->D4M20}) {
        edit->installEventFilter(this);
    }
    for (QComboBox* combo : {ui->ComboBox3, ui->ComboBox31, ui->ComboBox32, ui->ComboBox33}) {
        FillUnitList(combo);
    }
}

// Gives the six range edits their character filters: the handler sees the
// typed character (8 for Backspace) and may replace it, or drop it with 0.
bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    using KeyHandler = void (TForm1::*)(char&);
    const std::pair<QLineEdit*, KeyHandler> filters[] = {
        {ui->D2M4, &TForm1::D2M4KeyPress}, {ui->D2M20, &TForm1::D2M20KeyPress},
        {ui->D3M4, &TForm1::D3M4KeyPress}, {ui->D3M20, &TForm1::D3M20KeyPress},
        {ui->D4M4, &TForm1::D4M4KeyPress}, {ui->D4M20, &TForm1::D4M20KeyPress},
    };
    const auto match = std::find_if(std::begin(filters), std::end(filters),
                                    [watched](const auto& f) { return f.first == watched; });
    if (match == std::end(filters)) return QMainWindow::eventFilter(watched, event);

    auto* key = static_cast<QKeyEvent*>(event);
    char typed;
    if (key->key() == Qt::Key_Backspace) {
        typed = 8;
    } else if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut)) {
        // Shortcuts that change the text are keys like any other: a paste
        // must not bring letters into a range edit.
        typed = key->matches(QKeySequence::Paste) ? 0x16 : 0x18;
    } else if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) {
        return false;  // leave the text alone
    } else if (key->text().isEmpty() || key->key() == Qt::Key_Delete) {
        // Arrows, Home, Delete...: no character, edit as usual. X11 and
        // Wayland give Delete the text 0x7F, which must not count as typed.
        return false;
    } else {
        const char16_t c = key->text().at(0).unicode();
        // Tab, Enter and Escape keep their meaning for the window.
        if (c == '\t' || c == '\r' || c == 0x1B) return false;
        // No range value holds a character beyond Latin-1.
        if (c > 0xFF) return true;
        typed = static_cast<char>(c);
    }

    char Key = typed;
    (this->*match->second)(Key);
    if (Key == 0) return true;
    if (Key == typed) return false;
    // The handler substituted another character: type that one instead.
    QLineEdit* edit = match->first;
    if (Key == 8) {
        edit->backspace();
    } else {
        edit->insert(QString(QChar::fromLatin1(Key)));
    }
    return true;
}

void TForm1::LoadPictures() {
    // The pictures live in a static library; its resources need pulling in.
    Q_INIT_RESOURCE(pictures);
    ui->Image1->SetPictureSource(QStringLiteral(":/pictures/logo.jpg"));
    ui->Image2->SetPictureSource(QStringLiteral(":/pictures/wiring_2wire.jpg"));
    ui->Image3->SetPictureSource(QStringLiteral(":/pictures/wiring_4wire.jpg"));
}
