#include "ui/configcontrols.h"

#include "ui/controls.h"
#include "ui_tform1.h"

namespace {

using C = ConfigControl;

// The controls the decoders name, by kind of control.
template <typename Widget>
struct ControlEntry {
    ConfigControl control;
    Widget* Ui::TForm1::*member;
};

constexpr ControlEntry<QComboBox> kLists[] = {
    {C::ComboBox8, &Ui::TForm1::ComboBox8},   {C::ComboBox9, &Ui::TForm1::ComboBox9},
    {C::ComboBox7, &Ui::TForm1::ComboBox7},   {C::RS485ADY, &Ui::TForm1::RS485ADY},
    {C::YINSHE, &Ui::TForm1::YINSHE},         {C::ComboBox18, &Ui::TForm1::ComboBox18},
    {C::ComboBox6, &Ui::TForm1::ComboBox6},   {C::ComboBox16, &Ui::TForm1::ComboBox16},
    {C::ComboBox17, &Ui::TForm1::ComboBox17}, {C::ComboBox34, &Ui::TForm1::ComboBox34},
    {C::FAMOUT3, &Ui::TForm1::FAMOUT3},       {C::FAMOUT5, &Ui::TForm1::FAMOUT5},
    {C::FAMOUT7, &Ui::TForm1::FAMOUT7},       {C::FAMOUT9, &Ui::TForm1::FAMOUT9},
    {C::ComboBox15, &Ui::TForm1::ComboBox15}, {C::RADCOM1, &Ui::TForm1::RADCOM1},
    {C::READLG1, &Ui::TForm1::READLG1},       {C::RADCOM3, &Ui::TForm1::RADCOM3},
    {C::READLG3, &Ui::TForm1::READLG3},       {C::RADCOM5, &Ui::TForm1::RADCOM5},
    {C::READLG5, &Ui::TForm1::READLG5},       {C::RADCOM7, &Ui::TForm1::RADCOM7},
    {C::READLG7, &Ui::TForm1::READLG7},       {C::ComboBox28, &Ui::TForm1::ComboBox28},
    {C::ComboBox29, &Ui::TForm1::ComboBox29}, {C::ComboBox41, &Ui::TForm1::ComboBox41},
};

constexpr ControlEntry<QLineEdit> kEdits[] = {
    {C::Edit14, &Ui::TForm1::Edit14},       {C::Edit6, &Ui::TForm1::Edit6},
    {C::D2M4, &Ui::TForm1::D2M4},           {C::D2M20, &Ui::TForm1::D2M20},
    {C::D3M4, &Ui::TForm1::D3M4},           {C::D3M20, &Ui::TForm1::D3M20},
    {C::D4M4, &Ui::TForm1::D4M4},           {C::D4M20, &Ui::TForm1::D4M20},
    {C::Beilv, &Ui::TForm1::Beilv},         {C::xishu2, &Ui::TForm1::xishu2},
    {C::xishu3, &Ui::TForm1::xishu3},       {C::xishu4, &Ui::TForm1::xishu4},
    {C::Edit2, &Ui::TForm1::Edit2},         {C::READADR1, &Ui::TForm1::READADR1},
    {C::READADR3, &Ui::TForm1::READADR3},   {C::READADR5, &Ui::TForm1::READADR5},
    {C::READADR7, &Ui::TForm1::READADR7},   {C::Edit4, &Ui::TForm1::Edit4},
    {C::Edit5, &Ui::TForm1::Edit5},         {C::ONECMAD01, &Ui::TForm1::ONECMAD01},
    {C::ONECMAD02, &Ui::TForm1::ONECMAD02},
};

constexpr ControlEntry<QCheckBox> kCheckBoxes[] = {
    {C::ONECHECK01, &Ui::TForm1::ONECHECK01},
    {C::ONECHECK02, &Ui::TForm1::ONECHECK02},
};

constexpr ControlEntry<QGroupBox> kGroupBoxes[] = {
    {C::GroupBox13, &Ui::TForm1::GroupBox13},
};

template <typename Widget, size_t N>
Widget* Find(const Ui::TForm1& form, const ControlEntry<Widget> (&table)[N],
             ConfigControl control) {
    for (const auto& entry : table) {
        if (entry.control == control) return form.*entry.member;
    }
    return nullptr;
}

}  // namespace

void WriteConfigField(Ui::TForm1& form, const ConfigField& field) {
    switch (field.kind) {
        case ConfigFieldKind::ItemIndex:
            if (auto* list = Find(form, kLists, field.control)) SetItemIndex(list, field.number);
            break;
        case ConfigFieldKind::Text:
            // Edit14's change handler carries the address on into Edit18.
            if (auto* edit = Find(form, kEdits, field.control))
                edit->setText(DisplayText(field.text));
            break;
        case ConfigFieldKind::Checked:
            if (auto* box = Find(form, kCheckBoxes, field.control))
                box->setChecked(field.number != 0);
            break;
        case ConfigFieldKind::Visible:
            if (auto* group = Find(form, kGroupBoxes, field.control))
                group->setVisible(field.number != 0);
            break;
    }
}

std::optional<ConfigField> ReadConfigField(const Ui::TForm1& form, ConfigControl control) {
    if (auto* list = Find(form, kLists, control))
        return ConfigField{control, ConfigFieldKind::ItemIndex, ItemIndex(list), {}};
    if (auto* edit = Find(form, kEdits, control))
        return ConfigField{control, ConfigFieldKind::Text, 0, FieldBytes(edit)};
    if (auto* box = Find(form, kCheckBoxes, control))
        return ConfigField{control, ConfigFieldKind::Checked, box->isChecked() ? 1 : 0, {}};
    return std::nullopt;
}
