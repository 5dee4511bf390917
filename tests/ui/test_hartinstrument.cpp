// View > HART Instrument… against the simulated module and its instrument:
// read, write with confirmation and read back, a write-protected refusal
// named, status bits highlighted, and the loop check, whose loop is released
// when the window closes mid-check; the window on a small screen, its values
// before a read and once the port goes, and what it says after a silence.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QMessageBox>
#include <QPainter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <mutex>

#include "screenshot.h"
#include "ui/desktoppalette.h"
#include "session/hartcommissionjob.h"
#include "session/hartinstrumentjob.h"
#include "sim/hartinstrument.h"
#include "ui/harttrimdialog.h"
#include "session/loopcheckjob.h"
#include "ui/hartinstrumentwindow.h"
#include "window_fixture.h"

namespace {

class HartWindowTest : public WindowTest {
protected:
    void Open() {
        OpenOnSimulator();
        form.findChild<QAction*>("actionHartInstrument")->trigger();
        window = form.findChild<HartInstrumentWindow*>("HartInstrumentWindow");
        ASSERT_TRUE(window && window->isVisible());
    }
    template <typename W>
    W* Get(const char* name) {
        auto* w = window->findChild<W*>(name);
        EXPECT_TRUE(w) << name;
        return w;
    }
    // Clicks and waits for the job the click started.
    void ClickAndWait(const char* button) {
        Click(Get<QPushButton>(button));
        ASSERT_TRUE(WaitFor([&] { return !window->job()->IsRunning(); }, 20000)) << button;
    }
    QString Status() { return Get<QLabel>("labelHartInstrumentStatus")->text(); }
    bool Warned() { return Get<QLabel>("hartStatusIcon")->isVisible(); }
    // The read values greyed and their age said, or shown as live.
    void ExpectStale(bool stale, const char* why = "") {
        auto* age = Get<QLabel>("labelHartValuesAge");
        EXPECT_EQ(age->isVisible(), stale);
        if (stale) EXPECT_TRUE(age->text().contains(why)) << age->text().toStdString();
        EXPECT_EQ(Get<QLabel>("labelHartLoopCurrent")->isEnabled(), !stale);
        EXPECT_EQ(Get<QLabel>("labelHartStatusBit7")->isEnabled(), !stale);
        // The fields a write sends still take input, their text greyed
        // where it is drawn (a spin box's in its line edit).
        auto* date = Get<QDateEdit>("dateHartDate");
        EXPECT_TRUE(date->isEnabled());
        const QPalette drawn = date->findChild<QLineEdit*>()->palette();
        EXPECT_EQ(drawn.color(QPalette::Active, QPalette::Text) ==
                      drawn.color(QPalette::Disabled, QPalette::Text),
                  stale);
    }
    ModuleSettings::HartInstrumentSettings Hart() {
        std::lock_guard lock(module.mutex());
        return module.settings().hart;
    }

