// Configuration reply decoders: key search, every group's fields, presence
// keys, the meter-type rule, conversion failures and groups cut off by the
// end of the reply.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "exchange/configreplies.h"

void PrintTo(const ConfigField& f, std::ostream* os) {
    *os << ConfigControlName(f.control) << "=";
    if (f.kind == ConfigFieldKind::Text) {
        *os << '"' << f.text << '"';
    } else {
        *os << f.number;
    }
}

namespace {

using C = ConfigControl;
using Fields = std::vector<ConfigField>;

ConfigField Item(C c, int index) { return {c, ConfigFieldKind::ItemIndex, index, {}}; }
ConfigField Text(C c, std::string text) { return {c, ConfigFieldKind::Text, 0, std::move(text)}; }
ConfigField Checked(C c, bool on) { return {c, ConfigFieldKind::Checked, on ? 1 : 0, {}}; }
ConfigField Visible(C c, bool on) { return {c, ConfigFieldKind::Visible, on ? 1 : 0, {}}; }

struct Case {
    const char* name;
    std::string reply;
    Fields fields;
    std::optional<std::string> failedText = std::nullopt;
};

void Expect(const Case& c, const ConfigReply& got) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(got.fields, c.fields);
    EXPECT_EQ(got.failedText, c.failedText);
}

TEST(DecodeSystemParameters, Groups) {
    const Fields all = {Item(C::ComboBox8, 3),  Item(C::ComboBox9, 1), Item(C::ComboBox7, 1),
                        Text(C::Edit14, "007"), Text(C::Edit6, "050"), Item(C::RS485ADY, 3)};
    const Case cases[] = {
        {"every group", "QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#", all},
        {"groups in any order, presence key last", "XY1:3,JTM:050,ADR:007,MD:1,BA2:31,QX", all},
        {"no presence key", "QY#BA2:31,MD:1,ADR:007#", {}},
        {"first MD wins", "QX#MD:2,MD:4#", {Item(C::ComboBox7, 2)}},
        {"digit beyond the list", "QX#XY1:9#", {Item(C::RS485ADY, 9)}},
        {"text copied as it stands", "QX#ADR: a!,JTM:5#", {Text(C::Edit14, " a!")}},
        {"group cut by the end is skipped",
         "QX#BA2:31,ADR:00",
         {Item(C::ComboBox8, 3), Item(C::ComboBox9, 1)}},
        {"key cut by the end", "QX#BA2:3", {}},
        {"group ending exactly at the end", "QX#XY1:4", {Item(C::RS485ADY, 4)}},
        {"letter stops at its field", "QX#BA2:3A,MD:1,ADR:001", {Item(C::ComboBox8, 3)}, "A"},
        {"earlier groups kept",
         "QX#BA2:31,MD:x,ADR:001",
         {Item(C::ComboBox8, 3), Item(C::ComboBox9, 1)},
         "x"},
        {"blank where a digit belongs", "QX#XY1: #", {}, " "},
    };
    for (const Case& c : cases) Expect(c, DecodeSystemParameters(c.reply));
}

TEST(DecodeCurrentOutputParameters, Groups) {
    const Case cases[] = {
        {"every group",
         "QD#DA2:0.000,100.0,DA3:1.000,200.0,DA4:2.000,300.0,MD:4,YSM:2#",
         {Text(C::D2M4, "0.000"), Text(C::D2M20, "100.0"), Text(C::D3M4, "1.000"),
          Text(C::D3M20, "200.0"), Text(C::D4M4, "2.000"), Text(C::D4M20, "300.0"),
          Item(C::ComboBox7, 4), Item(C::YINSHE, 2)}},
        {"DA3 alone", "DA3:0.500,020.0", {Text(C::D3M4, "0.500"), Text(C::D3M20, "020.0")}},
        {"positions 3 and 9 not compared",
         "DA2x0.000y100.0",
         {Text(C::D2M4, "0.000"), Text(C::D2M20, "100.0")}},
        {"YSM position 3 not compared", "YSM=3", {Item(C::YINSHE, 3)}},
        {"DA group cut by the end",
         "DA2:0.000,100.0,DA4:0.000,100.",
         {Text(C::D2M4, "0.000"), Text(C::D2M20, "100.0")}},
        {"letter in MD",
         "DA2:1.000,2.000,MD:z,YSM:1",
         {Text(C::D2M4, "1.000"), Text(C::D2M20, "2.000")},
         "z"},
    };
    for (const Case& c : cases) Expect(c, DecodeCurrentOutputParameters(c.reply));
}

