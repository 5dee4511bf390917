#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <limits>

#include "profile/certificate.h"

namespace {

Certificate Sample() {
    Certificate c;
    c.date = "2026-12-09T10:15:00+01:00";
    c.port = "/dev/ttyUSB0";
    c.toolVersion = "2.0.0";
    c.moduleVersion = "HM-2 V3.1";
    c.profileFile = "/home/op/pump7.tavrix";
    c.verified = false;
    c.rows = {{"rs485.parity", "Even", "Even", false}, {"rs485.baudRate", "9600", "19200", true}};
    c.hartIdentity = "manufacturer 90, device type 11, id 1193046";
    c.loopCurrentMa = 12.004;
    c.crossCheck = {{1, 40003, "12.5 m3/h", "12.5", true}, {2, 40005, "3.1 bar", "0", false}};
    c.crossCheckNote = "1 of 2 variables disagree";
    c.loopCheck = {"4 mA: 4.002 mA", "20 mA: 19.998 mA"};
    return c;
}

QJsonObject Parsed(const Certificate& c) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(CertificateJson(c), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.object();
}

TEST(CertificateJson, HoldsEveryField) {
    const QJsonObject top = Parsed(Sample());
    EXPECT_EQ(top["format"].toString(), "Tavrix commissioning certificate");
    EXPECT_EQ(top["formatVersion"].toInt(), 1);
    EXPECT_EQ(top["date"].toString(), "2026-12-09T10:15:00+01:00");
    EXPECT_EQ(top["port"].toString(), "/dev/ttyUSB0");
    EXPECT_EQ(top["toolVersion"].toString(), "2.0.0");
    EXPECT_EQ(top["moduleVersion"].toString(), "HM-2 V3.1");
    EXPECT_EQ(top["profileFile"].toString(), "/home/op/pump7.tavrix");
    EXPECT_TRUE(top["verified"].isBool());
    EXPECT_FALSE(top["verified"].toBool());

    const QJsonObject hart = top["hart"].toObject();
    EXPECT_EQ(hart["identity"].toString(), "manufacturer 90, device type 11, id 1193046");
    EXPECT_DOUBLE_EQ(hart["loopCurrentMa"].toDouble(), 12.004);

    const QJsonObject cross = top["crossCheck"].toObject();
    EXPECT_EQ(cross["note"].toString(), "1 of 2 variables disagree");
    const QJsonArray rows = cross["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    const QJsonObject second = rows[1].toObject();
    EXPECT_EQ(second["variable"].toInt(), 2);
    EXPECT_EQ(second["address"].toInt(), 40005);
    EXPECT_EQ(second["hart"].toString(), "3.1 bar");
    EXPECT_EQ(second["modbus"].toString(), "0");
    EXPECT_FALSE(second["agree"].toBool());
    EXPECT_TRUE(rows[0].toObject()["agree"].toBool());

    const QJsonArray loop = top["loopCheck"].toArray();
    ASSERT_EQ(loop.size(), 2);
    EXPECT_EQ(loop[1].toString(), "20 mA: 19.998 mA");
}

TEST(CertificateJson, KeepsSettingsInOrderWithTheMismatchMarked) {
    const QJsonArray settings = Parsed(Sample())["settings"].toArray();
    ASSERT_EQ(settings.size(), 2);
    const QJsonObject ok = settings[0].toObject();
    const QJsonObject bad = settings[1].toObject();
    EXPECT_EQ(ok["setting"].toString(), "rs485.parity");
    EXPECT_FALSE(ok["mismatch"].toBool());
    EXPECT_EQ(bad["setting"].toString(), "rs485.baudRate");
    EXPECT_EQ(bad["wanted"].toString(), "9600");
    EXPECT_EQ(bad["readBack"].toString(), "19200");
    EXPECT_TRUE(bad["mismatch"].toBool());
}

TEST(CertificateJson, HartIsNullWhenTheInstrumentNeverAnswered) {
    Certificate c = Sample();
    c.hartIdentity.reset();
    c.loopCurrentMa.reset();
    c.crossCheck.clear();
    c.crossCheckNote = "no HART instrument answered";
    c.loopCheck.clear();
    const QJsonObject top = Parsed(c);
    ASSERT_TRUE(top.contains("hart"));
    EXPECT_TRUE(top["hart"].isNull());
    EXPECT_TRUE(top["crossCheck"].toObject()["rows"].toArray().isEmpty());
    EXPECT_EQ(top["crossCheck"].toObject()["note"].toString(), "no HART instrument answered");
    EXPECT_TRUE(top["loopCheck"].isArray());
}

TEST(CertificateJson, APartialHartAnswerKeepsWhatWasRead) {
    Certificate c = Sample();
    c.hartIdentity.reset();  // command 0 failed, command 3 answered
    const QJsonObject hart = Parsed(c)["hart"].toObject();
    EXPECT_TRUE(hart["identity"].isNull());
    EXPECT_DOUBLE_EQ(hart["loopCurrentMa"].toDouble(), 12.004);
}

TEST(CertificateJson, ALoopCurrentThatIsNoNumberStaysValidJson) {
    Certificate c = Sample();
    c.loopCurrentMa = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(Parsed(c)["hart"].toObject()["loopCurrentMa"].isNull());
}

TEST(CertificateJson, CarriesTextBeyondAscii) {
    Certificate c = Sample();
    c.profileFile = "/home/op/Pumpe Süd 7.tavrix";
    EXPECT_EQ(Parsed(c)["profileFile"].toString(),
              QString::fromUtf8("/home/op/Pumpe Süd 7.tavrix"));
}

struct BaseNameCase {
    const char* port;
    const char* date;
    const char* expected;
};

class CertificateBaseNameTest : public ::testing::TestWithParam<BaseNameCase> {};

TEST_P(CertificateBaseNameTest, NamesTheFile) {
    Certificate c;
    c.port = GetParam().port;
    c.date = GetParam().date;
    EXPECT_EQ(CertificateBaseName(c), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CertificateBaseNameTest,
    ::testing::Values(
        BaseNameCase{"/dev/ttyUSB0", "2026-12-09T10:15:00+01:00", "tavrix-ttyUSB0-20261209T101500"},
        // The time as written on site, not moved to UTC.
        BaseNameCase{"/dev/ttyUSB0", "2026-12-09T23:59:59-05:00", "tavrix-ttyUSB0-20261209T235959"},
        BaseNameCase{"/dev/ttyS1", "2026-12-09T10:15:00Z", "tavrix-ttyS1-20261209T101500"},
        BaseNameCase{"/dev/ttyS1", "2026-12-09T10:15:00.250+01:00", "tavrix-ttyS1-20261209T101500"},
        BaseNameCase{"/dev/serial/by-id/usb-FTDI FT232R (1):if00", "2026-12-09T10:15:00+01:00",
                     "tavrix-usb-FTDI_FT232R__1__if00-20261209T101500"},
        BaseNameCase{"COM3", "2026-12-09T10:15:00+01:00", "tavrix-COM3-20261209T101500"},
        BaseNameCase{"/dev/tty\xc3\x9cSB0", "2026-12-09T10:15:00+01:00",
                     "tavrix-tty__SB0-20261209T101500"},
        BaseNameCase{"", "2026-12-09T10:15:00+01:00", "tavrix-module-20261209T101500"},
        BaseNameCase{"/dev/", "2026-12-09T10:15:00+01:00", "tavrix-module-20261209T101500"},
        // A date the tool did not write still tells certificates apart.
        BaseNameCase{"/dev/ttyUSB0", "9 Dec 2026 10:15", "tavrix-ttyUSB0-9_Dec_2026_10_15"},
        BaseNameCase{"/dev/ttyUSB0", "", "tavrix-ttyUSB0"}));

}  // namespace
