// HART transparent mode in the window: the frames the four buttons send, the
// refusals, the decoding of the command 0 and 3 replies, and the exchange
// with the simulated instrument.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocale>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>

#include "hart/units.h"
#include "ui/controls.h"
#include "window_fixture.h"

namespace {

using B = std::vector<uint8_t>;

const QString kFf7 = "FF FF FF FF FF FF FF ";

class HartWindow : public WindowTest {
protected:
    void TearDown() override {
        form.Timer3->SetEnabled(false);
        WindowTest::TearDown();
    }

    // A reply as the receive handler leaves it, then the reply timer's decoding.
    void Decode(int code, const B& reply) {
        std::copy(reply.begin(), reply.end(), form.FrameBuffer().begin() + TForm1::kRxStart);
        form.ReplyText().assign(reply.begin(), reply.end());
        form.Requests->SetPending(code, form.TimeoutKind());
        form.Timer3->SetEnabled(true);
        form.Timer2Timer();
    }
};

// A command 0 reply with the marker at offset 3 (after three stray bytes).
B DeviceReply(uint8_t manufacturer, uint8_t type, uint8_t preambles, B id) {
    B r{0x00, 0x41,         0x42, 0xFF,      0x06, 0x80, 0x00, 0x0E, 0x00, 0x00,
        254,  manufacturer, type, preambles, 5,    1,    1,    8,    0};
    r.insert(r.end(), id.begin(), id.end());
    r.push_back(0x00);
    return r;
}

// A command 3 reply, marker at 0, with `byteCount` and these groups.
B CommandReply(uint8_t byteCount, const std::vector<B>& groups) {
    B r{0xFF, 0x86, 0x80, 0, 0, 0, 0, 0x03, byteCount, 0, 0, 0x41, 0x40, 0, 0};
    for (const B& g : groups) r.insert(r.end(), g.begin(), g.end());
    r.push_back(0x00);
    return r;
}

struct SendCase {
    const char* name;
    std::function<void(TForm1&, Ui::TForm1&)> setup;
    QPushButton* Ui::TForm1::*button;
    QString sent;
    int code;
    int interval;
};

}  // namespace

TEST_F(HartWindow, ButtonsSendTheirFrames) {
    auto none = [](TForm1&, Ui::TForm1&) {};
    const SendCase cases[] = {
        {"device query defaults", none, &Ui::TForm1::Button7, kFf7 + "02 80 00 00 82 ", 100, 1000},
        {"secondary master address 3",
         [](TForm1&, Ui::TForm1& u) {
             SetItemIndex(u.ComboBox42, 1);
             SetItemIndex(u.ComboBox30, 3);
         },
         &Ui::TForm1::Button7, kFf7 + "02 03 00 00 01 ", 100, 1000},
        {"typed item texts count as those items",
         [](TForm1&, Ui::TForm1& u) {
             u.ComboBox42->setEditText("Secondary Master Mode");
             u.ComboBox30->setEditText("Address 4");
         },
         &Ui::TForm1::Button7, kFf7 + "02 04 00 00 06 ", 100, 1000},
        {"address set before any identity", none, &Ui::TForm1::Button14,
         kFf7 + "82 80 00 00 00 00 06 01 00 05 ", 106, 3000},
        {"command query to a manufacturer above 0x3F",
         [](TForm1& f, Ui::TForm1&) {
             f.Requests->KeepHartIdentity({0x5A, 0x0B, {0x12, 0x34, 0x56}});
         },
         &Ui::TForm1::Button16, kFf7 + "82 9A 0B 12 34 56 03 00 60 ", 103, 1000},
        {"a revision 7 instrument's address carries its loop current mode",
         [](TForm1& f, Ui::TForm1& u) {
             f.Requests->KeepHartIdentity({0x5A, 0x0B, {0x12, 0x34, 0x56}});
             f.Requests->KeepHartRevision(7);
             SetItemIndex(u.ComboBox27, 4);
         },
         &Ui::TForm1::Button14, kFf7 + "82 9A 0B 12 34 56 06 02 04 00 63 ", 106, 3000},
        {"typed with trailing blank",
         [](TForm1&, Ui::TForm1& u) { u.Edit10->setText("02 80 00 00 "); }, &Ui::TForm1::Button20,
         kFf7 + "02 80 00 00 82 ", 104, 1000},
        {"typed beyond 15 groups",
         [](TForm1&, Ui::TForm1& u) {
             u.Edit9->setText("1");
             u.Edit10->setText("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11");
         },
         &Ui::TForm1::Button20, "FF FF 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 00 ", 104,
         1000},
    };
    for (const SendCase& c : cases) {
        TForm1 f;
        f.show();
        Ui::TForm1& u = *f.form();
        u.Memo10->setPlainText("old reply");
        for (QLineEdit* e : {u.Edit28, u.Edit29, u.Edit31, u.Edit32}) e->setText("old");
        c.setup(f, u);
        Click(u.*c.button);
        EXPECT_EQ(u.Edit8->text().toStdString(), c.sent.toStdString()) << c.name;
        EXPECT_TRUE(u.Memo10->toPlainText().isEmpty()) << c.name;
        EXPECT_EQ(f.PendingRequest(), c.code) << c.name;
        EXPECT_EQ(f.TimeoutKind(), 4) << c.name;
        EXPECT_TRUE(f.Timer3->Enabled()) << c.name;
        EXPECT_EQ(f.Timer3->Interval(), c.interval) << c.name;
        // Only the device query empties the identity edits.
        EXPECT_EQ(u.Edit28->text().isEmpty(), c.code == 100) << c.name;
        f.Timer3->SetEnabled(false);
    }
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
}