    HartInstrumentWindow* window = nullptr;
};

TEST_F(HartWindowTest, ReadWriteReadBackAndRefusal) {
    Open();
    ClickAndWait("buttonHartRead");
    EXPECT_NE(Get<QLabel>("labelHartIdentity")->text().indexOf("id 1193046, HART 5"), -1);
    EXPECT_EQ(Get<QLineEdit>("editHartTag")->text(), "PT-101");
    EXPECT_EQ(Get<QLineEdit>("editHartUpperRange")->text(), "25");
    EXPECT_EQ(Get<QLabel>("labelHartLoopCurrent")->text(), "12.000 mA");
    EXPECT_EQ(Get<QLabel>("labelHartPercentOfRange")->text(), "50.0 %");

    // Tag: confirmed by the engineer, naming the instrument and the change, then read back.
    Get<QLineEdit>("editHartTag")->setText("ft-7");
    messages.clear();
    ClickAndWait("buttonHartWriteTag");
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_NE(messages.texts()[0].indexOf("id 1193046, HART 5"), -1)
        << messages.texts()[0].toStdString();
    EXPECT_NE(messages.texts()[0].indexOf("tag \"PT-101\" to \"FT-7\""), -1);
    EXPECT_EQ(Hart().tag, "FT-7");
    EXPECT_EQ(Get<QLineEdit>("editHartTag")->text(), "FT-7");
    EXPECT_NE(Status().indexOf("Written and read back"), -1) << Status().toStdString();

    // Range: the percent of range follows it.
    Get<QLineEdit>("editHartUpperRange")->setText("50");
    ClickAndWait("buttonHartWriteRange");
    EXPECT_EQ(Hart().upperRange, 50.0f);
    EXPECT_EQ(Get<QLineEdit>("editHartUpperRange")->text(), "50");
    ClickAndWait("buttonHartRead");
    EXPECT_EQ(Get<QLabel>("labelHartPercentOfRange")->text(), "25.0 %");

    // A warning code: the write was carried out, so it is read back and shown
    // with its warning, not as a failure.
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.forcedResponse = std::pair{35, uint8_t{14}};
    }
    Get<QLineEdit>("editHartUpperRange")->setText("60");
    ClickAndWait("buttonHartWriteRange");
    EXPECT_EQ(Hart().upperRange, 60.0f);
    EXPECT_NE(Status().indexOf("Written with a warning (response code 14 span too small) and "
                               "read back"),
              -1)
        << Status().toStdString();
    // A read whose reply came with a warning keeps its data and names the
    // warning; a value not available is said so, its unit named by code.
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.forcedResponse = std::pair{2, uint8_t{8}};
        module.settings().hart.nanVariable = 0;
    }
    ClickAndWait("buttonHartRead");
    EXPECT_EQ(Get<QLabel>("labelHartLoopCurrent")->text(), "12.000 mA");
    EXPECT_NE(Status().indexOf("with a warning (command 2: response code 8"), -1)
        << Status().toStdString();
    EXPECT_EQ(Get<QLabel>("labelHartPrimaryVariable")->text(), "not available (kPa)");
    EXPECT_NE(Get<QLabel>("labelHartIdentity")->text().indexOf("manufacturer 0x005A"), -1);
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.forcedResponse.reset();
        module.settings().hart.nanVariable.reset();
    }

    // A tag that packed ASCII cannot carry is refused before anything is sent.
    Get<QLineEdit>("editHartTag")->setText("T~1");
    messages.clear();
    Click(Get<QPushButton>("buttonHartWriteTag"));
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_NE(Status().indexOf("The tag holds \"~\""), -1) << Status().toStdString();

    // Write protected: the refusal is shown with its response code's name.
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.writeProtect = true;
        module.settings().hart.deviceStatus = 0x81;
    }
    Get<QLineEdit>("editHartTag")->setText("XX-1");
    ClickAndWait("buttonHartWriteTag");
    EXPECT_NE(Status().indexOf("response code 7 in write-protect mode"), -1)
        << Status().toStdString();
    EXPECT_EQ(Hart().tag, "FT-7");
    {
        // A desktop turning dark turns the window dark, and the refusal still reads.
        const QPalette light = QApplication::palette();
        QApplication::setPalette(DarkPalette());
        EXPECT_TRUE(WaitFor([&] { return IsDarkPalette(window->palette()); }, 2000));
        const QColor face = window->palette().color(QPalette::Window);
        const QColor said = Get<QLabel>("labelHartInstrumentStatus")->palette().color(QPalette::WindowText);
        EXPECT_GE(ContrastRatio(said, face), 4.5) << said.name().toStdString();
        SaveScreenshot(window, "hart-instrument-dark.png");
        QApplication::setPalette(light);
    }

    ClickAndWait("buttonHartRead");
    EXPECT_EQ(Get<QLabel>("labelHartWriteProtect")->text(), "yes");
    EXPECT_TRUE(Get<QLabel>("labelHartStatusBit7")->property("set").toBool());
    EXPECT_TRUE(Get<QLabel>("labelHartStatusBit0")->property("set").toBool());
    EXPECT_FALSE(Get<QLabel>("labelHartStatusBit3")->property("set").toBool());
    EXPECT_EQ(Get<QLabel>("labelHartStatusBit7")->text(), "device malfunction");
    SaveScreenshot(window, "hart-instrument.png");

    // A command the instrument lacks leaves the rest read, and is named.
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.forcedResponse = std::pair{12, uint8_t{64}};
        module.settings().hart.loopCurrent = 16.0f;
    }
    ClickAndWait("buttonHartRead");
    EXPECT_NE(Status().indexOf("except: reply to HART command 12 wrong: response code 64 command "
                               "not implemented"),
              -1)
        << Status().toStdString();
    EXPECT_EQ(Get<QLabel>("labelHartLoopCurrent")->text(), "16.000 mA");
}

