#include "profile/unfinishedapply.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

QJsonObject LineJson(const UnfinishedLine& line) {
    return {{"baud", static_cast<qint64>(line.baud)}, {"parity", line.parity}};
}

std::optional<UnfinishedLine> ReadLine(const QJsonValue& value) {
    const QJsonObject o = value.toObject();
    const qint64 baud = o.value("baud").toInteger(-1);
    const int parity = o.value("parity").toInt(-1);
    if (baud <= 0 || baud > 4000000 || parity < 0 || parity > 2) return std::nullopt;
    return UnfinishedLine{static_cast<uint32_t>(baud), parity};
}

}  // namespace

void UnfinishedApply::Sent(const std::string& label, bool rs485) {
    rs485Sent |= rs485;
    if (std::find(sent.begin(), sent.end(), label) == sent.end()) sent.push_back(label);
}

QByteArray UnfinishedApplyJson(const UnfinishedApply& apply) {
    QJsonArray sent;
    for (const std::string& s : apply.sent) sent.append(QString::fromStdString(s));
    QJsonObject o{{"port", QString::fromStdString(apply.port)},
                  {"started", QString::fromStdString(apply.started)},
                  {"profile", QString::fromStdString(apply.profileFile)},
                  {"backup", QString::fromStdString(apply.backup)},
                  {"lineBefore", LineJson(apply.lineBefore)},
                  {"sent", sent},
                  {"rs485Sent", apply.rs485Sent}};
    if (apply.lineAfter) o.insert("lineAfter", LineJson(*apply.lineAfter));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::optional<UnfinishedApply> ReadUnfinishedApply(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    UnfinishedApply apply;
    apply.port = o.value("port").toString().toStdString();
    apply.started = o.value("started").toString().toStdString();
    apply.profileFile = o.value("profile").toString().toStdString();
    apply.backup = o.value("backup").toString().toStdString();
    const auto before = ReadLine(o.value("lineBefore"));
    if (apply.port.empty() || !before || !o.value("sent").isArray()) return std::nullopt;
    apply.lineBefore = *before;
    if (o.contains("lineAfter")) {
        apply.lineAfter = ReadLine(o.value("lineAfter"));
        if (!apply.lineAfter) return std::nullopt;
    }
    for (const QJsonValue& s : o.value("sent").toArray()) apply.sent.push_back(s.toString().toStdString());
    apply.rs485Sent = o.value("rs485Sent").toBool();
    return apply;
}

std::string UnfinishedApplyFileName(const std::string& port) {
    std::string name;
    for (const unsigned char c : port) {
        if (std::isalnum(c) || c == '.' || c == '-') {
            name += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "_%02X", c);
            name += escaped;
        }
    }
    return name + ".json";
}

bool WriteFileWhole(const QString& path, const QByteArray& data, QString* error) {
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit()) return true;
    *error = path + ": " + f.errorString();
    return false;
}

QString DefaultBackupPath(const QString& folder, const std::string& port) {
    return folder + "/tavrix-backup-" + QFileInfo(QString::fromStdString(port)).fileName() + "-" +
           QDateTime::currentDateTime().toString("yyyyMMdd'T'HHmmss") + ".json";
}