TEST_F(HartWindow, RefusedInputSendsNothing) {
    const struct {
        void (TForm1::*handler)();
        const char* preamble;
        const char* typed;
        QString message;
        QComboBox* Ui::TForm1::*combo = nullptr;  // with this text typed into it
        const char* comboText = nullptr;
    } cases[] = {
        {&TForm1::Button20Click, "6", "02 8a 00", "Data eeore!"},
        {&TForm1::Button20Click, "6", "0g 80", "Data eeore!"},
        {&TForm1::Button20Click, "6", "02 8G", "Data eeore!"},
        {&TForm1::Button20Click, "6", "02 8 ", "' ' is not a valid integer value"},
        {&TForm1::Button20Click, "6", "028000", "NO SPACK"},
        {&TForm1::Button20Click, "6", "", "NO SPACK"},
        {&TForm1::Button20Click, "6", "0", "NO SPACK"},
        {&TForm1::Button20Click, "6", "02-80-00", "NO SPACK"},
        // The typed text is judged before the preamble length.
        {&TForm1::Button20Click, "x", "02,80", "NO SPACK"},
        {&TForm1::Button20Click, "x", "02 80", "'x' is not a valid integer value"},
        {&TForm1::Button20Click, "488", "02 80", "Preamble length must be 0 to 487"},
        {&TForm1::Button7Click, "6x", "", "'6x' is not a valid integer value"},
        {&TForm1::Button7Click, "-1", "", "Preamble length must be 0 to 487"},
        {&TForm1::Button7Click, "100000", "", "Preamble length must be 0 to 487"},
        {&TForm1::Button16Click, "488", "", "Preamble length must be 0 to 487"},
        {&TForm1::Button14Click, "", "", "'' is not a valid integer value"},
        {&TForm1::Button14Click, "-5", "", "Preamble length must be 0 to 487"},
        // A typed list text that is no item would become a byte nobody chose.
        {&TForm1::Button7Click, "5", "", "'5' is not an item of HART Address",
         &Ui::TForm1::ComboBox30, "5"},
        {&TForm1::Button7Click, "5", "", "'Master' is not an item of HART Command Mode",
         &Ui::TForm1::ComboBox42, "Master"},
        {&TForm1::Button16Click, "5", "", "'' is not an item of HART Command Mode",
         &Ui::TForm1::ComboBox42, ""},
        {&TForm1::Button14Click, "5", "",
         "'Address 12' is not an item of HART Address Configuration", &Ui::TForm1::ComboBox27,
         "Address 12"},
        {&TForm1::Button20Click, "5", "02 80 ０",
         "'02 80 ０' in Manual HART Command: a character outside Latin-1 cannot be sent"},
    };
    for (const auto& c : cases) {
        messages.clear();
        for (QComboBox* combo : {ui->ComboBox30, ui->ComboBox42, ui->ComboBox27})
            SetItemIndex(combo, 0);
        if (c.combo) (ui->*c.combo)->setEditText(QString::fromUtf8(c.comboText));
        ui->Edit9->setText(c.preamble);
        ui->Edit10->setText(QString::fromUtf8(c.typed));
        ui->Edit8->setText("old");
        RunQueued(c.handler);
        ASSERT_TRUE(messages.WaitForCount(1, 2000)) << c.typed;
        EXPECT_EQ(messages.texts(), QStringList{c.message}) << c.preamble << " " << c.typed;
        EXPECT_TRUE(ui->Edit8->text().isEmpty()) << c.typed;
        EXPECT_EQ(form.PendingRequest(), 0) << c.typed;
        EXPECT_FALSE(form.Timer3->Enabled()) << c.typed;
    }
}