TEST_F(HartWindowTest, LoopCheckTableAndClosingMidCheck) {
    Open();
    ClickAndWait("buttonHartRead");
    LoopCheckJob* loop = window->loopCheck();
    {
        std::lock_guard lock(module.mutex());
        module.settings().currentOffset = 0.2f;
        module.settings().currentOffsetAt = 20.0f;
    }
    messages.clear();
    Click(Get<QPushButton>("buttonLoopCheck"));
    ASSERT_TRUE(WaitFor([&] { return !loop->IsRunning(); }, 20000));
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_NE(messages.texts()[0].indexOf("the loop current will be held at 4, 12 and 20 mA: the "
                                          "control system will see these values"),
              -1);
    auto* table = Get<QTableWidget>("tableLoopCheck");
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 5)->text(), "pass");
    EXPECT_EQ(table->item(1, 5)->text(), "pass");
    EXPECT_TRUE(table->item(2, 5)->text().startsWith("FAIL: MODBUS 40003 20.200 mA"));
    EXPECT_EQ(table->item(2, 4)->text(), "+0.200 mA");
    EXPECT_NE(Get<QLabel>("labelLoopCheck")
                  ->text()
                  .indexOf("1 of 3 points out of tolerance. Fixed current mode left"),
              -1)
        << Get<QLabel>("labelLoopCheck")->text().toStdString();
    EXPECT_FALSE(Hart().fixedCurrent);
    SaveScreenshot(window, "loop-check.png");

    // Closed mid-check: the check stops and the loop is released all the same.
    bool closed = false;
    QObject::connect(loop, &LoopCheckJob::pointDone, window, [&] {
        if (!closed) window->close();
        closed = true;
    });
    Click(Get<QPushButton>("buttonLoopCheck"));
    ASSERT_TRUE(WaitFor([&] { return closed && !loop->IsRunning(); }, 20000));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(loop->report().cancelled);
    EXPECT_TRUE(loop->report().fixedModeLeft);
    EXPECT_FALSE(Hart().fixedCurrent);

    // The main window closed mid-check (the engineer, or a signal): the loop
    // is released on the line first, then the window closes with the port.
    window->show();
    bool asked = false;
    QObject::connect(loop, &LoopCheckJob::pointDone, &form, [&] {
        if (!asked) form.close();
        asked = true;
    });
    Click(Get<QPushButton>("buttonLoopCheck"));
    ASSERT_TRUE(WaitFor([&] { return asked && !form.isVisible(); }, 20000));
    EXPECT_TRUE(loop->report().fixedModeLeft);
    EXPECT_FALSE(Hart().fixedCurrent);
    EXPECT_FALSE(form.Comm1->IsOpen());
}

