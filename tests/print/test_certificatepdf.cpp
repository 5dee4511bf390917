#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdlib>

#include "print/certificatepdf.h"
#include "profile/profilesettings.h"

namespace {

// What the module would have read back for a setting of each kind.
std::string Plausible(const ProfileSetting& s) {
    switch (s.format) {
        case SettingFormat::Item:
            return std::string(s.items[s.items.size() / 2]);
        case SettingFormat::Flag:
            return "checked";
        case SettingFormat::Number:
            return "012";
        case SettingFormat::RangeText:
            return s.name.find("20mA") != std::string_view::npos ? "100.00" : "0.000";
        case SettingFormat::FiveChars:
            return "1.000";
        case SettingFormat::HexList:
            return "01 03 00 00 00 02 C4 0B";
    }
    return "?";
}

// Every setting of a real profile, two of them read back otherwise.
Certificate Realistic() {
    Certificate c;
    c.date = "2026-12-09T10:15:00+01:00";
    c.port = "/dev/ttyUSB0";
    c.toolVersion = "2.0.0";
    c.moduleVersion = "HART-MODBUS converter V2.06 2025-03-18";
    c.profileFile = "/home/commissioning/plant-north/FT-1107 flow meter.tavrix";
    for (const ProfileSetting& s : ProfileSettings()) {
        const std::string value = Plausible(s);
        c.rows.push_back({std::string(s.name), value, value, false});
    }
    for (VerifyRow& row : c.rows) {
        if (row.setting == "rs485.baudRate") row.readBack = "19200", row.mismatch = true;
        if (row.setting == "coefficient.var2") row.readBack = "(not reported)", row.mismatch = true;
    }
    c.verified = false;
    c.hartIdentity = "manufacturer 90, device type 11, id 1193046";
    c.loopCurrentMa = 12.004;
    c.crossCheck = {{1, 40003, "12.502 m3/h", "12.502", true},
                    {2, 40005, "3.117 bar", "3.117", true},
                    {3, 40007, "21.40 degC", "21.40", true},
                    {4, 40009, "1540.2 m3", "0.000", false}};
    c.crossCheckNote = "3 of 4 variables agree; variable 4 differs (is the MODBUS map right?)";
    c.loopCheck = {
        "Loop check at 2026-12-09 10:21:40: 3 of 3 points within 0.05 mA",
        "4 mA: HART 4.001 mA (0.0 %), MODBUS 40003 4.003 mA, deviation +0.003 mA: pass",
        "12 mA: HART 12.000 mA (50.0 %), MODBUS 40003 12.004 mA, deviation +0.004 mA: pass",
        "20 mA: HART 19.999 mA (100.0 %), MODBUS 40003 19.996 mA, deviation -0.004 mA: pass",
        "Fixed current mode left: the loop current follows the process again."};
    return c;
}

QByteArray Written(const Certificate& c, const QString& path) {
    QString error;
    EXPECT_TRUE(WriteCertificatePdf(c, path, &error)) << error.toStdString();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

// Page objects in the file itself, for when pdfinfo is not there.
int PageObjects(const QByteArray& pdf) {
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0;
         at = pdf.indexOf("/Type /Page", at + 1))
        if (pdf.mid(at, 12) != "/Type /Pages") ++pages;
    return pages;
}

bool Have(const char* tool) { return !QStandardPaths::findExecutable(tool).isEmpty(); }

QString Tool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << program.toStdString();
    EXPECT_EQ(process.exitCode(), 0)
        << program.toStdString() << ": " << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(CertificatePdf, IsOneA4PageThatReadsBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("certificate.pdf");
    const Certificate c = Realistic();
    ASSERT_EQ(c.rows.size(), 49u);
    const QByteArray pdf = Written(c, path);
    ASSERT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(PageObjects(pdf), 1);

    if (!Have("pdfinfo") || !Have("pdftotext") || !Have("pdftoppm"))
        GTEST_SKIP() << "poppler-utils not installed: pages not counted by pdfinfo, not rendered";

    const QString info = Tool("pdfinfo", {path});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+1\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains("(A4)")) << info.toStdString();