TEST_F(HartWindow, LongestFrameStaysInsideTheTransmitArea) {
    form.FrameBuffer()[TForm1::kRxStart] = 0xA5;
    ui->Edit9->setText("487");
    ui->Edit10->setText("11 11 11 11 11 11 11 11 11 11 11 11 11 11 22");
    Click(ui->Button20);
    const QString sent = ui->Edit8->text();
    EXPECT_EQ(sent.size(), 504 * 3);
    EXPECT_TRUE(sent.endsWith("11 22 22 "));  // checksum of 14 × 0x11 and 0x22
    EXPECT_EQ(form.FrameBuffer()[TForm1::kRxStart - 1], 0x22);
    EXPECT_EQ(form.FrameBuffer()[TForm1::kRxStart], 0xA5);
    EXPECT_EQ(form.PendingRequest(), 104);
}

TEST_F(HartWindow, DeviceReplyFillsTheIdentity) {
    const struct {
        uint8_t address;
        int selected;
    } cases[] = {{5, 5}, {0, 0}, {9, -1}};
    for (const auto& c : cases) {
        form.FrameBuffer()[7] = c.address;
        const B reply = DeviceReply(0x5A, 0x0B, 5, {0x01, 0x02, 0x03});
        Decode(100, reply);
        EXPECT_EQ(ui->Edit28->text(), "90");
        EXPECT_EQ(ui->Edit29->text(), "11");
        EXPECT_EQ(ui->Edit31->text(), "5");
        EXPECT_EQ(ui->Edit32->text(), "66051");
        EXPECT_EQ(ui->ComboBox27->currentIndex(), c.selected) << int(c.address);
        EXPECT_EQ(form.HartManufacturerId(), 0x5A);
        EXPECT_EQ(form.FrameBuffer()[6], 0x0B);
        EXPECT_EQ(B(form.FrameBuffer().begin(), form.FrameBuffer().begin() + 3), (B{1, 2, 3}));
        EXPECT_EQ(form.PendingRequest(), 0);
        EXPECT_FALSE(form.Timer3->Enabled());
    }
    // Revision 7: the expanded device type in bytes 1-2, the manufacturer's
    // 16-bit code in bytes 17-18.
    const B seven{0xFF, 0x06, 0x80, 0x00, 0x18, 0x00, 0x00, 254,  0xE4, 0x2D, 5,    7, 1, 1, 8,
                  0,    0x12, 0x34, 0x56, 5,    4,    0x00, 0x03, 0x00, 0x00, 0x60, 0, 0, 1, 0};
    Decode(100, seven);
    EXPECT_EQ(ui->Edit28->text(), "96");
    EXPECT_EQ(ui->Edit29->text(), "58413");
    EXPECT_EQ(form.Requests->HartRevision(), 7);
}

