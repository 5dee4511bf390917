#include "profile/profile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "profile/profilecommands.h"
#include "profile/profilesettings.h"
#include "protocol/fieldencodings.h"
#include "protocol/rangekeyfilter.h"
#include "protocol/strtoint.h"

namespace {

constexpr const char* kFormatName = "Tavrix module profile";
const QSet<QString> kTopFields = {"format",        "formatVersion", "toolVersion",
                                  "moduleVersion", "date",          "settings"};

std::string Latin1(const QString& text) { return text.toLatin1().toStdString(); }

std::optional<std::string> CheckText(const ProfileSetting& s, const std::string& text) {
    switch (s.format) {
        case SettingFormat::Number: {
            try {
                const int v = StrToInt(text);
                if (v < 0 || v > s.max)
                    return "'" + text + "' is outside 0.." + std::to_string(s.max);
            } catch (const EConvertError& error) {
                return error.what();
            }
            return std::nullopt;
        }
        case SettingFormat::RangeText:
            if (text.size() > 5) return "'" + text + "' is longer than five characters";
            for (char c : text) {
                if (c == kBackspace || !RangeKeyAccepted(c, "")) {
                    return "'" + text + "' holds a character other than digits, '.' and '-'";
                }
            }
            return std::nullopt;
        case SettingFormat::FiveChars:
            if (text.size() > 5) return "'" + text + "' is longer than five characters";
            return std::nullopt;
        case SettingFormat::HexList: {
            if (text.empty()) return std::nullopt;
            try {
                const HexList list = ReadHexList(text);
                if (list.error != HexListError::None) return HexListMessage(list.error);
                // Pairs past the limit would be dropped without a word.
                if (list.bytes.size() * 3 - 1 != text.size())
                    return "more than " + std::to_string(kMaxHexListBytes) + " bytes";
            } catch (const EConvertError& error) {
                return error.what();
            }
            return std::nullopt;
        }
        case SettingFormat::Item:
        case SettingFormat::Flag:
            break;
    }
    return std::nullopt;
}

// The field of setting `s` for the JSON value `value`, or the problem.
std::variant<ConfigField, std::string> SettingFromJson(const ProfileSetting& s,
                                                       const QJsonValue& value) {
    switch (s.format) {
        case SettingFormat::Flag:
            if (!value.isBool()) return std::string("must be true or false");
            return ConfigField{s.control, ConfigFieldKind::Checked, value.toBool() ? 1 : 0, {}};
        case SettingFormat::Item: {
            if (!value.isString()) return std::string("must be the text of an item");
            const std::string text = Latin1(value.toString());
            for (size_t i = 0; i < s.items.size(); ++i) {
                if (s.items[i] == text)
                    return ConfigField{
                        s.control, ConfigFieldKind::ItemIndex, static_cast<int>(i), {}};
            }
            return "'" + text + "' is not an item of its list";
        }
        default: {
            if (!value.isString()) return std::string("must be a text");
            const QString text = value.toString();
            // The controls hold Latin-1 text, one byte per character.
            if (QString::fromLatin1(text.toLatin1()) != text)
                return std::string("holds characters outside Latin-1");
            ConfigField field{s.control, ConfigFieldKind::Text, 0, Latin1(text)};
            if (auto problem = CheckText(s, field.text)) return *problem;
            return field;
        }
    }
}

QJsonValue SettingToJson(const ProfileSetting& s, const ConfigField& field) {
    if (s.format == SettingFormat::Flag) return field.number != 0;
    return QString::fromLatin1(SettingText(field));
}

}  // namespace

const ConfigField* Profile::Find(ConfigControl control) const {
    for (const ConfigField& f : settings) {
        if (f.control == control) return &f;
    }
    return nullptr;
}

std::string ProfileErrorText(const QString& file, const ProfileError& error) {
    return Latin1(file) + ": field " + error.field + ": " + error.problem;
}

std::optional<std::string> CheckSetting(const ConfigField& field) {
    const ProfileSetting* s = FindProfileSetting(field.control);
    if (!s) return std::string("not a profile setting");
    if (s->format == SettingFormat::Item) {
        if (field.number < 0 || static_cast<size_t>(field.number) >= s->items.size())
            return std::string("no item of its list is selected");
        return std::nullopt;
    }
    if (s->format == SettingFormat::Flag) return std::nullopt;
    return CheckText(*s, field.text);
}

