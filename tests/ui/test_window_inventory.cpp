// The main window's inventory: every control by its designer name and kind,
// captions, defaults, list items, page arrangement and the Edit14 -> Edit18 link.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <memory>
#include <vector>

#include "hart/units.h"
#include "ui/tform1.h"
#include "ui/timage.h"

namespace {

class Window : public ::testing::Test {
protected:
    void SetUp() override { form_ = std::make_unique<TForm1>(); }

    template <typename T>
    T* Find(const char* name) {
        QObject* found = form_->findChild<QObject*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name << " missing";
        T* typed = qobject_cast<T*>(found);
        EXPECT_NE(typed, nullptr) << name << " is a "
                                  << (found ? found->metaObject()->className() : "-");
        return typed;
    }

    std::unique_ptr<TForm1> form_;
};

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

QStringList Range(const QString& prefix, int first, int last) {
    QStringList items;
    for (int i = first; i <= last; ++i) items << prefix + QString::number(i);
    return items;
}

const QStringList kBauds{"1200", "2400", "4800", "9600", "19200", "38400"};
const QStringList kParity{"None", "Odd", "Even"};
const QStringList kCloseOpen{"0 Close", "1 Open"};
const QStringList kParse{"0 Not Analytic", "1 Read Command 1", "2 Read Command 2"};
const QStringList kLength{"4-Bit", "8-Bit"};
const QStringList kByteOrder{"0 IEE754 (FF4 FF3 FF2 FF1)", "1 IEE754 (FF2 FF1 FF4 FF3)"};

struct ComboRow {
    const char* name;
    QStringList items;
    int index;
};

const std::vector<ComboRow>& Combos() {
    static const std::vector<ComboRow> rows = {
        {"SPREALCOM", Range("COM", 1, 9), 3},
        {"ComboBox11", kBauds, 3},
        {"ComboBox8", kBauds, 3},
        {"ComboBox10", kParity, 0},
        {"ComboBox9", kParity, 0},
        {"ComboBox7",
         {"0_Transparent Mode", "1_Single Meter MODBUS Mode", "2_Standby",
          "3_Monitoring to MODBUS RTU (Custom)", "4_Monitoring Data Output"},
         0},
        {"RS485ADY", {"0 50ms", "1 100ms", "2 200ms", "3 300ms", "4 400ms", "5 500ms"}, 3},
        {"JIANZHI",
         {"001", "002", "003", "004", "005", "006", "007", "008", "009", "101", "102", "103",
          "104"},
         0},
        {"ComboBox30", Range("Address ", 0, 9), 0},
        {"ComboBox27", Range("Address ", 0, 8), 0},
        {"ComboBox42", {"Master Mode", "Secondary Master Mode"}, 0},
        {"YINSHE",
         {"0 No Var Map", "1 Map Var2 Output", "2 Map Var3 Output", "3 Map Var4 Output"},
         0},
        {"ComboBox41", {"0"}, 0},
        {"ComboBox6", {"Close", "Open"}, 0},
        {"ComboBox16", {"Secondary Master Device", "Master Device"}, 0},
        {"ComboBox17", {"0)Custom Meter", "1)Universal Meter"}, 0},
        {"ComboBox34", {"4", "5", "6", "7", "8", "9"}, 0},
        {"ComboBox28", kCloseOpen, 0},
        {"ComboBox29", kCloseOpen, 0},
        {"RADCOM1", kParse, 0},
        {"RADCOM3", kParse, 0},
        {"RADCOM5", kParse, 0},
        {"RADCOM7", kParse, 0},
        {"READLG1", kLength, 0},
        {"READLG3", kLength, 0},
        {"READLG5", kLength, 0},
        {"READLG7", kLength, 0},
        {"ComboBox15", {"3", "4", "5", "6", "7", "8", "9"}, 5},
        {"ComboBox18",
         {"0 Close", "1 M3/S-->M3/H", "2 Apply Coefficient", "3 Apply Coefficient*100"},
         0},
        {"FAMOUT3", kByteOrder, 0},
        {"FAMOUT5", kByteOrder, 0},
        {"FAMOUT7", kByteOrder, 0},
        {"FAMOUT9", kByteOrder, 0},
    };
    return rows;
}

const char* const kUnitCombos[] = {"ComboBox3", "ComboBox31", "ComboBox32", "ComboBox33"};

struct TextRow {
    const char* name;
    const char* text;
};

const TextRow kEdits[] = {
    {"Edit14", "001"},  {"Edit6", ""},       {"PCBSN", "00000000"}, {"Edit9", "6"},
    {"Edit28", ""},     {"Edit29", ""},      {"Edit31", ""},        {"Edit32", ""},
    {"Edit25", ""},     {"Edit26", ""},      {"Edit27", ""},        {"Edit30", ""},
    {"D2M4", "0.000"},  {"D2M20", "100.0"},  {"D3M4", "0.000"},     {"D3M20", "100.0"},
    {"D4M4", "0.000"},  {"D4M20", "100.0"},  {"Edit10", ""},        {"Edit2", "060"},
    {"Edit4", ""},      {"Edit5", ""},       {"READADR1", ""},      {"READADR3", ""},
    {"READADR5", ""},   {"READADR7", ""},    {"Edit7", ""},         {"Edit22", ""},
    {"Beilv", "0.001"}, {"xishu2", "1.000"}, {"xishu3", "1.000"},   {"xishu4", "1.000"},
    {"Edit18", "001"},  {"Edit19", "00"},    {"Edit20", "10"},      {"ONECMAD01", ""},
    {"ONECMAD02", ""},  {"Edit8", ""},
};

const TextRow kButtons[] = {
    {"Button1", "Open"},
    {"Button6", "Communication Query"},
    {"Button29", "Set"},
    {"Button24", "Set"},
    {"Button32", "Set"},
    {"Button27", "Set"},
    {"Button60", "Set"},
    {"Button33", "Set"},
    {"Button30", "Parameter Initialization"},
    {"Button23", "System Parameters"},
    {"Button7", "HART Device Parameter Query"},
    {"Button16", "HART Command Query"},
    {"Button12", "Set"},
    {"Button2", "Set"},
    {"Button3", "Set"},
    {"Button5", "Set"},
    {"Button8", "Parameter Query"},
    {"Button14", "Set"},
    {"Button20", "Send"},
    {"Button9", "Set"},
    {"Button17", "Set"},
    {"Button18", "Set"},
    {"Button19", "Set"},
    {"Button13", "Calculation"},
    {"Button10", "Set"},
    {"Button34", "Set"},
    {"Button21", "Set"},
    {"Button4", "MODBUS Comm Test"},
    {"Button31", "MODBUS Parameter Query"},
    {"Button11", "Set"},
    {"Button22", "Query"},
    {"Button28", "Set"},
    {"Button25", "Query"},
    {"Button26", "Clear Buffer"},
};

const TextRow kLabels[] = {
    {"Label41", "Tavrix Configuration Software "},
    {"Label77", "V2.0(Feb 23,2025)"},
};

const TextRow kChecks[] = {
    {"ONECHECK01", "No1_Command Number:"},
    {"ONECHECK02", "No2_Command Number:"},
};

const TextRow kPages[] = {
    {"TabSheet1", "System Parameter"},
    {"TabSheet2", "Transparent Mode"},
    {"TabSheet3", "MODBUS Parameter Configuration"},
    {"TabSheet4", "Monitoring Command"},
    {"TabSheet5", "2-Wire Instrument"},
    {"TabSheet8", "4-Wire Instrument"},
};

struct GroupRow {
    const char* name;
    const char* title;
    const char* page;
};

const GroupRow kGroups[] = {
    {"GroupBox1", "Serial Parameters", "TabSheet1"},
    {"GroupBox15", "", "TabSheet1"},
    {"GroupBox7", "", "TabSheet1"},
    {"GroupBox18", "RS485 Serial Port Parameters", "TabSheet1"},
    {"GroupBox14", "", "TabSheet1"},
    {"GroupBox4", "", "TabSheet1"},
    {"GroupBox5", "", "TabSheet2"},
    {"GroupBox8", "HART Device Basic Parameters", "GroupBox5"},
    {"GroupBox10", "Universal HART Real-Time Data", "GroupBox5"},
    {"GroupBox2", "Current Output", "GroupBox5"},
    {"GroupBox6", "HART Address Configuration:", "GroupBox5"},
    {"GroupBox20", "", "TabSheet2"},
    {"GroupBox3", "", "TabSheet3"},
    {"GroupBox13", "Custom HART Command Parsing", "TabSheet3"},
    {"GroupBox16", "Custom HART Data Parsing Format", "GroupBox13"},
    {"GroupBox12", "IEE754 Calculation", "TabSheet3"},
    {"GroupBox17", "Variable 1 Coefficient", "TabSheet3"},
    {"GroupBox23", "", "TabSheet3"},
    {"GroupBox19", "Modbus Communication Test", "TabSheet3"},
    {"GroupBox9", "Monitoring Command", "TabSheet4"},
};

// Controls whose place is fixed: the control, the group or page holding it.
const TextRow kPlaces[] = {
    {"SPREALCOM", "GroupBox1"},  {"Button1", "GroupBox1"},    {"Edit14", "GroupBox15"},
    {"ComboBox7", "GroupBox7"},  {"ComboBox8", "GroupBox18"}, {"Edit6", "GroupBox14"},
    {"PCBSN", "TabSheet1"},      {"JIANZHI", "TabSheet1"},    {"RS485ADY", "GroupBox4"},
    {"Button30", "TabSheet1"},   {"Button23", "TabSheet1"},   {"ComboBox30", "GroupBox5"},
    {"Edit9", "GroupBox5"},      {"Edit28", "GroupBox8"},     {"Button7", "GroupBox8"},
    {"ComboBox3", "GroupBox10"}, {"Button16", "GroupBox10"},  {"Memo1", "GroupBox2"},
    {"D4M20", "GroupBox2"},      {"Button8", "GroupBox2"},    {"ComboBox27", "GroupBox6"},
    {"Edit10", "GroupBox20"},    {"Button20", "GroupBox20"},  {"ComboBox17", "GroupBox3"},
    {"Edit4", "GroupBox13"},     {"RADCOM7", "GroupBox16"},   {"Button19", "GroupBox16"},
    {"FAMOUT9", "TabSheet3"},    {"Edit7", "GroupBox12"},     {"Beilv", "GroupBox17"},
    {"xishu4", "GroupBox23"},    {"Edit18", "GroupBox19"},    {"Button31", "TabSheet3"},
    {"ONECMAD02", "GroupBox9"},  {"Button25", "GroupBox9"},   {"Image2", "TabSheet5"},
    {"Image3", "TabSheet8"},
};

}  // namespace

