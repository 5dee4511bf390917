// Configuration commands through the window: frames shown and sent, refused
// input, the range key filter, and the module's acknowledgements.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTabWidget>
#include <functional>

#include "serial/ptypair.h"
#include "window_fixture.h"

namespace {

using Prepare = std::function<void(Ui::TForm1*)>;
using Handler = void (TForm1::*)();

std::string Raw(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

class ConfigCommandTest : public WindowTest {
protected:
    void TearDown() override {
        form.Timer3->SetEnabled(false);
        form.Timer4->SetEnabled(false);
        WindowTest::TearDown();
    }
    // Clicks `button` as the engineer would, on its own page.
    void Press(QAbstractButton* button) {
        for (int i = 0; i < ui->PageControl1->count(); ++i) {
            if (ui->PageControl1->widget(i)->isAncestorOf(button)) {
                ui->PageControl1->setCurrentIndex(i);
            }
        }
        ASSERT_TRUE(button->isVisible()) << button->objectName().toStdString();
        Click(button);
    }
    void SetPending(int code, int kind) {
        form.Requests->SetPending(code, kind);
        form.Timer3->SetEnabled(false);
    }
};

struct Command {
    const char* name;
    std::function<QAbstractButton*(Ui::TForm1*)> button;
    std::string shown;  // the Send Buffer
    int code;
    int kind;
};

#define BUTTON(b) [](Ui::TForm1* u) -> QAbstractButton* { return u->b; }

// Every command at the window's defaults.
const Command kDefaults[] = {
    {"Button23", BUTTON(Button23), "QQQ#QX#", 202, 2},
    {"Button8", BUTTON(Button8), "QQQ#QD#", 203, 2},
    {"Button31", BUTTON(Button31), "QQQ#QQ0#", 301, 2},
    {"Button22", BUTTON(Button22), "51 51 51 23 52 43 41 44 30 31 23 ", 501, 3},
    {"Button25", BUTTON(Button25), "51 51 51 23 52 43 41 44 30 32 23 ", 501, 3},
    {"Button24", BUTTON(Button24), "QQS#MD:0#", 200, 3},
    {"Button29", BUTTON(Button29), "QQS#ADR:001#", 200, 3},
    {"Button30", BUTTON(Button30), "QQS#RESET#", 200, 3},
    {"Button32", BUTTON(Button32), "QQS#BA2:30#", 200, 3},
    {"Button33", BUTTON(Button33), "QQS#XY1:3#", 200, 3},
    {"Button12", BUTTON(Button12), "QQS#YSM:0#", 200, 3},
    {"Button21", BUTTON(Button21), "QQS#DFOT1:0000#", 200, 3},
    {"Button2", BUTTON(Button2), "QQKORV#DA2:0.000,100.0#", 110, 3},
    {"Button3", BUTTON(Button3), "QQKORV#DA3:0.000,100.0#", 110, 3},
    {"Button5", BUTTON(Button5), "QQKORV#DA4:0.000,100.0#", 110, 3},
    {"Button10", BUTTON(Button10), "QQS#FMW:0,0.001#", 200, 3},
    {"Button34", BUTTON(Button34), "QQS#FMU:1.000,1.000,1.000#", 200, 3},
    {"Button9", BUTTON(Button9), "QQS#HART0:0,0,00,4,060#", 200, 3},
};

TEST_F(ConfigCommandTest, EachCommandAtItsDefaults) {
    for (const Command& c : kDefaults) {
        ui->Memo10->setPlainText("old reply");
        SetPending(0, 0);
        form.Timer3->SetInterval(timings().firstTimeoutMs);
        Press(c.button(ui));
        EXPECT_EQ(ui->Edit8->text().toStdString(), c.shown) << c.name;
        EXPECT_TRUE(ui->Memo10->toPlainText().isEmpty()) << c.name;
        EXPECT_EQ(form.PendingRequest(), c.code) << c.name;
        EXPECT_EQ(form.TimeoutKind(), c.kind) << c.name;
        EXPECT_EQ(form.Timer3->Interval(), timings().timeoutMs) << c.name;
        EXPECT_TRUE(form.Timer3->Enabled()) << c.name;
        EXPECT_TRUE(messages.texts().isEmpty()) << c.name;
    }
    // Fixed-layout frames are built in the transmit area; the range frames are not.
    EXPECT_EQ(TxArea(23), "QQS#HART0:0,0,00,4,060#");
}

TEST_F(ConfigCommandTest, OnlyTheRs485CommandStartsTheAutomaticClose) {
    Press(ui->Button24);
    EXPECT_FALSE(form.Timer4->Enabled());
    Press(ui->Button32);
    EXPECT_TRUE(form.Timer4->Enabled());
    EXPECT_EQ(form.Timer4->Interval(), 2000);
}

TEST_F(ConfigCommandTest, SerialNumberFrameRegistersNothing) {
    SetPending(203, 2);
    ui->Memo10->setPlainText("old reply");
    Press(ui->Button60);
    EXPECT_EQ(ui->Edit8->text(), "JXKORV#PCBSN:00000000,001#");
    EXPECT_EQ(ui->Memo10->toPlainText(), "old reply");
    EXPECT_EQ(form.PendingRequest(), 203);
    EXPECT_EQ(form.TimeoutKind(), 2);
    EXPECT_FALSE(form.Timer3->Enabled());
}

TEST_F(ConfigCommandTest, FieldsTakeTheControlsValues) {
    struct Case {
        const char* name;
        Prepare setup;
        QAbstractButton* (*button)(Ui::TForm1*);
        std::string shown;
    } cases[] = {
        {"address 7", [](auto u) { u->Edit14->setText("7"); }, BUTTON(Button29), "QQS#ADR:007#"},
        {"address 1000", [](auto u) { u->Edit14->setText("1000"); }, BUTTON(Button29),
         "QQS#ADR::00#"},
        {"address -5", [](auto u) { u->Edit14->setText("-5"); }, BUTTON(Button29), "QQS#ADR:00+#"},
        {"polling 50", [](auto u) { u->Edit6->setText("50"); }, BUTTON(Button27), "QQS#JTM:050#"},
        // -4800 div 100 + '0' is a zero byte: the text display ends there.
        {"polling -4800", [](auto u) { u->Edit6->setText("-4800"); }, BUTTON(Button27), "QQS#JTM:"},
        {"mode typed", [](auto u) { u->ComboBox7->setEditText("9_Unknown"); }, BUTTON(Button24),
         "QQS#MD:/#"},
        {"mode 4", [](auto u) { u->ComboBox7->setCurrentIndex(4); }, BUTTON(Button24), "QQS#MD:4#"},
        {"rs485",
         [](auto u) { u->ComboBox8->setCurrentIndex(5), u->ComboBox9->setCurrentIndex(2); },
         BUTTON(Button32), "QQS#BA2:52#"},
        {"float order",
         [](auto u) { u->FAMOUT3->setCurrentIndex(1), u->FAMOUT9->setCurrentIndex(1); },
         BUTTON(Button21), "QQS#DFOT1:1001#"},
        {"serial 123", [](auto u) { u->PCBSN->setText("123"); }, BUTTON(Button60),
         "JXKORV#PCBSN:00000123,001#"},
        {"serial nine digits",
         [](auto u) { u->PCBSN->setText("123456789"), u->JIANZHI->setEditText("7"); },
         BUTTON(Button60), "JXKORV#PCBSN:123456789,007#"},
        {"range 4 20", [](auto u) { u->D2M4->setText("4"), u->D2M20->setText("20"); },
         BUTTON(Button2), "QQKORV#DA2:4,20#"},
        {"range empty", [](auto u) { u->D4M4->setText(""); }, BUTTON(Button5),
         "QQKORV#DA4:,100.0#"},
        {"coefficient *100",
         [](auto u) { u->ComboBox18->setCurrentIndex(3), u->Beilv->setText("0.0015"); },
         BUTTON(Button10), "QQS#FMW:3,0.001#"},
        {"coefficients", [](auto u) { u->xishu2->setText("12.345"), u->xishu4->setText(""); },
         BUTTON(Button34), "QQS#FMU:12.34,1.000,     #"},
        {"hart",
         [](auto u) {
             u->ComboBox34->setCurrentIndex(5);
             u->ComboBox17->setCurrentIndex(1);
             u->Edit2->setText("5");
         },
         BUTTON(Button9), "QQS#HART0:0,0,01,9,005#"},
        {"parsing",
         [](auto u) {
             for (auto* e : {u->READADR1, u->READADR3, u->READADR5, u->READADR7}) e->setText("5");
         },
         BUTTON(Button19), "QQS#MDBS0:8,0050,0050,0050,0050#"},
        {"parsing mixed",
         [](auto u) {
             u->ComboBox15->setCurrentIndex(0);
             u->RADCOM1->setCurrentIndex(2), u->READLG3->setCurrentIndex(1);
             u->READADR1->setText("12"), u->READADR3->setText("0");
             u->READADR5->setText("100"), u->READADR7->setText("99");
         },
         BUTTON(Button19), "QQS#MDBS0:3,2120,0001,0:00,0990#"},
    };
    for (const Case& c : cases) {
        TForm1 fresh;  // every case from the defaults
        fresh.show();
        c.setup(fresh.form());
        QAbstractButton* button = c.button(fresh.form());
        for (int i = 0; i < fresh.form()->PageControl1->count(); ++i) {
            if (fresh.form()->PageControl1->widget(i)->isAncestorOf(button)) {
                fresh.form()->PageControl1->setCurrentIndex(i);
            }
        }
        Click(button);
        EXPECT_EQ(fresh.form()->Edit8->text().toStdString(), c.shown) << c.name;
        EXPECT_TRUE(messages.texts().isEmpty()) << c.name;
        fresh.Timer3->SetEnabled(false);
        fresh.Timer4->SetEnabled(false);
    }
}

TEST_F(ConfigCommandTest, PayloadCommandsShowTheirBytesInHex) {
    struct Case {
        const char* name;
        Prepare setup;
        QAbstractButton* (*button)(Ui::TForm1*);
        std::string shown;
    } cases[] = {
        {"single pair", [](auto u) { u->Edit4->setText("0F"); }, BUTTON(Button17),
         "51 51 53 23 43 41 4D 44 30 31 3A 30 3C 30 31 2C 0F "},
        {"two pairs open",
         [](auto u) { u->Edit4->setText("01 03"), u->ComboBox28->setCurrentIndex(1); },
         BUTTON(Button17), "51 51 53 23 43 41 4D 44 30 31 3A 31 3C 30 32 2C 01 03 "},
        {"trailing blank", [](auto u) { u->Edit5->setText("0F "); }, BUTTON(Button18),
         "51 51 53 23 43 41 4D 44 30 32 3A 30 3C 30 31 2C 0F "},
        {"monitoring ticked",
         [](auto u) { u->ONECMAD01->setText("FF 00 AB"), u->ONECHECK01->setChecked(true); },
         BUTTON(Button11), "51 51 53 23 57 43 41 44 30 31 3A 31 3C 30 33 2C FF 00 AB "},
        {"fifteen pairs",
         [](auto u) { u->ONECMAD02->setText("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"); },
         BUTTON(Button28),
         "51 51 53 23 57 43 41 44 30 32 3A 30 3C 31 34 2C "
         "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "},
    };
    for (const Case& c : cases) {
        c.setup(ui);
        SetPending(0, 0);
        Press(c.button(ui));
        EXPECT_EQ(ui->Edit8->text().toStdString(), c.shown) << c.name;
        EXPECT_EQ(form.PendingRequest(), 200) << c.name;
        EXPECT_EQ(form.TimeoutKind(), 3) << c.name;
        EXPECT_TRUE(form.Timer3->Enabled()) << c.name;
        EXPECT_TRUE(messages.texts().isEmpty()) << c.name;
    }
}

TEST_F(ConfigCommandTest, RefusedInputSendsNothingAndKeepsThePendingRequest) {
    struct Case {
        const char* name;
        Prepare setup;
        Handler handler;
        QString message;
    } cases[] = {
        {"empty polling interval", [](auto) {}, &TForm1::Button27Click,
         "'' is not a valid integer value"},
        {"address letters", [](auto u) { u->Edit14->setText("1a"); }, &TForm1::Button29Click,
         "'1a' is not a valid integer value"},
        {"empty buffer clear time", [](auto u) { u->Edit2->setText(""); }, &TForm1::Button9Click,
         "'' is not a valid integer value"},
        {"start addresses empty", [](auto) {}, &TForm1::Button19Click,
         "'' is not a valid integer value"},
        {"third start address",
         [](auto u) {
             u->READADR1->setText("1"), u->READADR3->setText("2"), u->READADR5->setText("x");
         },
         &TForm1::Button19Click, "'x' is not a valid integer value"},
        {"empty command", [](auto u) { u->Edit4->setText(""); }, &TForm1::Button17Click,
         "NO SPACK"},
        {"hyphens", [](auto u) { u->Edit5->setText("01-02-03"); }, &TForm1::Button18Click,
         "NO SPACK"},
        {"single digits", [](auto u) { u->ONECMAD01->setText("1 2 3"); }, &TForm1::Button11Click,
         "NO SPACK"},
        {"lower case", [](auto u) { u->ONECMAD02->setText("0f"); }, &TForm1::Button28Click,
         "Data eeore!"},
        {"blank low digit", [](auto u) { u->Edit4->setText("0F 1 "); }, &TForm1::Button17Click,
         "' ' is not a valid integer value"},
        // Beyond Latin-1: named and quoted as typed, never turned into '?'.
        {"coefficient beyond Latin-1", [](auto u) { u->xishu3->setText("1.5€"); },
         &TForm1::Button34Click,
         "'1.5€' in Variable3coefficient: a character outside Latin-1 cannot be sent"},
        {"address beyond Latin-1", [](auto u) { u->Edit14->setText("٣"); }, &TForm1::Button29Click,
         "'٣' in MODBUS Slave Address: a character outside Latin-1 cannot be sent"},
    };
    for (const Case& c : cases) {
        c.setup(ui);
        SetPending(203, 2);
        form.Timer3->SetInterval(1000);
        ui->Edit8->setText("previous frame");
        ui->Memo10->setPlainText("previous reply");
        messages.clear();
        RunQueued(c.handler);
        ASSERT_TRUE(messages.WaitForCount(1, 2000)) << c.name;
        EXPECT_EQ(messages.texts(), QStringList{c.message}) << c.name;
        // The traffic display was emptied before the field failed.
        EXPECT_TRUE(ui->Edit8->text().isEmpty()) << c.name;
        EXPECT_TRUE(ui->Memo10->toPlainText().isEmpty()) << c.name;
        EXPECT_EQ(form.PendingRequest(), 203) << c.name;
        EXPECT_EQ(form.TimeoutKind(), 2) << c.name;
        EXPECT_FALSE(form.Timer3->Enabled()) << c.name;
        EXPECT_EQ(form.Timer3->Interval(), 1000) << c.name;
    }
}

TEST_F(ConfigCommandTest, SerialNumberIsConvertedBeforeTheInspector) {
    ui->PCBSN->setText("x");
    ui->JIANZHI->setEditText("y");
    RunQueued(&TForm1::Button60Click);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts(), QStringList{"'x' is not a valid integer value"});
}

TEST_F(ConfigCommandTest, SerialNumberConversionErrorKeepsTheTraffic) {
    ui->JIANZHI->setEditText("");
    ui->Edit8->setText("previous frame");
    ui->Memo10->setPlainText("previous reply");
    RunQueued(&TForm1::Button60Click);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts(), QStringList{"'' is not a valid integer value"});
    EXPECT_EQ(ui->Edit8->text(), "previous frame");
    EXPECT_EQ(ui->Memo10->toPlainText(), "previous reply");
}

