// The settings a module profile carries: every value the configuration set
// commands send, under a stable name, with the form the window shows it in.
// The settings are the ones the configuration replies report (ConfigSetting),
// so what a profile wants and what a module reports line up field by field.
#pragma once

#include <span>
#include <string_view>

#include "exchange/configreplies.h"

enum class SettingFormat {
    Item,       // one item of a list, by its text
    Flag,       // a check box: true or false
    Number,     // a decimal integer from `min` to `max`, kept as typed ("001")
    RangeText,  // a current-output limit: a decimal number of up to five characters
    FiveChars,  // a coefficient: the same, sent filled with blanks to five characters
    HexList,    // command bytes as the command edits take them ("01 0F"); may be empty
};

struct ProfileSetting {
    std::string_view name;
    ConfigSetting setting;
    SettingFormat format;
    std::span<const std::string_view> items = {};  // Item: the list's items, in order
    int min = 0;                                   // Number: the smallest value
    int max = 0;                                   // Number: the largest value
    std::string_view meaning = {};                 // Number: what it is, named in refusals
    bool customMeterOnly = false;                  // the module reports it only for a custom meter
};

// Every setting, in the order a profile lists them.
std::span<const ProfileSetting> ProfileSettings();

// The setting named `name`, or the one of `setting`; nullptr when there is none.
const ProfileSetting* FindProfileSetting(std::string_view name);
const ProfileSetting* FindProfileSetting(ConfigSetting setting);