TEST_F(HartWindow, DeviceReplyWithoutMarkerEmptiesTheEditsAndKeepsTheIdentity) {
    const B full = DeviceReply(0x5A, 0x0B, 5, {0x01, 0x02, 0x03});
    const B cases[] = {
        {0xFF, 0x06, 0x80, 0x00},                // four bytes
        B(40, 0x00),                             // garbage
        B(full.begin(), full.begin() + 3 + 18),  // ends before the identifier's last byte
    };
    for (const B& reply : cases) {
        form.FrameBuffer()[7] = 2;
        Decode(100, full);
        ASSERT_EQ(ui->ComboBox27->currentIndex(), 2);
        form.FrameBuffer()[7] = 4;
        // The receive area still holds the longer reply behind a short one.
        Decode(100, reply);
        for (QLineEdit* e : {ui->Edit28, ui->Edit29, ui->Edit31, ui->Edit32}) {
            EXPECT_TRUE(e->text().isEmpty()) << reply.size();
        }
        EXPECT_EQ(ui->ComboBox27->currentIndex(), 2);
        EXPECT_EQ(form.HartManufacturerId(), 0x5A);
        EXPECT_EQ(form.PendingRequest(), 0);
        EXPECT_FALSE(form.Timer3->Enabled());
    }
}

TEST_F(HartWindow, CommandReplyFillsTheVariablesItCarries) {
    const std::vector<B> groups = {{32, 0x41, 0x45, 0x70, 0xA4},
                                   {61, 0x3D, 0xCC, 0xCC, 0xCD},
                                   {62, 0x7F, 0x00, 0x00, 0x01},
                                   {250, 0x34, 0x21, 0x0F, 0xB0}};
    QLineEdit* Ui::TForm1::*const edits[] = {&Ui::TForm1::Edit25, &Ui::TForm1::Edit26,
                                             &Ui::TForm1::Edit27, &Ui::TForm1::Edit30};
    QComboBox* Ui::TForm1::*const units[] = {&Ui::TForm1::ComboBox3, &Ui::TForm1::ComboBox31,
                                             &Ui::TForm1::ComboBox32, &Ui::TForm1::ComboBox33};
    const QString texts[] = {"12.340000", "0.1000000", "00000000", "1.5E-7"};
    const int items[] = {12, 46, 47, kOtherUnitItem};
    const std::pair<uint8_t, int> cases[] = {{11, 1}, {16, 2}, {21, 3}, {26, 4}};
    for (auto [byteCount, filled] : cases) {
        for (int i = 0; i < 4; ++i) {
            (ui->*edits[i])->setText("kept");
            SetItemIndex(ui->*units[i], 3);
        }
        Decode(103, CommandReply(byteCount, groups));
        for (int i = 0; i < 4; ++i) {
            const bool decoded = i < filled;
            EXPECT_EQ((ui->*edits[i])->text(), decoded ? texts[i] : "kept") << int(byteCount) << i;
            EXPECT_EQ((ui->*units[i])->currentIndex(), decoded ? items[i] : 3) << int(byteCount);
        }
        EXPECT_EQ(form.PendingRequest(), 0);
        EXPECT_FALSE(form.Timer3->Enabled());
    }
}

TEST_F(HartWindow, CommandReplyEndingEarlyChangesNothing) {
    const std::vector<B> groups(4, B{32, 0x40, 0x80, 0x00, 0x00});
    Decode(103, CommandReply(26, groups));
    ASSERT_EQ(ui->Edit30->text(), "4");
    ui->Edit30->setText("kept");
    // Byte count 26 but only two variables: the rest would be stale bytes.
    const B shortReply = CommandReply(26, {groups[0], groups[1]});
    Decode(103, shortReply);
    EXPECT_EQ(ui->Edit30->text(), "kept");
    EXPECT_EQ(form.PendingRequest(), 0);
}