    // Every setting is there in full, none cut short, and the verdict says how many differ.
    const QString text = Tool("pdftotext", {path, "-"});
    EXPECT_TRUE(text.contains("NOT verified: 2 settings differ"));
    for (const VerifyRow& row : c.rows)
        EXPECT_TRUE(text.contains(QString::fromStdString(row.setting))) << row.setting;
    EXPECT_FALSE(text.contains(QChar(0x2026))) << "a value was cut short";
    for (const char* expected :
         {"manufacturer 90, device type 11, id 1193046", "12.004 mA", "40009", "1540.2 m3",
          "variable 4 differs", "MODBUS 40003 19.996 mA", "Signature", "ttyUSB0"})
        EXPECT_TRUE(text.contains(expected)) << expected;

    const QString png = dir.filePath("certificate.png");
    Tool("pdftoppm", {"-r", "100", "-png", "-singlefile", path, dir.filePath("certificate")});
    const QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_NEAR(image.width(), 827, 2);
    EXPECT_NEAR(image.height(), 1169, 2);
    if (const char* docs = std::getenv("TAVRIX_SCREENSHOTS")) {
        const QString target = QDir(docs).filePath("certificate.png");
        QFile::remove(target);
        EXPECT_TRUE(QFile::copy(png, target)) << target.toStdString();
    }
}

// However much there is to show, the record stays one page and says what it left out.
struct Overflow {
    int settings;
    int loopLines;
    const char* leftOut;  // the line that counts what is not on the page, or ""
};

class CertificatePdfOverflow : public ::testing::TestWithParam<Overflow> {};

TEST_P(CertificatePdfOverflow, StaysOnePage) {
    Certificate c = Realistic();
    c.rows.clear();
    for (int i = 0; i < GetParam().settings; ++i)
        c.rows.push_back({"setting" + std::to_string(i), "1", i % 7 ? "1" : "2", i % 7 == 0});
    c.loopCheck.assign(GetParam().loopLines, "Loop test at 12.000 mA: the module read 12.004 mA");

    QTemporaryDir dir;
    const QString path = dir.filePath("certificate.pdf");
    const QByteArray pdf = Written(c, path);
    EXPECT_EQ(PageObjects(pdf), 1);
    if (!Have("pdftotext")) GTEST_SKIP() << "poppler-utils not installed";
    const QString text = Tool("pdftotext", {"-nopgbrk", path, "-"});
    // The foot is drawn last; finding it proves the page was laid out to the end.
    EXPECT_TRUE(text.contains("Signature"));
    if (*GetParam().leftOut) {
        EXPECT_TRUE(text.contains(GetParam().leftOut)) << text.toStdString();
    } else {
        EXPECT_FALSE(text.contains("in the JSON certificate")) << text.toStdString();
        if (GetParam().settings > 0) {
            EXPECT_TRUE(text.contains(QString("setting%1").arg(GetParam().settings - 1)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CertificatePdfOverflow,
    ::testing::Values(Overflow{0, 0, ""}, Overflow{10, 0, ""}, Overflow{49, 10, ""},
                      Overflow{80, 0, ""},
                      Overflow{400, 0, "more settings, in the JSON certificate"},
                      Overflow{49, 40, "and 31 more lines, in the JSON certificate"}));

TEST(CertificatePdf, SaysWhyItCouldNotWrite) {
    QString error;
    EXPECT_FALSE(WriteCertificatePdf(Realistic(), "/nonexistent-folder/c.pdf", &error));
    EXPECT_TRUE(error.contains("/nonexistent-folder/c.pdf")) << error.toStdString();
}

struct VerdictCase {
    int rows;
    int mismatches;
    bool verified;
    const char* verdict;
};

class CertificateVerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(CertificateVerdictTest, Says) {
    Certificate c;
    c.verified = GetParam().verified;
    for (int i = 0; i < GetParam().rows; ++i)
        c.rows.push_back({"s", "1", "1", i < GetParam().mismatches});
    EXPECT_EQ(CertificateVerdict(c), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CertificateVerdictTest,
    ::testing::Values(VerdictCase{49, 0, true, "Verified: every setting read back as wanted"},
                      VerdictCase{49, 2, false, "NOT verified: 2 settings differ"},
                      VerdictCase{49, 1, false, "NOT verified: 1 setting differs"},
                      // The rows outrank a flag that disagrees with them.
                      VerdictCase{49, 3, true, "NOT verified: 3 settings differ"},
                      VerdictCase{0, 0, true, "NOT verified: no setting was read back"},
                      VerdictCase{49, 0, false, "NOT verified: the read-back did not complete"}));

}  // namespace