// Commissioning on a revision 7 instrument: a write confirmed naming the
// instrument and the change and read back, Cancel on the confirmation sending
// nothing, a refusal named, and the loop current trim walked in its dialog.
TEST_F(HartWindowTest, CommissioningAndTheLoopCurrentTrim) {
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.revision = 7;
        module.settings().hart.outputZero = 0.03f;
        module.settings().hart.outputGain = 1.004f;
    }
    Open();
    ClickAndWait("buttonHartRead");
    HartCommissionJob* job = window->commission();
    const auto wait = [&] { return WaitFor([&] { return !job->IsRunning(); }, 20000); };

    Get<QDoubleSpinBox>("spinHartDamping")->setValue(2.0);
    const int before = server->requestsAnswered();
    messages.clear();
    messages.onShown = [](QMessageBox* box) { box->button(QMessageBox::Cancel)->click(); };
    Click(Get<QPushButton>("buttonHartWriteDamping"));
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    messages.onShown = nullptr;
    EXPECT_EQ(server->requestsAnswered(), before);
    EXPECT_EQ(Status(), "Nothing was sent.");

    messages.clear();
    Click(Get<QPushButton>("buttonHartWriteDamping"));
    ASSERT_TRUE(wait());
    ASSERT_EQ(messages.texts().size(), 1);
    EXPECT_NE(messages.texts()[0].indexOf("\"PT-101\" (manufacturer"), -1)
        << messages.texts()[0].toStdString();
    EXPECT_NE(messages.texts()[0].indexOf("damping 0.5 s → 2 s?"), -1);
    EXPECT_EQ(Hart().damping, 2.0f);
    EXPECT_EQ(Status(), "Damping 0.5 s → 2 s: done and read back: damping 2 s.");

    // (A refused write is shown by ReadWriteReadBackAndRefusal.)
    // PV units: the range group follows, so a later Write Range keeps the unit.
    auto* units = Get<QComboBox>("comboHartPvUnits");
    units->setCurrentIndex(units->findData(7));
    Click(Get<QPushButton>("buttonHartWritePvUnits"));
    ASSERT_TRUE(wait());
    EXPECT_EQ(Hart().unitCodes[0], 7);
    EXPECT_EQ(Get<QComboBox>("comboHartRangeUnit")->currentData().toInt(), 7);

    // The flag the writes set, reset against the counter shown.
    ClickAndWait("buttonHartRead");
    EXPECT_EQ(Get<QLabel>("labelHartChangeCounter")->text(), "set (change counter 2)");
    Click(Get<QPushButton>("buttonHartResetChanged"));
    ASSERT_TRUE(wait());
    EXPECT_FALSE(Hart().configChanged);
    EXPECT_NE(Status().indexOf("configuration changed flag clear, change counter 2"), -1)
        << Status().toStdString();
    ClickAndWait("buttonHartRead");
    EXPECT_FALSE(Get<QLabel>("labelHartStatusBit6")->property("set").toBool());

    // The trim: the reading field prefilled with the module's reading, said to be a suggestion.
    messages.clear();
    Click(Get<QPushButton>("buttonHartTrim"));
    HartTrimDialog* dialog = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (dialog = window->findChild<HartTrimDialog*>()); }, 5000));
    auto* reading = dialog->findChild<QLineEdit*>("editTrimReading");
    auto* suggestion = dialog->findChild<QLabel*>("labelTrimSuggestion");
    auto* step = dialog->findChild<QLabel*>("labelTrimStep");
    const auto meter = [&] { return QString::number(HartLoopCurrent(Hart()), 'f', 3); };
    ASSERT_TRUE(WaitFor([&] { return reading->isEnabled(); }, 20000));
    EXPECT_EQ(step->text(), "Step 1 of 3: the loop is held at 4 mA");
    EXPECT_EQ(suggestion->text(), "suggested from the module's MODBUS reading: 4.030 mA (a "
                                  "suggestion: type the meter's reading)");
    EXPECT_EQ(reading->text(), "4.030");
    reading->setText(meter());
    Click(dialog->findChild<QPushButton*>("buttonTrimSend"));
    ASSERT_TRUE(WaitFor([&] { return reading->isEnabled(); }, 20000));
    EXPECT_EQ(step->text(), "Step 2 of 3: the loop is held at 20 mA");
    EXPECT_EQ(Hart().fixedCurrent, 20.0f);
    if (std::getenv("TAVRIX_SCREENSHOTS")) {
        // The window with the dialog over its lower right corner, as the engineer sees them.
        QTest::qWait(300);
        QPixmap shot = window->grab();
        const QPixmap over = dialog->grab();
        QPainter painter(&shot);
        const QPoint at(shot.width() - over.width() - 20, shot.height() - over.height() - 60);
        painter.drawPixmap(at, over);
        painter.setPen(QPen(Qt::darkGray, 2));
        painter.drawRect(QRect(at, over.size()).adjusted(-1, -1, 0, 0));
        painter.end();
        shot.save(QString("%1/hart-trim.png").arg(std::getenv("TAVRIX_SCREENSHOTS")));
    }
    reading->setText(meter());
    Click(dialog->findChild<QPushButton*>("buttonTrimSend"));
    ASSERT_TRUE(wait());
    EXPECT_TRUE(job->trim()->report().Done());
    EXPECT_NE(dialog->findChild<QLabel*>("labelTrimResult")->text().indexOf("Loop current trimmed"),
              -1);
    EXPECT_FALSE(Hart().fixedCurrent);
    EXPECT_NEAR(Hart().outputZero, 0.0f, 2e-3f);
    EXPECT_NEAR(Hart().outputGain, 1.0f, 2e-4f);
    Click(dialog->findChild<QPushButton*>("buttonTrimCancel"));  // now "Close"
    ASSERT_TRUE(WaitFor([&] { return window->findChildren<HartTrimDialog*>().isEmpty(); }, 5000));

    // Cancel at the first reading: the loop is released before the dialog goes.
    Click(Get<QPushButton>("buttonHartTrim"));
    ASSERT_TRUE(WaitFor([&] { return (dialog = window->findChild<HartTrimDialog*>()); }, 5000));
    reading = dialog->findChild<QLineEdit*>("editTrimReading");
    ASSERT_TRUE(WaitFor([&] { return reading->isEnabled(); }, 20000));
    EXPECT_EQ(Hart().fixedCurrent, 4.0f);
    Click(dialog->findChild<QPushButton*>("buttonTrimCancel"));
    ASSERT_TRUE(wait());
    EXPECT_TRUE(job->trim()->report().cancelled);
    EXPECT_FALSE(Hart().fixedCurrent);
}

