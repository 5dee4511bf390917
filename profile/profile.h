// A module profile: the settings of one module, as a JSON file that can be
// applied to others. Reading refuses the whole file at its first bad field,
// so nothing is ever filled or sent from half a profile.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "exchange/configreplies.h"

inline constexpr int kProfileFormatVersion = 1;

struct Profile {
    // One field per setting present, in the order of ProfileSettings(), as the
    // window writes it: ItemIndex for lists, Checked for check boxes, Text else.
    std::vector<ConfigField> settings;
    std::string toolVersion;
    std::string moduleVersion;  // the module's version text, when it was read
    std::string date;           // ISO 8601, UTC

    const ConfigField* Find(ConfigSetting setting) const;
};

struct ProfileError {
    std::string field;    // the JSON field: "settings.rs485.baudRate", or "(file)"
    std::string problem;  // what is wrong with it
};

// "FILE: field FIELD: PROBLEM", the line the engineer sees.
std::string ProfileErrorText(const QString& file, const ProfileError& error);

std::variant<Profile, ProfileError> ReadProfile(const QByteArray& json);
QByteArray WriteProfile(const Profile& profile);

// Whether `field` is a value its setting can take and its frame can carry
// to the module; the problem, naming the rule, when not.
std::optional<std::string> CheckSetting(const ConfigField& field);

// Whether `profile` can be applied as it stands, checked before anything is
// sent: it holds a setting, each one once and as CheckSetting takes it, and
// no command misses one of its settings. The first problem found, under the
// setting's JSON field ("settings.system.slaveAddress").
std::optional<ProfileError> ValidateProfile(const Profile& profile);

// A setting's value as the window shows it: the item text of a list, "true"
// or "false" for a check box, the text of an edit.
std::string SettingText(const ConfigField& field);
