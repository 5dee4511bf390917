// File > Read Module, Save/Open Profile and Apply Profile to Module in the window.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include "profile/profilecommands.h"
#include "protocol/hexbytes.h"
#include "session/modulejob.h"
#include "ui/applyreportdialog.h"
#include "ui/controls.h"
#include "ui/moduleprofiles.h"
#include "window_fixture.h"

using ProfileWindow = WindowTest;

namespace {

Profile ReadFile(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    auto read = ReadProfile(file.readAll());
    return std::get<Profile>(read);
}

// The edits a fresh window leaves empty, which no set command can send.
void FillEmptyNumbers(Ui::TForm1* ui) {
    ui->Edit6->setText("50");
    for (QLineEdit* edit : {ui->READADR1, ui->READADR3, ui->READADR5, ui->READADR7})
        edit->setText("0");
}

}  // namespace

// Saved files keep their type's ending, whatever was typed.
TEST(SaveDialogs, ANameTypedWithoutItsTypeGetsIt) {
    const struct {
        const char* typed;
        const char* saved;
    } cases[] = {{"/tmp/FT-101", "/tmp/FT-101.pdf"}, {"/tmp/FT-101.PDF", "/tmp/FT-101.PDF"},
                 {"/tmp/v1.2", "/tmp/v1.2.pdf"}, {"", ""}};
    for (const auto& c : cases) EXPECT_EQ(WithSuffix(c.typed, "pdf"), c.saved) << c.typed;
}

TEST_F(ProfileWindow, ReadSaveAndApplyToAModuleWithOtherSettings) {
    {
        std::lock_guard lock(module.mutex());
        module.settings().slaveAddress = "017";
        module.settings().rs485Baud = 4;
        module.settings().monitoringCommands[0] = {1, {0x0A, 0x0B}};
    }
    OpenOnSimulator();
    const auto* lastReply = form.findChild<QLabel*>("StatusLastReply");
    ASSERT_EQ(lastReply->text(), "No reply yet");
    ASSERT_TRUE(form.Profiles->ReadModule());
    EXPECT_FALSE(ui->Button23->isEnabled()) << "the line belongs to the job";
    ASSERT_TRUE(WaitFor([&] { return !form.Profiles->job()->IsRunning(); }, 60000));
    EXPECT_TRUE(lastReply->text().startsWith("Last reply ")) << "a sequence's replies count too";
    // Filled as the query buttons fill them.
    EXPECT_EQ(ui->Edit14->text(), "017");
    EXPECT_EQ(ui->Edit18->text(), "017");
    EXPECT_EQ(ui->ComboBox8->currentText(), "19200");
    EXPECT_TRUE(ui->ONECHECK01->isChecked());
    EXPECT_EQ(ui->ONECMAD01->text(), "0A 0B");
    EXPECT_TRUE(ui->Button23->isEnabled());

    QTemporaryDir dir;
    const QString file = dir.filePath("module.json");
    ASSERT_TRUE(form.Profiles->SaveProfileTo(file));
    EXPECT_EQ(ReadFile(file).moduleVersion, module.settings().version);
    {
        std::lock_guard lock(module.mutex());
        module.settings() = ModuleSettings{};
    }
    EXPECT_FALSE(form.findChild<QAction*>("actionSaveCertificate")->isEnabled())
        << "nothing applied yet";
    // Asked first, naming what changes and the RS-485 line; Cancel sends nothing.
    bool cancel = true;
    QString asked;
    messages.onShown = [&](QMessageBox* box) {
        if (box->objectName() != "ApplyProfileConfirmation") return;
        asked = box->informativeText();
        if (cancel) box->done(QMessageBox::Cancel);
    };
    ASSERT_TRUE(form.Profiles->ApplyProfileFrom(file));
    ASSERT_TRUE(WaitFor([&] { return !asked.isEmpty(); }, 60000));
    EXPECT_TRUE(asked.contains("MODBUS Slave Address: 001 \u2192 017")) << asked.toStdString();
    EXPECT_TRUE(asked.contains("The module's RS-485 line changes")) << asked.toStdString();
    for (const Bytes& heard : server->RequestsHeard())
        EXPECT_FALSE(std::string(heard.begin(), heard.end()).starts_with("QQS")) << "sent on Cancel";
    EXPECT_EQ(module.settings().slaveAddress, "001");
    cancel = false;
    ASSERT_TRUE(form.Profiles->ApplyProfileFrom(file));
    ASSERT_TRUE(WaitFor([&] { return form.findChild<ApplyReportDialog*>("ApplyReportDialog"); }, 90000));
    ASSERT_TRUE(WaitFor([&] { return !form.Profiles->job()->IsRunning(); }, 90000));
    auto* report = form.findChild<ApplyReportDialog*>("ApplyReportDialog");
    ASSERT_NE(report, nullptr);
    const QString text = report->findChild<QPlainTextEdit*>("textApplyReport")->toPlainText();
    EXPECT_TRUE(text.contains("Verification: 0 mismatches")) << text.toStdString();
    EXPECT_GT(report->findChild<QTableWidget*>("tableVerify")->rowCount(), 40);
    EXPECT_EQ(module.settings().slaveAddress, "017");
    EXPECT_EQ(ui->ComboBox11->currentText(), "19200") << "the port followed the module";
    const QString saved = dir.filePath("report.txt");
    EXPECT_TRUE(report->SaveTo(saved));
    // The certificate reads the instrument and cross-checks it after the apply,
    // from the report or from File.
    EXPECT_TRUE(report->findChild<QPushButton*>("buttonSaveCertificate")->isEnabled());
    EXPECT_TRUE(form.findChild<QAction*>("actionSaveCertificate")->isEnabled());
    bool certified = false;
    QObject::connect(form.Profiles, &ModuleProfiles::certificateSaved, [&] { certified = true; });
    ASSERT_TRUE(form.Profiles->SaveCertificate(dir.filePath("module.pdf")));
    ASSERT_TRUE(WaitFor([&] { return certified; }, 10000));
    QFile certificate(dir.filePath("module.json"));
    ASSERT_TRUE(certificate.open(QIODevice::ReadOnly));
    const QByteArray json = certificate.readAll();
    EXPECT_TRUE(json.contains("\"identity\": \"manufacturer 0x005A, device type 0x0B, id 1193046, HART 5\""))
        << json.toStdString();
    EXPECT_TRUE(json.contains("4 of 4 variables agree")) << json.toStdString();
    EXPECT_TRUE(QFile(dir.filePath("module.pdf")).size() > 1000);
    // No message but the two confirmations.
    EXPECT_EQ(messages.texts().size(), 2) << messages.texts().join("|").toStdString();
    EXPECT_TRUE(messages.texts().last().startsWith("Apply module.json to the module on "));
}