TEST_F(Window, CaptionAndBackground) {
    EXPECT_EQ(form_->windowTitle(), "Tavrix");
    EXPECT_EQ(form_->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    for (const TextRow& r : kLabels) {
        if (auto* label = Find<QLabel>(r.name)) {
            EXPECT_EQ(label->text(), r.text) << r.name;
        }
    }
    for (const char* name : {"Label76", "Label82", "Label83"}) {
        if (auto* label = Find<QLabel>(name)) {
            EXPECT_FALSE(label->text().isEmpty()) << name;
        }
    }
    auto* title = Find<QLabel>("Label41");
    ASSERT_TRUE(title);
    EXPECT_TRUE(title->font().bold());
    EXPECT_GT(title->font().pointSizeF(), form_->font().pointSizeF() * 1.4);
}

TEST_F(Window, PagesInOrderWithPageOneShown) {
    auto* pages = Find<QTabWidget>("PageControl1");
    ASSERT_TRUE(pages);
    ASSERT_EQ(pages->count(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(pages->widget(i)->objectName(), kPages[i].name) << i;
        EXPECT_EQ(pages->tabText(i), kPages[i].text) << i;
    }
    EXPECT_EQ(pages->currentIndex(), 0);
}

TEST_F(Window, GroupsSitOnTheirPages) {
    for (const GroupRow& r : kGroups) {
        auto* group = Find<QGroupBox>(r.name);
        auto* holder = Find<QWidget>(r.page);
        if (!group || !holder) continue;
        EXPECT_EQ(group->title(), r.title) << r.name;
        EXPECT_TRUE(holder->isAncestorOf(group)) << r.name << " not in " << r.page;
    }
    for (const TextRow& r : kPlaces) {
        auto* control = Find<QWidget>(r.name);
        auto* holder = Find<QWidget>(r.text);
        if (control && holder) {
            EXPECT_TRUE(holder->isAncestorOf(control)) << r.name << " not in " << r.text;
        }
    }
    // The register row lies outside the custom parsing group, which the
    // MODBUS parameter reply may hide.
    auto* parsing = Find<QGroupBox>("GroupBox13");
    for (const char* name : {"FAMOUT3", "Button21", "GroupBox19"}) {
        if (auto* w = Find<QWidget>(name); w && parsing) {
            EXPECT_FALSE(parsing->isAncestorOf(w)) << name;
        }
    }
    // The traffic area lies under the pages, not on one.
    auto* pages = Find<QTabWidget>("PageControl1");
    for (const char* name : {"Edit8", "Memo10", "Button26"}) {
        if (auto* w = Find<QWidget>(name); w && pages) {
            EXPECT_FALSE(pages->isAncestorOf(w)) << name;
        }
    }
}

TEST_F(Window, ComboItemsAndDefaults) {
    for (const ComboRow& r : Combos()) {
        auto* combo = Find<QComboBox>(r.name);
        if (!combo) continue;
        EXPECT_EQ(Items(combo), r.items) << r.name;
        EXPECT_EQ(combo->currentIndex(), r.index) << r.name;
        EXPECT_EQ(combo->currentText(), r.items.value(r.index)) << r.name;
    }
}

TEST_F(Window, EveryListButMeterTypeIsEditableAndNeverGrows) {
    const QList<QComboBox*> combos = form_->findChildren<QComboBox*>();
    EXPECT_EQ(combos.size(), int(Combos().size()) + 4);
    for (QComboBox* combo : combos) {
        const bool fixed = combo->objectName() == "ComboBox17";
        EXPECT_EQ(combo->isEditable(), !fixed) << combo->objectName().toStdString();
        if (!combo->isEditable()) continue;
        // A typed text is used as it is, never added to the items the
        // command builders count on.
        const int count = combo->count();
        combo->setFocus();
        QTest::keyClicks(combo, "77");
        QTest::keyClick(combo, Qt::Key_Return);
        EXPECT_EQ(combo->count(), count) << combo->objectName().toStdString();
    }
}

TEST_F(Window, UnitListsHoldTheUnitTable) {
    for (const char* name : kUnitCombos) {
        auto* combo = Find<QComboBox>(name);
        if (!combo) continue;
        ASSERT_EQ(combo->count(), kUnitItemCount) << name;
        for (int item = 0; item < kUnitItemCount; ++item) {
            EXPECT_EQ(combo->itemText(item), QString::fromUtf8(UnitText(item))) << name << item;
        }
        EXPECT_EQ(combo->itemText(12), QString(QChar(0x2103))) << name;
        EXPECT_EQ(combo->itemText(13), QString(QChar(0x2109))) << name;
        EXPECT_EQ(combo->itemText(76), "other") << name;
        EXPECT_EQ(combo->currentIndex(), 0) << name;
    }
}

TEST_F(Window, EditDefaults) {
    for (const TextRow& r : kEdits) {
        if (auto* edit = Find<QLineEdit>(r.name)) {
            EXPECT_EQ(edit->text(), r.text) << r.name;
        }
    }
    // No edit without a row above (the lists' own line edits aside).
    int edits = 0;
    for (QLineEdit* edit : form_->findChildren<QLineEdit*>()) {
        if (!qobject_cast<QComboBox*>(edit->parent())) ++edits;
    }
    EXPECT_EQ(edits, int(std::size(kEdits)));
}

TEST_F(Window, ButtonsAndCheckBoxes) {
    for (const TextRow& r : kButtons) {
        if (auto* button = Find<QPushButton>(r.name)) {
            EXPECT_EQ(button->text(), r.text) << r.name;
        }
    }
    EXPECT_EQ(int(std::size(kButtons)), int(form_->findChildren<QPushButton*>().size()));
    for (const TextRow& r : kChecks) {
        auto* check = Find<QCheckBox>(r.name);
        if (!check) continue;
        EXPECT_EQ(check->text(), r.text) << r.name;
        EXPECT_FALSE(check->isChecked()) << r.name;
    }
}

TEST_F(Window, NoteAndReceiveBoxes) {
    auto* note = Find<QPlainTextEdit>("Memo1");
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->isReadOnly());
    EXPECT_EQ(note->toPlainText(),
              "Variable 1: 1) Maintain the original current output\n"
              "                  2) It can be mapped to other variable outputs");
    auto* receive = Find<QPlainTextEdit>("Memo10");
    ASSERT_TRUE(receive);
    EXPECT_TRUE(receive->toPlainText().isEmpty());
    // Hex dumps are long single lines: no wrapping, both scroll bars.
    EXPECT_EQ(receive->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_NE(receive->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_NE(receive->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
}

TEST_F(Window, HighlightedLabels) {
    struct Row {
        const char* text;
        QColor background;
    };
    const Row rows[] = {
        {"(Auto-Generate Checksum)", QColor(0xFF, 0x00, 0xFF)},
        {"Current_1(RTU_ADR)", QColor(0x00, 0xFF, 0xFF)},
        {"Variable_2(RTU_ADR)", QColor(0x00, 0xFF, 0xFF)},
        {"Variable_3(RTU_ADR)", QColor(0x00, 0xFF, 0xFF)},
        {"Variable_(RTU_ADR)", QColor(0x00, 0xFF, 0xFF)},
        {"40003", QColor(0xFF, 0x00, 0xFF)},
        {"40005", QColor(0xFF, 0x00, 0xFF)},
        {"40007", QColor(0xFF, 0x00, 0xFF)},
        {"40009", QColor(0xFF, 0x00, 0xFF)},
    };
    form_->resize(1280, 800);
    const QList<QLabel*> labels = form_->findChildren<QLabel*>();
    for (const Row& r : rows) {
        QLabel* label = nullptr;
        for (QLabel* l : labels) {
            if (l->text() == r.text) label = l;
        }
        ASSERT_TRUE(label) << r.text;
        const QImage shot = label->grab().toImage();
        EXPECT_EQ(shot.pixelColor(1, 1), r.background) << r.text;
    }
}

TEST_F(Window, PicturesAreShown) {
    for (const char* name : {"Image1", "Image2", "Image3"}) {
        if (auto* image = Find<TImage>(name)) {
            EXPECT_FALSE(image->Picture().isNull()) << name;
        }
    }
    // Squashed by a panel beside it, a picture keeps its aspect, centred.
    QImage wide(200, 100, QImage::Format_RGB888);
    wide.fill(Qt::red);
    TImage image;
    image.SetPicture(wide);
    image.resize(200, 200);
    const QImage shown = image.grab().toImage();
    EXPECT_EQ(shown.pixelColor(100, 100), QColor(Qt::red));
    EXPECT_NE(shown.pixelColor(100, 20), QColor(Qt::red)) << "stretched to the widget's height";
    EXPECT_EQ(shown.pixelColor(100, 60), QColor(Qt::red));
}

TEST_F(Window, SlaveAddressIsCopiedToTheTestOnly) {
    auto* address = Find<QLineEdit>("Edit14");
    auto* test = Find<QLineEdit>("Edit18");
    ASSERT_TRUE(address && test);
    address->setFocus();
    address->end(false);
    QTest::keyClick(address, Qt::Key_Backspace);
    QTest::keyClicks(address, "7");
    EXPECT_EQ(address->text(), "007");
    EXPECT_EQ(test->text(), "007");

    test->setFocus();
    QTest::keyClicks(test, "9");
    EXPECT_EQ(test->text(), "0079");
    EXPECT_EQ(address->text(), "007");
}

// The range edits' character filter must leave digits and cursor keys alone.
TEST_F(Window, RangeEditsKeepDigitsAndCursorKeys) {
    for (const char* name : {"D2M4", "D2M20", "D3M4", "D3M20", "D4M4", "D4M20"}) {
        auto* edit = Find<QLineEdit>(name);
        if (!edit) continue;
        edit->setText("12");
        edit->setCursorPosition(2);
        QTest::keyClick(edit, Qt::Key_Left);
        EXPECT_EQ(edit->cursorPosition(), 1) << name;
        QTest::keyClicks(edit, "5");
        EXPECT_EQ(edit->text(), "152") << name;
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text(), "12") << name;
    }
}