// Replies to the MODBUS parameter query, pieced together per case.
const std::string kFmw = "FMW:2,0.002";
const std::string kFmu = "FMU:1.500,2.500,3.500";
const std::string kZdy = "ZDY0:8,1051,2120,0000,1991";
const std::string kCamd = "CAMD01:1,02,01 03;CAMD02:0,01,AB";

Fields FmwFmu() {
    return {Item(C::ComboBox18, 2), Text(C::Beilv, "0.002"), Text(C::xishu2, "1.500"),
            Text(C::xishu3, "2.500"), Text(C::xishu4, "3.500")};
}

Fields Hart(int enable, int mode, int type, int preamble, const char* buffer,
            const int (&orders)[4]) {
    return {
        Item(C::ComboBox6, enable),    Item(C::ComboBox16, mode),   Item(C::ComboBox17, type),
        Item(C::ComboBox34, preamble), Text(C::Edit2, buffer),      Item(C::FAMOUT3, orders[0]),
        Item(C::FAMOUT5, orders[1]),   Item(C::FAMOUT7, orders[2]), Item(C::FAMOUT9, orders[3])};
}

Fields Zdy() {
    return {Item(C::ComboBox15, 5), Item(C::RADCOM1, 1), Text(C::READADR1, "05"),
            Item(C::READLG1, 1),    Item(C::RADCOM3, 2), Text(C::READADR3, "12"),
            Item(C::READLG3, 0),    Item(C::RADCOM5, 0), Text(C::READADR5, "00"),
            Item(C::READLG5, 0),    Item(C::RADCOM7, 1), Text(C::READADR7, "99"),
            Item(C::READLG7, 1)};
}

Fields Camd() {
    return {Item(C::ComboBox28, 1), Text(C::Edit4, "01 03"), Item(C::ComboBox29, 0),
            Text(C::Edit5, "AB")};
}