// A read takes seconds: its progress shows, and Cancel stops it there.
TEST_F(ProfileWindow, ReadModuleShowsItsProgressAndCancelStopsIt) {
    OpenOnSimulator({.replyDelayMs = 150});
    ASSERT_TRUE(form.Profiles->ReadModule());
    auto* progress = form.findChild<QProgressDialog*>("ModuleProgress");
    ASSERT_TRUE(progress && progress->isVisible());
    ASSERT_TRUE(WaitFor([&] { return progress->value() >= 1; }, 5000));
    EXPECT_GT(progress->maximum(), progress->value());
    EXPECT_FALSE(progress->labelText().isEmpty());
    auto* cancel = progress->findChild<QPushButton*>();
    ASSERT_TRUE(cancel && cancel->text() == "Cancel");
    Click(cancel);
    ASSERT_TRUE(WaitFor([&] { return !form.Profiles->job()->IsRunning(); }, 3000));
    EXPECT_EQ(form.Profiles->job()->outcome(), ModuleJob::Outcome::Cancelled);
}

TEST_F(ProfileWindow, ApplySendsExactlyTheFramesOfTheButtons) {
    FillEmptyNumbers(ui);
    ui->Edit14->setText("17");
    ui->Edit6->setText("7");
    SetItemIndex(ui->ComboBox8, 2);
    ui->D3M20->setText("20.5");
    ui->xishu3->setText("2");
    SetItemIndex(ui->RADCOM5, 2);
    ui->READADR5->setText("9");
    ui->Edit4->setText("01 03");
    ui->Edit5->setText("FF");
    ui->ONECHECK02->setChecked(true);
    ui->ONECMAD01->setText("0A");
    ui->ONECMAD02->setText("0B 0C 0D");
    QTemporaryDir dir;
    ASSERT_TRUE(form.Profiles->SaveProfileTo(dir.filePath("p.json")));
    const ApplyPlan plan = PlanApply(ReadFile(dir.filePath("p.json")));

    using H = void (TForm1::*)();
    const std::map<std::string, H> buttons = {
        {"Operation mode", &TForm1::Button24Click},
        {"MODBUS slave address", &TForm1::Button29Click},
        {"MODBUS polling interval", &TForm1::Button27Click},
        {"RS485 response time", &TForm1::Button33Click},
        {"Variable 1 map", &TForm1::Button12Click},
        {"Float byte orders", &TForm1::Button21Click},
        {"Variable 2 output range", &TForm1::Button2Click},
        {"Variable 3 output range", &TForm1::Button3Click},
        {"Variable 4 output range", &TForm1::Button5Click},
        {"Variable 1 coefficient", &TForm1::Button10Click},
        {"Coefficients 2 to 4", &TForm1::Button34Click},
        {"HART monitoring parameters", &TForm1::Button9Click},
        {"Custom parsing format", &TForm1::Button19Click},
        {"Read meter command 1", &TForm1::Button17Click},
        {"Read meter command 2", &TForm1::Button18Click},
        {"Monitoring command 1", &TForm1::Button11Click},
        {"Monitoring command 2", &TForm1::Button28Click},
        {"RS485 line settings", &TForm1::Button32Click},
    };
    ASSERT_EQ(plan.steps.size(), buttons.size());
    for (const SequenceStep& step : plan.steps) {
        (form.*buttons.at(step.label))();
        // Edit8 shows what the button sent: as text, or in hexadecimal.
        const QString sent = ui->Edit8->text();
        EXPECT_TRUE(sent == QString::fromLatin1(step.frame) ||
                    sent == QString::fromLatin1(HexTextTrailingBlank(step.frame)))
            << step.label << ": " << sent.toStdString() << " vs " << step.frame;
    }
}