TEST_F(ConfigCommandTest, RangeEditsFilterTypedKeys) {
    ui->PageControl1->setCurrentIndex(0);
    for (int i = 0; i < ui->PageControl1->count(); ++i) {
        if (ui->PageControl1->widget(i)->isAncestorOf(ui->D2M4))
            ui->PageControl1->setCurrentIndex(i);
    }
    for (QLineEdit* edit : {ui->D2M4, ui->D2M20, ui->D3M4, ui->D3M20, ui->D4M4, ui->D4M20}) {
        const std::string name = edit->objectName().toStdString();
        edit->setFocus();
        const QString start = edit->text();
        ASSERT_EQ(start.size(), 5) << name;
        // Five characters: everything but backspace is refused, even over a selection.
        QTest::keyClicks(edit, "7.-");
        EXPECT_EQ(edit->text(), start) << name;
        edit->selectAll();
        QTest::keyClick(edit, '1');
        EXPECT_EQ(edit->text(), start) << name;
        edit->deselect();
        edit->end(false);
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text(), start.left(4)) << name;
        QTest::keyClicks(edit, "98");
        EXPECT_EQ(edit->text(), start.left(4) + "9") << name;

        edit->clear();
        QTest::keyClicks(edit, "a ,+Ex");
        EXPECT_EQ(edit->text(), "") << name;
        QTest::keyClicks(edit, "-1.2.3");
        EXPECT_EQ(edit->text(), "-1.2.") << name;
        // A paste is a key like any other: it cannot bring letters in.
        edit->clear();
        QGuiApplication::clipboard()->setText("abc");
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
        EXPECT_EQ(edit->text(), "") << name;
        // Delete arrives with the text 0x7F on X11 and Wayland: an editing key.
        edit->setText("0.000");
        edit->setCursorPosition(0);
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(QChar(0x7F)));
        QApplication::sendEvent(edit, &del);
        EXPECT_EQ(edit->text(), ".000") << name;
        // Program-written text is not limited.
        edit->setText("123456.7");
        EXPECT_EQ(edit->text(), "123456.7") << name;
    }
}

