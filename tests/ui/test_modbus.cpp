// MODBUS test request and IEEE 754 calculator, through the window.
#include <gtest/gtest.h>

#include <QLocale>
#include <QTabWidget>

#include "window_fixture.h"

namespace {

class ModbusWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ui->PageControl1->setCurrentWidget(ui->TabSheet3);
        ASSERT_TRUE(ui->Button4->isVisible());
    }
};

TEST_F(ModbusWindowTest, TestRequestWithDefaults) {
    ui->Memo10->setPlainText("old reply");
    Click(ui->Button4);
    EXPECT_EQ(ui->Edit8->text(), "01 03 00 00 00 0A C5 CD ");
    EXPECT_TRUE(ui->Memo10->toPlainText().isEmpty());
    EXPECT_EQ(TxArea(8), std::string("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8));
    EXPECT_EQ(form.PendingRequest(), 302);
    EXPECT_EQ(form.TimeoutKind(), 2);
    EXPECT_EQ(form.Timer3->Interval(), timings().timeoutMs);
    EXPECT_TRUE(form.Timer3->Enabled());
    EXPECT_TRUE(messages.texts().isEmpty());  // the closed port refuses silently
}

TEST_F(ModbusWindowTest, SlaveAddressFollowsThePageOneAddress) {
    ui->Edit14->setText("017");
    EXPECT_EQ(ui->Edit18->text(), "017");
    Click(ui->Button4);
    EXPECT_EQ(ui->Edit8->text(), "11 03 00 00 00 0A C7 5D ");
}

TEST_F(ModbusWindowTest, TestRequestWithATextThatIsNoNumberSendsNothing) {
    ui->Edit8->setText("earlier frame");
    ui->Edit20->setText("1O");
    Click(ui->Button4);
    ASSERT_TRUE(messages.WaitForCount(1, 2000));
    EXPECT_EQ(messages.texts().front(), "'1O' is not a valid integer value");
    EXPECT_TRUE(ui->Edit8->text().isEmpty());
    EXPECT_EQ(form.PendingRequest(), 0);
    EXPECT_FALSE(form.Timer3->Enabled());
}

constexpr const char* kNoSpaces = "Input data contains no spaces";
constexpr const char* kInvalid = "Invalid characters detected. Please re-enter!";

TEST_F(ModbusWindowTest, Calculator) {
    struct Case {
        const char* typed;
        const char* shown;    // Edit22 afterwards
        const char* message;  // nullptr: none
    };
    const Case cases[] = {
        {"41 20 00 00", "10", nullptr},
        {"3F 80 00 00", "1", nullptr},
        {"3D CC CC CD", "0.10000000", nullptr},
        {"C2 C8 00 00", "-100", nullptr},
        {"7F 7F FF FF", "3.40282E38", nullptr},
        {"7F C0 00 00", "NAN", nullptr},
        {"FF 80 00 00", "-INF", nullptr},
        {"41 20", "10", nullptr},
        {"41 20 00 00 12", "10", nullptr},
        {"00 00 00 01", "1.4013E-45", nullptr},
        // Failures leave the previous result.
        {"41 20 00 00 ", "kept", kInvalid},
        {"41200000", "kept", kNoSpaces},
        {"41-20-00-00", "kept", kNoSpaces},
        {"3d CC CC CD", "kept", kInvalid},
        {"41 2", "kept", kInvalid},
        {"41 G0", "kept", kInvalid},
        {"41 2é", "kept", kInvalid},
        {"", "kept", kInvalid},
        {"4  ", "kept", "' ' is not a valid integer value"},
        {"41 2+", "kept", "'+' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        messages.clear();
        ui->Edit7->setText(c.typed);
        ui->Edit22->setText("kept");
        Click(ui->Button13);
        if (c.message) {
            ASSERT_TRUE(messages.WaitForCount(1, 2000)) << c.typed;
        }
        Pump(20);
        EXPECT_EQ(ui->Edit22->text().toStdString(), c.shown) << '"' << c.typed << '"';
        EXPECT_EQ(messages.texts().join("|").toStdString(), c.message ? c.message : "")
            << '"' << c.typed << '"';
    }
    EXPECT_EQ(form.PendingRequest(), 0);
    EXPECT_TRUE(ui->Edit8->text().isEmpty());
}

TEST_F(ModbusWindowTest, CalculatorUsesTheLocaleDecimalSeparator) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ui->Edit7->setText("3D CC CC CD");
    Click(ui->Button13);
    QLocale::setDefault(saved);
    EXPECT_EQ(ui->Edit22->text(), "0,10000000");
}

// The simulator on a pseudo-terminal, opened by the window.
TEST_F(ModbusWindowTest, TestRequestReplyShownInHexadecimal) {
    module.settings().variables[0] = 10.0f;
    OpenOnSimulator();

    ui->Edit19->setText("1");
    ui->Edit20->setText("3");
    Click(ui->Button4);
    // Register 40002 holds the slave address, 40003/40004 the float 10.0.
    const QString reply = "01 03 06 00 01 41 20 00 00 09 43 ";
    EXPECT_TRUE(WaitFor([&] { return ui->Memo10->toPlainText() == reply; }, 5000))
        << ui->Memo10->toPlainText().toStdString();
    EXPECT_EQ(form.PendingRequest(), 302);  // shown only; the code stays
    EXPECT_FALSE(form.Timer3->Enabled());
    EXPECT_FALSE(form.Timer2->Enabled());
    Pump(100);
    EXPECT_TRUE(messages.texts().isEmpty()) << messages.texts().join("|").toStdString();
}

}  // namespace