TEST_F(ProfileWindow, OpenFillsTheControlsOrRefusesTheWholeFile) {
    QTemporaryDir dir;
    EXPECT_FALSE(form.Profiles->SaveProfileTo(dir.filePath("empty.json")));
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    EXPECT_TRUE(messages.texts()[0].contains("system.pollInterval (Edit6)"))
        << messages.texts()[0].toStdString();
    messages.clear();
    FillEmptyNumbers(ui);
    ui->Edit14->setText("33");
    SetItemIndex(ui->ComboBox9, 1);
    ASSERT_TRUE(form.Profiles->SaveProfileTo(dir.filePath("good.json")));
    ui->Edit14->setText("1");
    SetItemIndex(ui->ComboBox9, 0);

    QFile good(dir.filePath("good.json"));
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    QByteArray bad = good.readAll();
    bad.replace("\"rs485.responseTime\": \"3 300ms\"", "\"rs485.responseTime\": \"7 700ms\"");
    QFile badFile(dir.filePath("bad.json"));
    ASSERT_TRUE(badFile.open(QIODevice::WriteOnly));
    badFile.write(bad);
    badFile.close();

    EXPECT_FALSE(form.Profiles->OpenProfileFrom(badFile.fileName()));
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    EXPECT_TRUE(messages.texts()[0].contains("bad.json: field settings.rs485.responseTime"))
        << messages.texts()[0].toStdString();
    EXPECT_EQ(ui->Edit14->text(), "1") << "nothing filled from a refused file";

    EXPECT_TRUE(form.Profiles->OpenProfileFrom(good.fileName()));
    EXPECT_EQ(ui->Edit14->text(), "33");
    EXPECT_EQ(ui->ComboBox9->currentText(), "Odd");

    // A value no module takes is refused before the port is even looked at.
    messages.clear();
    QByteArray zero = bad;
    zero.replace("\"rs485.responseTime\": \"7 700ms\"", "\"rs485.responseTime\": \"3 300ms\"");
    zero.replace("\"system.slaveAddress\": \"33\"", "\"system.slaveAddress\": \"000\"");
    QFile zeroFile(dir.filePath("zero.json"));
    ASSERT_TRUE(zeroFile.open(QIODevice::WriteOnly));
    zeroFile.write(zero);
    zeroFile.close();
    EXPECT_FALSE(form.Profiles->ApplyProfileFrom(zeroFile.fileName()));
    ASSERT_TRUE(messages.WaitForCount(1, 5000));
    EXPECT_TRUE(messages.texts()[0].contains("zero.json: field settings.system.slaveAddress: must "
                                             "be a MODBUS slave address from 1 to 247"))
        << messages.texts()[0].toStdString();
}