// The window on a plain pseudo-terminal: what reaches the line, byte for byte.
class ConfigOnTheWire : public ConfigCommandTest {
protected:
    void SetUp() override {
        ConfigCommandTest::SetUp();
        ui->SPREALCOM->setEditText(QString::fromStdString(pty.SlavePath()));
        Click(ui->Button1);
        ASSERT_TRUE(form.PortOpen) << messages.texts().join("|").toStdString();
    }
    // Everything the port sends within `ms`, once `expected` bytes arrived or the time is up.
    std::string Sent(size_t expected, int ms = 2000) {
        const auto bytes = pty.Receive(expected, std::chrono::milliseconds(ms));
        auto more = pty.Receive(1, std::chrono::milliseconds(150));
        std::string s(bytes.begin(), bytes.end());
        s.append(more.begin(), more.end());
        return s;
    }

    TPtyPair pty;
};

TEST_F(ConfigOnTheWire, EachCommandSendsExactlyItsFrame) {
    struct Case {
        const char* name;
        Prepare setup;
        QAbstractButton* (*button)(Ui::TForm1*);
        std::string wire;
    } cases[] = {
        {"system query", [](auto) {}, BUTTON(Button23), "QQQ#QX#"},
        {"current query", [](auto) {}, BUTTON(Button8), "QQQ#QD#"},
        {"modbus query", [](auto) {}, BUTTON(Button31), "QQQ#QQ0#"},
        {"monitoring query 1", [](auto) {}, BUTTON(Button22), "QQQ#RCAD01#"},
        {"monitoring query 2", [](auto) {}, BUTTON(Button25), "QQQ#RCAD02#"},
        {"mode", [](auto) {}, BUTTON(Button24), "QQS#MD:0#"},
        {"address", [](auto) {}, BUTTON(Button29), "QQS#ADR:001#"},
        {"polling", [](auto u) { u->Edit6->setText("50"); }, BUTTON(Button27), "QQS#JTM:050#"},
        {"reset", [](auto) {}, BUTTON(Button30), "QQS#RESET#"},
        {"response time", [](auto) {}, BUTTON(Button33), "QQS#XY1:3#"},
        {"map", [](auto) {}, BUTTON(Button12), "QQS#YSM:0#"},
        {"float order", [](auto) {}, BUTTON(Button21), "QQS#DFOT1:0000#"},
        {"serial number", [](auto) {}, BUTTON(Button60), "JXKORV#PCBSN:00000000,001#"},
        {"range", [](auto) {}, BUTTON(Button3), "QQKORV#DA3:0.000,100.0#"},
        {"coefficient", [](auto) {}, BUTTON(Button10), "QQS#FMW:0,0.001#"},
        {"coefficients", [](auto) {}, BUTTON(Button34), "QQS#FMU:1.000,1.000,1.000#"},
        {"hart", [](auto) {}, BUTTON(Button9), "QQS#HART0:0,0,00,4,060#"},
        {"parsing",
         [](auto u) {
             for (auto* e : {u->READADR1, u->READADR3, u->READADR5, u->READADR7}) e->setText("5");
         },
         BUTTON(Button19), "QQS#MDBS0:8,0050,0050,0050,0050#"},
        {"read command",
         [](auto u) { u->Edit4->setText("01 03"), u->ComboBox28->setCurrentIndex(1); },
         BUTTON(Button17), "QQS#CAMD01:1<02," + Raw({0x01, 0x03})},
        {"monitoring command with a zero byte",
         [](auto u) { u->ONECMAD01->setText("FF 00 AB"), u->ONECHECK01->setChecked(true); },
         BUTTON(Button11), "QQS#WCAD01:1<03," + Raw({0xFF, 0x00, 0xAB})},
        {"polling with a zero byte", [](auto u) { u->Edit6->setText("-4800"); }, BUTTON(Button27),
         "QQS#JTM:" + Raw({0x00, '0', '0', '#'})},
        {"rs485", [](auto) {}, BUTTON(Button32), "QQS#BA2:30#"},
    };
    for (const Case& c : cases) {
        c.setup(ui);
        Press(c.button(ui));
        form.Timer4->SetEnabled(false);  // keep the port open for the next case
        EXPECT_EQ(Sent(c.wire.size()), c.wire) << c.name;
    }
    EXPECT_TRUE(messages.texts().isEmpty());
}