// A 1024×768 laptop at a font 20 % larger: the window fits, its status line
// in sight. Nothing is shown as read before a read; once the adapter is
// unplugged what was read is greyed with its age, and a read brings it back.
TEST_F(HartWindowTest, FitsEmptyUntilReadGreyedOnceTheAdapterGoes) {
    struct FontBack {
        QFont font = QApplication::font();
        ~FontBack() { QApplication::setFont(font); }
    } back;
    QFont larger = back.font;
    larger.setPointSizeF(larger.pointSizeF() * 1.2);
    QApplication::setFont(larger);
    Open();  // its size hints are measured with the other windows' (ThemeTest)

    auto* date = Get<QDateEdit>("dateHartDate");
    auto* unit = Get<QComboBox>("comboHartRangeUnit");
    EXPECT_TRUE(date->text().trimmed().isEmpty()) << date->text().toStdString();
    EXPECT_EQ(unit->currentIndex(), -1);
    EXPECT_EQ(Get<QComboBox>("comboHartPvUnits")->currentIndex(), -1);
    auto* damping = Get<QDoubleSpinBox>("spinHartDamping");
    EXPECT_TRUE(damping->text().trimmed().isEmpty()) << damping->text().toStdString();
    EXPECT_FALSE(Warned());
    SaveScreenshot(window, "hart-unread.png");

    // A read whose tag the instrument refused leaves the date unread: Write
    // Tag does not send it as if it were the instrument's.
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.forcedResponse = std::pair{13, uint8_t{64}};
    }
    ClickAndWait("buttonHartRead");
    EXPECT_TRUE(date->text().trimmed().isEmpty()) << date->text().toStdString();
    Get<QLineEdit>("editHartTag")->setText("FT-7");
    const int before = server->requestsAnswered();
    messages.clear();
    Click(Get<QPushButton>("buttonHartWriteTag"));
    EXPECT_TRUE(messages.texts().isEmpty());
    EXPECT_EQ(server->requestsAnswered(), before);
    EXPECT_TRUE(Status().startsWith("The date was not read")) << Status().toStdString();
    {
        std::lock_guard lock(module.mutex());
        module.settings().hart.forcedResponse.reset();
    }

    ClickAndWait("buttonHartRead");
    EXPECT_EQ(date->text(), "2026-12-09");
    EXPECT_EQ(unit->currentData().toInt(), 12);
    EXPECT_EQ(unit->currentText(), "kPa");
    EXPECT_EQ(damping->text(), "0.50 s");
    ExpectStale(false);
    window->resize(1024, 700);
    auto* status = Get<QLabel>("labelHartInstrumentStatus");
    ASSERT_TRUE(WaitFor([&] { return window->size() == QSize(1024, 700); }, 2000));
    EXPECT_TRUE(status->isVisible());
    EXPECT_TRUE(window->rect().contains(QRect(status->mapTo(window, QPoint()), status->size())))
        << status->geometry().y();
    EXPECT_TRUE(Status().startsWith("Read at ")) << Status().toStdString();
    SaveScreenshot(window, "hart-read.png");
    SaveScreenScreenshot(window, "hart-instrument-1024x768.png");

    server->Unplug();
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    ASSERT_TRUE(WaitFor([&] { return Get<QLabel>("labelHartValuesAge")->isVisible(); }, 5000));
    ExpectStale(true, "ago, before the adapter was disconnected");
    EXPECT_TRUE(Status().startsWith("The serial device was disconnected. Plug the adapter back in"))
        << Status().toStdString();
    EXPECT_TRUE(Warned());
    EXPECT_EQ(Get<QLabel>("labelHartLoopCurrent")->text(), "12.000 mA");  // kept, greyed
    SaveScreenshot(window, "hart-unplugged.png");

    ui->SPREALCOM->setEditText(QString::fromStdString(server->Plug()));
    Click(ui->Button1);
    ASSERT_TRUE(form.PortOpen);
    // A write reads back only what it wrote: the rest stays stale until a read.
    ClickAndWait("buttonHartWriteMessage");
    EXPECT_TRUE(Status().startsWith("Written and read back")) << Status().toStdString();
    ExpectStale(true, "before the adapter was disconnected");
    ClickAndWait("buttonHartRead");
    ExpectStale(false);
    EXPECT_FALSE(Warned());

    // Closed by the engineer: the same, without a warning.
    Click(ui->Button1);
    ASSERT_FALSE(form.PortOpen);
    ASSERT_TRUE(WaitFor([&] { return Get<QLabel>("labelHartValuesAge")->isVisible(); }, 5000));
    ExpectStale(true, "before the port closed");
    EXPECT_FALSE(Warned());
}