Fields Join(std::initializer_list<Fields> parts) {
    Fields all;
    for (const Fields& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(DecodeModbusParameters, Groups) {
    const std::string custom = "HART0:1,1,00,9,120,0101";
    const std::string universal = "HART0:1,1,01,9,120,0101";
    const Fields customHart = Hart(1, 1, 0, 5, "120", {0, 1, 0, 1});
    const Fields universalHart = Hart(1, 1, 1, 5, "120", {0, 1, 0, 1});
    const std::string tail = ";" + kZdy + ";" + kCamd + "#";
    const std::string head = "QQ0#" + kFmw + ";" + kFmu + ";";
    struct ModbusCase {
        Case c;
        int meterTypeItem = 0;
    };
    const ModbusCase cases[] = {
        {{"custom meter: every group", head + custom + tail,
          Join({FmwFmu(), customHart, {Visible(C::GroupBox13, true)}, Zdy(), Camd()})}},
        {{"universal meter hides the parsing group and skips it", head + universal + tail,
          Join({FmwFmu(), universalHart, {Visible(C::GroupBox13, false)}})}},
        {{"meter type beyond the list hides too", head + "HART0:1,1,05,9,120,0101" + tail,
          Join(
              {FmwFmu(), Hart(1, 1, 5, 5, "120", {0, 1, 0, 1}), {Visible(C::GroupBox13, false)}})}},
        {{"no presence key", kFmw + ";" + custom + tail, {}}},
        {{"no HART group: the window's custom meter stands", "QQ0#" + kZdy,
          Join({{Visible(C::GroupBox13, true)}, Zdy()})},
         0},
        {{"no HART group: the window's universal meter stands",
          "QQ0#" + kZdy,
          {Visible(C::GroupBox13, false)}},
         1},
        {{"no HART group, no selection", "QQ0#" + kZdy, {Visible(C::GroupBox13, false)}}, -1},
        {{"preamble digit 3 gives no selection", "QQ#HART0:0,0,00,3,060,0000",
          Join({Hart(0, 0, 0, -1, "060", {0, 0, 0, 0}), {Visible(C::GroupBox13, true)}})}},
        {{"meter type not a number stops before the rule",
          "QQ#HART0:0,0,0x,4,060,0000" + tail,
          {Item(C::ComboBox6, 0), Item(C::ComboBox16, 0)},
          "0x"}},
        {{"address bits 2 gives no selection",
          "QQ#ZDY0:2,0000,0000,0000,0000",
          {Visible(C::GroupBox13, true), Item(C::ComboBox15, -1), Item(C::RADCOM1, 0),
           Text(C::READADR1, "00"), Item(C::READLG1, 0), Item(C::RADCOM3, 0),
           Text(C::READADR3, "00"), Item(C::READLG3, 0), Item(C::RADCOM5, 0),
           Text(C::READADR5, "00"), Item(C::READLG5, 0), Item(C::RADCOM7, 0),
           Text(C::READADR7, "00"), Item(C::READLG7, 0)}}},
        {{"count 00 empties the command",
          "QQ#CAMD01:1,00,",
          {Visible(C::GroupBox13, true), Item(C::ComboBox28, 1), Text(C::Edit4, "")}}},
        {{"count 00 with the reply ending at the count",
          "QQ#CAMD01:1,00",
          {Visible(C::GroupBox13, true), Item(C::ComboBox28, 1), Text(C::Edit4, "")}}},
        {{"CAMD2 alone, other separators",
          "QQ#CAMDx2:0|03|01 02 0F",
          {Visible(C::GroupBox13, true), Item(C::ComboBox29, 0), Text(C::Edit5, "01 02 0F")}}},
        {{"command list cut by the end is skipped whole",
          "QQ#CAMD02:1,01,0F;CAMD01:1,03,01 02",
          {Visible(C::GroupBox13, true), Item(C::ComboBox29, 1), Text(C::Edit5, "0F")}}},
        {{"count digits cut by the end", "QQ#CAMD01:1,0", {Visible(C::GroupBox13, true)}}},
        {{"count not a number",
          "QQ#CAMD01:1,0A,0F",
          {Visible(C::GroupBox13, true), Item(C::ComboBox28, 1)},
          "A"}},
        {{"letter in the ZDY group stops there",
          "QQ#ZDY0:8,1051,x120,0000,1991;" + kCamd,
          {Visible(C::GroupBox13, true), Item(C::ComboBox15, 5), Item(C::RADCOM1, 1),
           Text(C::READADR1, "05"), Item(C::READLG1, 1)},
          "x"}},
    };
    for (const ModbusCase& m : cases)
        Expect(m.c, DecodeModbusParameters(m.c.reply, m.meterTypeItem));
}

TEST(DecodeMonitoringCommand, Rows) {
    const Case cases[] = {
        {"row 1",
         "RCAD1:1,03,FF 00 AB#",
         {Checked(C::ONECHECK01, true), Text(C::ONECMAD01, "FF 00 AB")}},
        {"row 2", "xxRCAD2:0,01,0F#", {Checked(C::ONECHECK02, false), Text(C::ONECMAD02, "0F")}},
        {"flag other than 1 unchecks",
         "RCAD1:x,01,0F",
         {Checked(C::ONECHECK01, false), Text(C::ONECMAD01, "0F")}},
        {"count 00", "RCAD2:1,00,#", {Checked(C::ONECHECK02, true), Text(C::ONECMAD02, "")}},
        {"command 3 changes nothing", "RCAD3:1,01,0F#", {}},
        {"first RCAD decides", "RCAD3:1,01,0F;RCAD1:1,01,0F", {}},
        {"no RCAD", "WCAD1:1,01,0F", {}},
        {"list cut by the end", "RCAD1:1,02,0F", {}},
        {"count not a number", "RCAD1:1,x1,0F", {Checked(C::ONECHECK01, true)}, "x"},
    };
    for (const Case& c : cases) Expect(c, DecodeMonitoringCommand(c.reply));
}

}  // namespace