TEST_F(ConfigOnTheWire, ShortFrameAfterALongOneSendsOnlyItsOwnBytes) {
    Press(ui->Button21);
    EXPECT_EQ(Sent(15), "QQS#DFOT1:0000#");
    Press(ui->Button6);
    EXPECT_EQ(Sent(7), "QQQ#QV#");
    EXPECT_EQ(ui->Edit8->text(), "QQQ#QV#");
    // The rest of the longer frame is still in the transmit area, unsent.
    EXPECT_EQ(TxArea(15), "QQQ#QV#T1:0000#");
}

TEST_F(ConfigOnTheWire, RefusedInputPutsNothingOnTheLine) {
    const Prepare refusals[] = {
        [](auto u) { u->Edit6->setText(""); },
        [](auto u) { u->Edit4->setText("0f"); },
        [](auto u) { u->Edit4->setText("0F-01"); },
        [](auto u) { u->Beilv->setText("2½€"); },
    };
    const Handler handlers[] = {&TForm1::Button27Click, &TForm1::Button17Click,
                                &TForm1::Button17Click, &TForm1::Button10Click};
    for (size_t i = 0; i < std::size(refusals); ++i) {
        refusals[i](ui);
        SetPending(202, 2);
        messages.clear();
        RunQueued(handlers[i]);
        ASSERT_TRUE(messages.WaitForCount(1, 2000)) << i;
        EXPECT_EQ(Sent(1, 300), "") << i;
        EXPECT_EQ(form.PendingRequest(), 202) << i;
    }
}

