#include "ui/configcontrols.h"

#include "profile/profilesettings.h"
#include "ui/controls.h"
#include "ui_tform1.h"

namespace {

// Each setting's control, by kind of control: the member of the form and its
// designer name, both from the one name.
template <typename Widget>
struct ControlEntry {
    ConfigSetting setting;
    Widget* Ui::TForm1::*member;
    const char* name;
};

#define CONTROL(setting, widget) \
    { ConfigSetting::setting, &Ui::TForm1::widget, #widget }

constexpr ControlEntry<QComboBox> kLists[] = {
    CONTROL(Rs485BaudRate, ComboBox8),       CONTROL(Rs485Parity, ComboBox9),
    CONTROL(SystemMode, ComboBox7),          CONTROL(Rs485ResponseTime, RS485ADY),
    CONTROL(OutputVar1Map, YINSHE),          CONTROL(CoefficientVar1Mode, ComboBox18),
    CONTROL(HartEnable, ComboBox6),          CONTROL(HartMode, ComboBox16),
    CONTROL(HartMeterType, ComboBox17),      CONTROL(HartPreambles, ComboBox34),
    CONTROL(ModbusFloatOrder40003, FAMOUT3), CONTROL(ModbusFloatOrder40005, FAMOUT5),
    CONTROL(ModbusFloatOrder40007, FAMOUT7), CONTROL(ModbusFloatOrder40009, FAMOUT9),
    CONTROL(ParsingAddressBits, ComboBox15), CONTROL(ParsingVar1Command, RADCOM1),
    CONTROL(ParsingVar1Length, READLG1),     CONTROL(ParsingVar2Command, RADCOM3),
    CONTROL(ParsingVar2Length, READLG3),     CONTROL(ParsingVar3Command, RADCOM5),
    CONTROL(ParsingVar3Length, READLG5),     CONTROL(ParsingVar4Command, RADCOM7),
    CONTROL(ParsingVar4Length, READLG7),     CONTROL(ReadCommand1Enable, ComboBox28),
    CONTROL(ReadCommand2Enable, ComboBox29), CONTROL(HartMeterId, ComboBox41),
};

constexpr ControlEntry<QLineEdit> kEdits[] = {
    CONTROL(ModbusSlaveAddress, Edit14),
    CONTROL(ModbusPollInterval, Edit6),
    CONTROL(OutputVar2Range4mA, D2M4),
    CONTROL(OutputVar2Range20mA, D2M20),
    CONTROL(OutputVar3Range4mA, D3M4),
    CONTROL(OutputVar3Range20mA, D3M20),
    CONTROL(OutputVar4Range4mA, D4M4),
    CONTROL(OutputVar4Range20mA, D4M20),
    CONTROL(CoefficientVar1, Beilv),
    CONTROL(CoefficientVar2, xishu2),
    CONTROL(CoefficientVar3, xishu3),
    CONTROL(CoefficientVar4, xishu4),
    CONTROL(HartBufferClearTime, Edit2),
    CONTROL(ParsingVar1Start, READADR1),
    CONTROL(ParsingVar2Start, READADR3),
    CONTROL(ParsingVar3Start, READADR5),
    CONTROL(ParsingVar4Start, READADR7),
    CONTROL(ReadCommand1Bytes, Edit4),
    CONTROL(ReadCommand2Bytes, Edit5),
    CONTROL(MonitoringCommand1Bytes, ONECMAD01),
    CONTROL(MonitoringCommand2Bytes, ONECMAD02),
};

constexpr ControlEntry<QCheckBox> kCheckBoxes[] = {
    CONTROL(MonitoringCommand1Enable, ONECHECK01),
    CONTROL(MonitoringCommand2Enable, ONECHECK02),
};

constexpr ControlEntry<QGroupBox> kGroupBoxes[] = {
    CONTROL(ParsingShown, GroupBox13),
};

#undef CONTROL

template <typename Widget, size_t N>
const ControlEntry<Widget>* Entry(const ControlEntry<Widget> (&table)[N], ConfigSetting setting) {
    for (const auto& entry : table) {
        if (entry.setting == setting) return &entry;
    }
    return nullptr;
}

template <typename Widget, size_t N>
Widget* Find(const Ui::TForm1& form, const ControlEntry<Widget> (&table)[N],
             ConfigSetting setting) {
    const auto* entry = Entry(table, setting);
    return entry ? form.*entry->member : nullptr;
}

}  // namespace

void WriteConfigField(Ui::TForm1& form, const ConfigField& field) {
    switch (field.kind) {
        case ConfigFieldKind::ItemIndex:
            if (auto* list = Find(form, kLists, field.setting)) SetItemIndex(list, field.number);
            break;
        case ConfigFieldKind::Text:
            // Edit14's change handler carries the address on into Edit18.
            if (auto* edit = Find(form, kEdits, field.setting))
                edit->setText(DisplayText(field.text));
            break;
        case ConfigFieldKind::Checked:
            if (auto* box = Find(form, kCheckBoxes, field.setting))
                box->setChecked(field.number != 0);
            break;
        case ConfigFieldKind::Visible:
            if (auto* group = Find(form, kGroupBoxes, field.setting))
                group->setVisible(field.number != 0);
            break;
    }
}

std::optional<ConfigField> ReadConfigField(const Ui::TForm1& form, ConfigSetting setting) {
    if (auto* list = Find(form, kLists, setting))
        return ConfigField{setting, ConfigFieldKind::ItemIndex, ItemIndex(list), {}};
    if (auto* edit = Find(form, kEdits, setting))
        return ConfigField{setting, ConfigFieldKind::Text, 0, FieldBytes(edit)};
    if (auto* box = Find(form, kCheckBoxes, setting))
        return ConfigField{setting, ConfigFieldKind::Checked, box->isChecked() ? 1 : 0, {}};
    return std::nullopt;
}

const char* ConfigControlName(ConfigSetting setting) {
    if (const auto* e = Entry(kLists, setting)) return e->name;
    if (const auto* e = Entry(kEdits, setting)) return e->name;
    if (const auto* e = Entry(kCheckBoxes, setting)) return e->name;
    if (const auto* e = Entry(kGroupBoxes, setting)) return e->name;
    return "?";
}

QString SettingCaption(const QWidget& window, const std::string& key) {
    const ProfileSetting* s = FindProfileSetting(key);
    const QWidget* control = s ? window.findChild<QWidget*>(ConfigControlName(s->setting)) : nullptr;
    return control ? FieldName(control) : QString::fromStdString(key);
}
