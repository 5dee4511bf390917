// The window's control of each configuration setting: what the configuration
// replies and the module profiles write into, and read back from. Below the
// window a setting is known by its meaning only; this is the one place that
// knows which control holds it.
#pragma once

#include <QString>
#include <optional>
#include <string>

#include "exchange/configreplies.h"

class QWidget;

namespace Ui {
class TForm1;
}

// Writes `field` into its control, as a configuration reply does.
void WriteConfigField(Ui::TForm1& form, const ConfigField& field);

// The control's state as its button reads it (selected item, text, tick);
// nullopt for a control that holds no value (a group box). Text outside
// Latin-1 throws ERefusedInput, as it does for the buttons.
std::optional<ConfigField> ReadConfigField(const Ui::TForm1& form, ConfigSetting setting);

// The designer name of the control holding `setting` ("ComboBox8"), for
// messages that name the control; "?" for a setting no control holds.
const char* ConfigControlName(ConfigSetting setting);

// A profile setting ("rs485.baudRate") by the caption its control has in
// `window` ("RS485 Serial Port Parameters: Baud Rate"); the key itself when
// no control holds it.
QString SettingCaption(const QWidget& window, const std::string& key);