// The window against the simulated module.
class ConfigWithModule : public ConfigCommandTest {
protected:
    void SetUp() override {
        ConfigCommandTest::SetUp();
        OpenOnSimulator();
    }
    ModuleSettings Settings() {
        std::lock_guard lock(module.mutex());
        return module.settings();
    }
};

TEST_F(ConfigWithModule, AcknowledgementEndsEachSetRequest) {
    struct Case {
        const char* name;
        Prepare setup;
        QAbstractButton* (*button)(Ui::TForm1*);
        std::string ack;
        std::function<bool(const ModuleSettings&)> learned;
    } cases[] = {
        {"mode", [](auto u) { u->ComboBox7->setCurrentIndex(4); }, BUTTON(Button24), "QQS#MD:OK#",
         [](auto& s) { return s.mode == 4; }},
        {"address", [](auto u) { u->Edit14->setText("7"); }, BUTTON(Button29), "QQS#ADR:OK#",
         [](auto& s) { return s.slaveAddress == "007"; }},
        {"polling", [](auto u) { u->Edit6->setText("120"); }, BUTTON(Button27), "QQS#JTM:OK#",
         [](auto& s) { return s.pollInterval == "120"; }},
        {"response", [](auto u) { u->RS485ADY->setCurrentIndex(5); }, BUTTON(Button33),
         "QQS#XY1:OK#", [](auto& s) { return s.responseTime == 5; }},
        {"map", [](auto u) { u->YINSHE->setCurrentIndex(2); }, BUTTON(Button12), "QQS#YSM:OK#",
         [](auto& s) { return s.var1Map == 2; }},
        {"float order", [](auto u) { u->FAMOUT7->setCurrentIndex(1); }, BUTTON(Button21),
         "QQS#DFOT1:OK#", [](auto& s) { return s.floatOrder[2] == 1; }},
        {"range", [](auto u) { u->D4M4->setText("4"), u->D4M20->setText("20"); }, BUTTON(Button5),
         "QQKORV#DA4:OK#", [](auto& s) { return s.range4mA[2] == "4" && s.range20mA[2] == "20"; }},
        {"coefficient", [](auto u) { u->ComboBox18->setCurrentIndex(2), u->Beilv->setText("2.5"); },
         BUTTON(Button10), "QQS#FMW:OK#",
         [](auto& s) { return s.coefficientMode == 2 && s.coefficient1 == "2.5"; }},
        {"coefficients", [](auto u) { u->xishu3->setText("0.25"); }, BUTTON(Button34),
         "QQS#FMU:OK#", [](auto& s) { return s.coefficients[1] == "0.25"; }},
        {"hart",
         [](auto u) { u->ComboBox6->setCurrentIndex(1), u->ComboBox34->setCurrentIndex(2); },
         BUTTON(Button9), "QQS#HART0:OK#",
         [](auto& s) { return s.hartEnable == 1 && s.preambles == 6; }},
        {"parsing",
         [](auto u) {
             for (auto* e : {u->READADR1, u->READADR3, u->READADR5, u->READADR7}) e->setText("5");
             u->RADCOM7->setCurrentIndex(2);
         },
         BUTTON(Button19), "QQS#MDBS0:OK#",
         [](auto& s) { return s.parsing[3].command == 2 && s.parsing[3].startAddress == 5; }},
        {"read command 2",
         [](auto u) { u->Edit5->setText("0B 00"), u->ComboBox29->setCurrentIndex(1); },
         BUTTON(Button18), "QQS#CAMD02:OK#",
         [](auto& s) {
             return s.readCommands[1].on == 1 && s.readCommands[1].bytes == Bytes{0x0B, 0x00};
         }},
        {"monitoring command 2", [](auto u) { u->ONECMAD02->setText("03"); }, BUTTON(Button28),
         "QQS#WCAD02:OK#", [](auto& s) { return s.monitoringCommands[1].bytes == Bytes{0x03}; }},
        {"reset", [](auto) {}, BUTTON(Button30), "QQS#RESET:OK#",
         [](auto& s) { return s.mode == ModuleSettings{}.mode; }},
    };
    for (const Case& c : cases) {
        c.setup(ui);
        Press(c.button(ui));
        EXPECT_NE(form.PendingRequest(), 0) << c.name;
        ASSERT_TRUE(WaitFor([&] { return form.PendingRequest() == 0; }, 3000)) << c.name;
        EXPECT_EQ(ui->Memo10->toPlainText().toStdString(), c.ack) << c.name;
        EXPECT_FALSE(form.Timer3->Enabled()) << c.name;
        EXPECT_TRUE(c.learned(Settings())) << c.name;
    }
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
}