std::string SettingText(const ConfigField& field) {
    const ProfileSetting* s = FindProfileSetting(field.control);
    switch (field.kind) {
        case ConfigFieldKind::ItemIndex:
            if (s && field.number >= 0 && static_cast<size_t>(field.number) < s->items.size())
                return std::string(s->items[static_cast<size_t>(field.number)]);
            return "(item " + std::to_string(field.number) + ")";
        case ConfigFieldKind::Checked:
            return field.number ? "true" : "false";
        default:
            return field.text;
    }
}

std::variant<Profile, ProfileError> ReadProfile(const QByteArray& json) {
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError) {
        return ProfileError{"(file)", "not JSON: " + Latin1(parse.errorString()) + " at offset " +
                                          std::to_string(parse.offset)};
    }
    if (!doc.isObject()) return ProfileError{"(file)", "not a profile: not a JSON object"};
    const QJsonObject top = doc.object();
    if (top.value("format").toString() != kFormatName)
        return ProfileError{"format",
                            std::string("not a profile: must be \"") + kFormatName + "\""};
    const QJsonValue version = top.value("formatVersion");
    if (!version.isDouble() || version.toDouble() != version.toInt() || version.toInt() < 1)
        return ProfileError{"formatVersion", "must be a whole number from 1"};
    if (version.toInt() > kProfileFormatVersion) {
        return ProfileError{"formatVersion", "version " + std::to_string(version.toInt()) +
                                                 " is newer than this tool reads (" +
                                                 std::to_string(kProfileFormatVersion) + ")"};
    }
    for (auto it = top.begin(); it != top.end(); ++it) {
        if (!kTopFields.contains(it.key())) return ProfileError{Latin1(it.key()), "unknown field"};
    }
    Profile profile;
    for (const char* name : {"toolVersion", "moduleVersion", "date"}) {
        const QJsonValue v = top.value(name);
        if (!v.isUndefined() && !v.isString()) return ProfileError{name, "must be a text"};
    }
    profile.toolVersion = Latin1(top.value("toolVersion").toString());
    profile.moduleVersion = Latin1(top.value("moduleVersion").toString());
    profile.date = Latin1(top.value("date").toString());

    if (!top.value("settings").isObject()) return ProfileError{"settings", "must be an object"};
    const QJsonObject settings = top.value("settings").toObject();
    for (auto it = settings.begin(); it != settings.end(); ++it) {
        if (!FindProfileSetting(Latin1(it.key())))
            return ProfileError{"settings." + Latin1(it.key()), "unknown field"};
    }
    for (const ProfileSetting& s : ProfileSettings()) {
        const QJsonValue value = settings.value(QString::fromLatin1(s.name.data(), s.name.size()));
        if (value.isUndefined()) continue;
        auto field = SettingFromJson(s, value);
        if (auto* problem = std::get_if<std::string>(&field))
            return ProfileError{"settings." + std::string(s.name), *problem};
        profile.settings.push_back(std::get<ConfigField>(field));
    }
    if (const auto missing = MissingSetting(profile)) {
        return ProfileError{"settings." + *missing,
                            "missing, though the settings sent with it are there"};
    }
    return profile;
}

QByteArray WriteProfile(const Profile& profile) {
    QJsonObject settings;
    for (const ConfigField& field : profile.settings) {
        if (const ProfileSetting* s = FindProfileSetting(field.control))
            settings.insert(QString::fromLatin1(s->name.data(), s->name.size()),
                            SettingToJson(*s, field));
    }
    QJsonObject top;
    top.insert("format", kFormatName);
    top.insert("formatVersion", kProfileFormatVersion);
    top.insert("toolVersion", QString::fromLatin1(profile.toolVersion));
    if (!profile.moduleVersion.empty())
        top.insert("moduleVersion", QString::fromLatin1(profile.moduleVersion));
    top.insert("date", QString::fromLatin1(profile.date));
    top.insert("settings", settings);
    return QJsonDocument(top).toJson(QJsonDocument::Indented);
}