TEST_F(HartWindow, ValueTextUsesTheLocaleDecimalSeparator) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Decode(103, CommandReply(11, {{32, 0x41, 0x45, 0x70, 0xA4}}));
    QLocale::setDefault(saved);
    EXPECT_EQ(ui->Edit25->text(), "12,340000");
}

TEST_F(HartWindow, HartQueryTimeoutFollowsTheLastSetInterval) {
    QElapsedTimer clock;
    clock.start();
    Click(ui->Button7);  // first request since start: the initial timeout
    ASSERT_TRUE(messages.WaitForCount(1, 3000));
    EXPECT_GE(clock.elapsed(), timings().firstTimeoutMs - 10);
    EXPECT_LT(clock.elapsed(), timings().firstTimeoutMs + 800);
    EXPECT_EQ(messages.texts(), QStringList{"HART Command Timeout!"});

    Click(ui->Button6);  // sets the long timeout for good
    ASSERT_TRUE(messages.WaitForCount(2, 5000));
    clock.restart();
    Click(ui->Button16);
    ASSERT_TRUE(messages.WaitForCount(3, 5000));
    EXPECT_GE(clock.elapsed(), timings().timeoutMs - 10);
    EXPECT_LT(clock.elapsed(), timings().timeoutMs + 800);
    EXPECT_EQ(messages.texts().last(), "HART Command Timeout!");
}

TEST_F(HartWindow, ExchangeWithTheInstrument) {
    module.settings().variables[2] = std::nanf("");  // sent as "not available"
    OpenOnSimulator();

    // Device parameters: the identity, with a manufacturer code above 0x3F.
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 3000));
    EXPECT_EQ(ui->Edit28->text(), "90");
    EXPECT_EQ(ui->Edit29->text(), "11");
    EXPECT_EQ(ui->Edit31->text(), "5");
    EXPECT_EQ(ui->Edit32->text(), "1193046");
    EXPECT_TRUE(ui->Memo10->toPlainText().startsWith("FF FF FF FF FF 06 80 00 0E "));

    // The four variables, sent to the long address kept from that reply.
    Click(ui->Button16);
    EXPECT_EQ(ui->Edit8->text(), kFf7 + "82 9A 0B 12 34 56 03 00 60 ");
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit30->text().isEmpty(); }, 3000));
    EXPECT_EQ(ui->Edit25->text(), "12.5");
    EXPECT_EQ(ui->Edit26->text(), "3.75");
    EXPECT_EQ(ui->Edit27->text(), "00000000");
    EXPECT_EQ(ui->Edit30->text(), "25");
    EXPECT_EQ(ui->ComboBox3->currentIndex(), UnitItemForCode(12));
    EXPECT_EQ(ui->ComboBox31->currentIndex(), UnitItemForCode(32));
    EXPECT_EQ(ui->ComboBox32->currentIndex(), UnitItemForCode(61));
    EXPECT_EQ(ui->ComboBox33->currentIndex(), UnitItemForCode(57));

    // Move the instrument to address 4, then find it there.
    SetItemIndex(ui->ComboBox27, 4);
    Click(ui->Button14);
    ASSERT_TRUE(WaitFor([&] { return !ui->Memo10->toPlainText().isEmpty(); }, 3000));
    {
        std::lock_guard lock(module.mutex());
        EXPECT_EQ(module.settings().hart.pollingAddress, 4);
    }
    EXPECT_EQ(form.PendingRequest(), 106);
    SetItemIndex(ui->ComboBox27, 0);
    SetItemIndex(ui->ComboBox30, 4);
    Click(ui->Button7);
    ASSERT_TRUE(WaitFor([&] { return !ui->Edit32->text().isEmpty(); }, 3000));
    EXPECT_EQ(ui->Edit32->text(), "1193046");
    EXPECT_EQ(ui->ComboBox27->currentIndex(), 4);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
}