TEST_F(ConfigWithModule, SerialNumberReplyIsShownUnderNoPendingRequest) {
    ui->PCBSN->setText("4711");
    Press(ui->Button60);
    EXPECT_EQ(form.PendingRequest(), 0);
    ASSERT_TRUE(WaitFor([&] { return !ui->Memo10->toPlainText().isEmpty(); }, 3000));
    EXPECT_EQ(ui->Memo10->toPlainText(), "JXKORV#PCBSN:OK#");
    EXPECT_EQ(Settings().pcbsn, "00004711");
}

TEST_F(ConfigWithModule, Rs485CommandClosesThePortTwoSecondsLaterEvenWhenAnswered) {
    ui->ComboBox8->setCurrentIndex(5);
    ui->ComboBox9->setCurrentIndex(1);
    QElapsedTimer clock;
    clock.start();
    Press(ui->Button32);
    ASSERT_TRUE(WaitFor([&] { return form.PendingRequest() == 0; }, 1900));
    EXPECT_EQ(ui->Memo10->toPlainText(), "QQS#BA2:OK#");
    EXPECT_TRUE(form.PortOpen);
    ASSERT_TRUE(WaitFor([&] { return !form.PortOpen; }, 3000));
    EXPECT_GE(clock.elapsed(), 1950);
    EXPECT_LT(clock.elapsed(), 2800);
    EXPECT_EQ(ui->Button1->text(), "Open");
    EXPECT_FALSE(ui->Button6->isEnabled());
    EXPECT_FALSE(form.Comm1->IsOpen());
    EXPECT_FALSE(form.Timer4->Enabled());
    EXPECT_EQ(Settings().rs485Baud, 5);
    EXPECT_EQ(Settings().rs485Parity, 1);
}

}  // namespace
