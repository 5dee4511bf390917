// The one table from a configuration setting to the window's control: every
// setting has exactly one control of the form, and what a field writes into
// its control reads back as the same field.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QMainWindow>
#include <set>
#include <string>

#include "profile/profilesettings.h"
#include "ui/configcontrols.h"
#include "ui_tform1.h"

namespace {

constexpr int kSettings = static_cast<int>(ConfigSetting::HartMeterId) + 1;

ConfigSetting Setting(int i) { return static_cast<ConfigSetting>(i); }

TEST(ConfigControls, EverySettingHasAControlOfItsOwn) {
    QMainWindow window;
    Ui::TForm1 form;
    form.setupUi(&window);
    std::set<std::string> names;
    for (int i = 0; i < kSettings; ++i) {
        const std::string name = ConfigControlName(Setting(i));
        EXPECT_NE(window.findChild<QWidget*>(QString::fromStdString(name)), nullptr)
            << ConfigSettingName(Setting(i)) << " -> " << name;
        EXPECT_TRUE(names.insert(name).second) << name << " holds two settings";
    }
}

TEST(ConfigControls, EachListHoldsItsSettingsItems) {
    QMainWindow window;
    Ui::TForm1 form;
    form.setupUi(&window);
    for (const ProfileSetting& s : ProfileSettings()) {
        if (s.format != SettingFormat::Item) continue;
        const auto* list = window.findChild<QComboBox*>(ConfigControlName(s.setting));
        ASSERT_NE(list, nullptr) << s.name;
        // The meter id list starts with one item; the module takes any digit.
        const int count = s.setting == ConfigSetting::HartMeterId
                              ? list->count()
                              : static_cast<int>(s.items.size());
        ASSERT_EQ(list->count(), count) << s.name;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(list->itemText(i).toStdString(), s.items[static_cast<size_t>(i)])
                << s.name << " item " << i;
        }
    }
}

TEST(ConfigControls, WhatAProfileSettingWritesReadsBack) {
    QMainWindow window;
    Ui::TForm1 form;
    form.setupUi(&window);
    for (const ProfileSetting& s : ProfileSettings()) {
        ConfigField field{s.setting, ConfigFieldKind::Text, 0, "12"};
        if (s.format == SettingFormat::Item) field = {s.setting, ConfigFieldKind::ItemIndex, 0, {}};
        if (s.format == SettingFormat::Flag) field = {s.setting, ConfigFieldKind::Checked, 1, {}};
        if (s.format == SettingFormat::HexList) field.text = "01 0F";
        WriteConfigField(form, field);
        const auto read = ReadConfigField(form, s.setting);
        ASSERT_TRUE(read.has_value()) << s.name;
        EXPECT_EQ(*read, field) << s.name << " in " << ConfigControlName(s.setting);
    }
}

TEST(ConfigControls, TheParsingGroupHoldsNoValue) {
    QMainWindow window;
    Ui::TForm1 form;
    form.setupUi(&window);
    EXPECT_EQ(ReadConfigField(form, ConfigSetting::ParsingShown), std::nullopt);
    EXPECT_STREQ(ConfigControlName(ConfigSetting::ParsingShown), "GroupBox13");
    EXPECT_STREQ(ConfigControlName(ConfigSetting::Rs485BaudRate), "ComboBox8");
}

}  // namespace
