#include "profile/certificate.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <cmath>

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Only what is safe in a file name on every system the file may be copied to.
std::string Sanitised(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!keep) c = '_';
    }
    return out;
}

QJsonValue Number(double value) {
    // JSON has no NaN or infinity; a meter that sent one is no reading.
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

}  // namespace

QByteArray CertificateJson(const Certificate& c) {
    QJsonArray settings;
    for (const VerifyRow& row : c.rows) {
        settings.append(QJsonObject{{"setting", Text(row.setting)},
                                    {"wanted", Text(row.wanted)},
                                    {"readBack", Text(row.readBack)},
                                    {"mismatch", row.mismatch}});
    }

    QJsonValue hart(QJsonValue::Null);
    if (c.hartIdentity || c.loopCurrentMa) {
        const auto text = [](const std::optional<std::string>& t) {
            return t ? QJsonValue(Text(*t)) : QJsonValue();
        };
        hart = QJsonObject{
            {"identity", text(c.hartIdentity)},
            {"tag", text(c.hartTag)},
            {"descriptor", text(c.hartDescriptor)},
            {"range", text(c.hartRange)},
            {"loopCurrentMa", c.loopCurrentMa ? Number(*c.loopCurrentMa) : QJsonValue()}};
    }

    QJsonArray checks;
    for (const CertificateCheck& check : c.crossCheck) {
        checks.append(QJsonObject{{"variable", check.variable},
                                  {"address", check.address},
                                  {"hart", Text(check.hartValue)},
                                  {"modbus", Text(check.modbusValue)},
                                  {"agree", check.agree}});
    }

    QJsonArray loopCheck;
    for (const std::string& line : c.loopCheck) loopCheck.append(Text(line));

    const QJsonObject top{
        {"format", "Tavrix commissioning certificate"},
        {"formatVersion", 1},
        {"date", Text(c.date)},
        {"port", Text(c.port)},
        {"toolVersion", Text(c.toolVersion)},
        {"moduleVersion", Text(c.moduleVersion)},
        {"profileFile", Text(c.profileFile)},
        {"verified", c.verified},
        {"settings", settings},
        {"hart", hart},
        {"crossCheck", QJsonObject{{"note", Text(c.crossCheckNote)}, {"rows", checks}}},
        {"loopCheck", loopCheck},
    };
    QJsonObject whole = top;
    if (!c.failure.empty()) whole.insert("failure", Text(c.failure));
    return QJsonDocument(whole).toJson(QJsonDocument::Indented);
}

std::string CertificateBaseName(const Certificate& c) {
    std::string device = c.port.substr(c.port.find_last_of('/') + 1);
    if (device.empty()) device = "module";

    // The wall-clock time as written, offset left out: the name a technician
    // on site expects, and the same whichever zone reads the file later.
    std::string stamp;
    const QDateTime when = QDateTime::fromString(Text(c.date), Qt::ISODateWithMs);
    if (when.isValid()) {
        stamp = when.toString("yyyyMMdd'T'HHmmss").toStdString();
    } else {
        stamp = c.date;  // still tells two certificates apart
    }

    std::string name = "tavrix-" + Sanitised(device);
    if (!stamp.empty()) name += "-" + Sanitised(stamp);
    return name;
}