// The instrument at address 5, the window asking address 0: the module
// answers, the instrument is silent, and the window says so with the next
// step, and greys what it read before.
TEST_F(HartWindowTest, TimeoutSaysWhatIsKnownAndWhatToDo) {
    module.settings().hart.pollingAddress = 5;
    Open();
    Get<QSpinBox>("spinHartPollingAddress")->setValue(5);
    ClickAndWait("buttonHartRead");
    ASSERT_EQ(Get<QLineEdit>("editHartTag")->text(), "PT-101");
    Get<QSpinBox>("spinHartPollingAddress")->setValue(0);
    ClickAndWait("buttonHartRead");
    EXPECT_TRUE(Status().startsWith("The read failed: no reply to")) << Status().toStdString();
    EXPECT_TRUE(Status().contains("Timeout! The module answered ")) << Status().toStdString();
    EXPECT_TRUE(Status().contains("the silence is the instrument's"));
    EXPECT_TRUE(Warned());
    ExpectStale(true, "before the instrument stopped answering");

    // A commissioning write to the silent address says the same.
    Get<QDoubleSpinBox>("spinHartDamping")->setValue(2.0);
    Click(Get<QPushButton>("buttonHartWriteDamping"));
    ASSERT_TRUE(WaitFor([&] { return !window->commission()->IsRunning(); }, 20000));
    EXPECT_TRUE(Status().contains("no reply")) << Status().toStdString();
    EXPECT_TRUE(Status().contains(". The module answered ")) << Status().toStdString();
    EXPECT_TRUE(Warned());

    // And a loop check whose instrument stays silent (the question answered Yes).
    Click(Get<QPushButton>("buttonLoopCheck"));
    ASSERT_TRUE(WaitFor([&] { return !window->loopCheck()->IsRunning(); }, 20000));
    EXPECT_TRUE(Status().startsWith("The loop check stopped: no reply")) << Status().toStdString();
    EXPECT_TRUE(Status().contains("the silence is the instrument's")) << Status().toStdString();
}

}  // namespace
