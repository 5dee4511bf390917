#include "profile/profile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "profile/profilecommands.h"
#include "profile/profilesettings.h"
#include "protocol/fieldencodings.h"
#include "protocol/strtoint.h"

namespace {

constexpr const char* kFormatName = "Tavrix module profile";
const QSet<QString> kTopFields = {"format",        "formatVersion", "toolVersion",
                                  "moduleVersion", "date",          "settings"};

std::string Latin1(const QString& text) { return text.toLatin1().toStdString(); }

// '#' ends the module's frames and ',', ':', ';' separate their fields (and
// the groups of its replies): a text holding one would cut or shift them.
constexpr std::string_view kFrameMarks = "#,:;";

constexpr const char* kMissingProblem = "missing, though the settings sent with it are there";

std::string Shown(const std::string& text) { return text.empty() ? "empty" : text; }

// Whether `text` is a hex list the frame can carry; an empty one clears the command.
std::optional<std::string> CheckHexList(const std::string& text) {
    if (text.empty()) return std::nullopt;
    const std::string rule =
        "must be bytes of two upper-case hexadecimal digits, one blank between (01 0F), not " +
        text;
    // Read with room for every pair, so that none is dropped unseen.
    HexList list;
    try {
        list = ReadHexList(text, static_cast<int>(text.size()));
    } catch (const EConvertError&) {
        return rule;
    }
    if (list.error != HexListError::None || list.bytes.size() * 3 - 1 != text.size()) return rule;
    if (list.bytes.size() > static_cast<size_t>(kMaxHexListBytes)) {
        return "must be at most " + std::to_string(kMaxHexListBytes) + " bytes, not " +
               std::to_string(list.bytes.size());
    }
    return std::nullopt;
}

std::optional<std::string> CheckText(const ProfileSetting& s, const std::string& text) {
    if (text.find_first_of(kFrameMarks) != std::string::npos) {
        return "must not hold '#', ',', ':' or ';', the frame's end and separators, as " + text +
               " does";
    }
    const auto notANumber = [&] {
        return "must be a number of up to five characters (digits, one '.', a leading '-'), not " +
               Shown(text);
    };
    switch (s.format) {
        case SettingFormat::Number: {
            const auto v = TryStrToInt(text);
            if (!v || *v < s.min || *v > s.max) {
                return "must be " + std::string(s.meaning) + " from " + std::to_string(s.min) +
                       " to " + std::to_string(s.max) + ", not " + Shown(text);
            }
            return std::nullopt;
        }
        case SettingFormat::RangeText:
            // Sent as it stands: a blank would travel into the module's limit.
            if (text.size() > 5 || !IsModuleDecimal(text)) return notANumber();
            return std::nullopt;
        case SettingFormat::FiveChars: {
            // Blanks fill the field on the way out, so trailing ones change nothing.
            const std::string value = text.substr(0, text.find_last_not_of(' ') + 1);
            if (text.size() > 5 || !IsModuleDecimal(value)) return notANumber();
            return std::nullopt;
        }
        case SettingFormat::HexList:
            return CheckHexList(text);
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
            return ConfigField{s.setting, ConfigFieldKind::Checked, value.toBool() ? 1 : 0, {}};
        case SettingFormat::Item: {
            if (!value.isString()) return std::string("must be the text of an item");
            const std::string text = Latin1(value.toString());
            for (size_t i = 0; i < s.items.size(); ++i) {
                if (s.items[i] == text)
                    return ConfigField{
                        s.setting, ConfigFieldKind::ItemIndex, static_cast<int>(i), {}};
            }
            return "'" + text + "' is not an item of its list";
        }
        default: {
            if (!value.isString()) return std::string("must be a text");
            const QString text = value.toString();
            // The controls hold Latin-1 text, one byte per character.
            if (QString::fromLatin1(text.toLatin1()) != text)
                return std::string("holds characters outside Latin-1");
            ConfigField field{s.setting, ConfigFieldKind::Text, 0, Latin1(text)};
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

const ConfigField* Profile::Find(ConfigSetting setting) const {
    for (const ConfigField& f : settings) {
        if (f.setting == setting) return &f;
    }
    return nullptr;
}

std::string ProfileErrorText(const QString& file, const ProfileError& error) {
    return Latin1(file) + ": field " + error.field + ": " + error.problem;
}

std::optional<std::string> CheckSetting(const ConfigField& field) {
    const ProfileSetting* s = FindProfileSetting(field.setting);
    if (!s) return std::string("not a profile setting");
    switch (s->format) {
        case SettingFormat::Item:
            if (field.kind != ConfigFieldKind::ItemIndex) return std::string("must be a list item");
            if (field.number < 0 || static_cast<size_t>(field.number) >= s->items.size())
                return std::string("no item of its list is selected");
            return std::nullopt;
        case SettingFormat::Flag:
            if (field.kind != ConfigFieldKind::Checked || (field.number != 0 && field.number != 1))
                return std::string("must be true or false");
            return std::nullopt;
        default:
            if (field.kind != ConfigFieldKind::Text) return std::string("must be a text");
            return CheckText(*s, field.text);
    }
}

std::optional<ProfileError> ValidateProfile(const Profile& profile) {
    if (profile.settings.empty())
        return ProfileError{"settings", "holds no setting: nothing to apply"};
    for (const ConfigField& field : profile.settings) {
        const ProfileSetting* s = FindProfileSetting(field.setting);
        if (!s) {
            return ProfileError{"settings", std::string("holds ") +
                                                ConfigSettingName(field.setting) +
                                                ", which is not a profile setting"};
        }
        const std::string name = "settings." + std::string(s->name);
        // Apply and verification take the first; a second would be ignored unseen.
        if (profile.Find(field.setting) != &field) return ProfileError{name, "given twice"};
        if (auto problem = CheckSetting(field)) return ProfileError{name, *problem};
    }
    if (const auto missing = MissingSetting(profile))
        return ProfileError{"settings." + *missing, kMissingProblem};
    return std::nullopt;
}

std::string SettingText(const ConfigField& field) {
    const ProfileSetting* s = FindProfileSetting(field.setting);
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
        return ProfileError{"settings." + *missing, kMissingProblem};
    }
    return profile;
}

QByteArray WriteProfile(const Profile& profile) {
    QJsonObject settings;
    for (const ConfigField& field : profile.settings) {
        if (const ProfileSetting* s = FindProfileSetting(field.setting))
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
