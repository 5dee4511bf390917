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
    *os << ConfigSettingName(f.setting) << "=";
    if (f.kind == ConfigFieldKind::Text) {
        *os << '"' << f.text << '"';
    } else {
        *os << f.number;
    }
}

namespace {

using S = ConfigSetting;
using Fields = std::vector<ConfigField>;

ConfigField Item(S c, int index) { return {c, ConfigFieldKind::ItemIndex, index, {}}; }
ConfigField Text(S c, std::string text) { return {c, ConfigFieldKind::Text, 0, std::move(text)}; }
ConfigField Checked(S c, bool on) { return {c, ConfigFieldKind::Checked, on ? 1 : 0, {}}; }
ConfigField Visible(S c, bool on) { return {c, ConfigFieldKind::Visible, on ? 1 : 0, {}}; }

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
    const Fields all = {Item(S::Rs485BaudRate, 3),
                        Item(S::Rs485Parity, 1),
                        Item(S::SystemMode, 1),
                        Text(S::ModbusSlaveAddress, "007"),
                        Text(S::ModbusPollInterval, "050"),
                        Item(S::Rs485ResponseTime, 3)};
    const Case cases[] = {
        {"every group", "QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#", all},
        {"groups in any order, presence key last", "XY1:3,JTM:050,ADR:007,MD:1,BA2:31,QX", all},
        {"no presence key", "QY#BA2:31,MD:1,ADR:007#", {}},
        {"first MD wins", "QX#MD:2,MD:4#", {Item(S::SystemMode, 2)}},
        {"digit beyond the list", "QX#XY1:9#", {Item(S::Rs485ResponseTime, 9)}},
        {"text copied as it stands", "QX#ADR: a!,JTM:5#", {Text(S::ModbusSlaveAddress, " a!")}},
        {"group cut by the end is skipped",
         "QX#BA2:31,ADR:00",
         {Item(S::Rs485BaudRate, 3), Item(S::Rs485Parity, 1)}},
        {"key cut by the end", "QX#BA2:3", {}},
        {"group ending exactly at the end", "QX#XY1:4", {Item(S::Rs485ResponseTime, 4)}},
        {"letter stops at its field", "QX#BA2:3A,MD:1,ADR:001", {Item(S::Rs485BaudRate, 3)}, "A"},
        {"earlier groups kept",
         "QX#BA2:31,MD:x,ADR:001",
         {Item(S::Rs485BaudRate, 3), Item(S::Rs485Parity, 1)},
         "x"},
        {"blank where a digit belongs", "QX#XY1: #", {}, " "},
    };
    for (const Case& c : cases) Expect(c, DecodeSystemParameters(c.reply));
}

TEST(DecodeCurrentOutputParameters, Groups) {
    const Case cases[] = {
        {"every group",
         "QD#DA2:0.000,100.0,DA3:1.000,200.0,DA4:2.000,300.0,MD:4,YSM:2#",
         {Text(S::OutputVar2Range4mA, "0.000"), Text(S::OutputVar2Range20mA, "100.0"),
          Text(S::OutputVar3Range4mA, "1.000"), Text(S::OutputVar3Range20mA, "200.0"),
          Text(S::OutputVar4Range4mA, "2.000"), Text(S::OutputVar4Range20mA, "300.0"),
          Item(S::SystemMode, 4), Item(S::OutputVar1Map, 2)}},
        {"DA3 alone",
         "DA3:0.500,020.0",
         {Text(S::OutputVar3Range4mA, "0.500"), Text(S::OutputVar3Range20mA, "020.0")}},
        {"positions 3 and 9 not compared",
         "DA2x0.000y100.0",
         {Text(S::OutputVar2Range4mA, "0.000"), Text(S::OutputVar2Range20mA, "100.0")}},
        {"YSM position 3 not compared", "YSM=3", {Item(S::OutputVar1Map, 3)}},
        {"DA group cut by the end",
         "DA2:0.000,100.0,DA4:0.000,100.",
         {Text(S::OutputVar2Range4mA, "0.000"), Text(S::OutputVar2Range20mA, "100.0")}},
        {"letter in MD",
         "DA2:1.000,2.000,MD:z,YSM:1",
         {Text(S::OutputVar2Range4mA, "1.000"), Text(S::OutputVar2Range20mA, "2.000")},
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
    return {Item(S::CoefficientVar1Mode, 2), Text(S::CoefficientVar1, "0.002"),
            Text(S::CoefficientVar2, "1.500"), Text(S::CoefficientVar3, "2.500"),
            Text(S::CoefficientVar4, "3.500")};
}

Fields Hart(int enable, int mode, int type, int preamble, const char* buffer,
            const int (&orders)[4]) {
    return {Item(S::HartEnable, enable),
            Item(S::HartMode, mode),
            Item(S::HartMeterType, type),
            Item(S::HartPreambles, preamble),
            Text(S::HartBufferClearTime, buffer),
            Item(S::ModbusFloatOrder40003, orders[0]),
            Item(S::ModbusFloatOrder40005, orders[1]),
            Item(S::ModbusFloatOrder40007, orders[2]),
            Item(S::ModbusFloatOrder40009, orders[3])};
}

Fields Zdy() {
    return {Item(S::ParsingAddressBits, 5),  Item(S::ParsingVar1Command, 1),
            Text(S::ParsingVar1Start, "05"), Item(S::ParsingVar1Length, 1),
            Item(S::ParsingVar2Command, 2),  Text(S::ParsingVar2Start, "12"),
            Item(S::ParsingVar2Length, 0),   Item(S::ParsingVar3Command, 0),
            Text(S::ParsingVar3Start, "00"), Item(S::ParsingVar3Length, 0),
            Item(S::ParsingVar4Command, 1),  Text(S::ParsingVar4Start, "99"),
            Item(S::ParsingVar4Length, 1)};
}

Fields Camd() {
    return {Item(S::ReadCommand1Enable, 1), Text(S::ReadCommand1Bytes, "01 03"),
            Item(S::ReadCommand2Enable, 0), Text(S::ReadCommand2Bytes, "AB")};
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
          Join({FmwFmu(), customHart, {Visible(S::ParsingShown, true)}, Zdy(), Camd()})}},
        {{"universal meter hides the parsing group and skips it", head + universal + tail,
          Join({FmwFmu(), universalHart, {Visible(S::ParsingShown, false)}})}},
        {{"meter type beyond the list hides too", head + "HART0:1,1,05,9,120,0101" + tail,
          Join({FmwFmu(),
                Hart(1, 1, 5, 5, "120", {0, 1, 0, 1}),
                {Visible(S::ParsingShown, false)}})}},
        {{"no presence key", kFmw + ";" + custom + tail, {}}},
        {{"no HART group: the window's custom meter stands", "QQ0#" + kZdy,
          Join({{Visible(S::ParsingShown, true)}, Zdy()})},
         0},
        {{"no HART group: the window's universal meter stands",
          "QQ0#" + kZdy,
          {Visible(S::ParsingShown, false)}},
         1},
        {{"no HART group, no selection", "QQ0#" + kZdy, {Visible(S::ParsingShown, false)}}, -1},
        {{"preamble digit 3 gives no selection", "QQ#HART0:0,0,00,3,060,0000",
          Join({Hart(0, 0, 0, -1, "060", {0, 0, 0, 0}), {Visible(S::ParsingShown, true)}})}},
        {{"meter type not a number stops before the rule",
          "QQ#HART0:0,0,0x,4,060,0000" + tail,
          {Item(S::HartEnable, 0), Item(S::HartMode, 0)},
          "0x"}},
        {{"address bits 2 gives no selection",
          "QQ#ZDY0:2,0000,0000,0000,0000",
          {Visible(S::ParsingShown, true), Item(S::ParsingAddressBits, -1),
           Item(S::ParsingVar1Command, 0), Text(S::ParsingVar1Start, "00"),
           Item(S::ParsingVar1Length, 0), Item(S::ParsingVar2Command, 0),
           Text(S::ParsingVar2Start, "00"), Item(S::ParsingVar2Length, 0),
           Item(S::ParsingVar3Command, 0), Text(S::ParsingVar3Start, "00"),
           Item(S::ParsingVar3Length, 0), Item(S::ParsingVar4Command, 0),
           Text(S::ParsingVar4Start, "00"), Item(S::ParsingVar4Length, 0)}}},
        {{"count 00 empties the command",
          "QQ#CAMD01:1,00,",
          {Visible(S::ParsingShown, true), Item(S::ReadCommand1Enable, 1),
           Text(S::ReadCommand1Bytes, "")}}},
        {{"count 00 with the reply ending at the count",
          "QQ#CAMD01:1,00",
          {Visible(S::ParsingShown, true), Item(S::ReadCommand1Enable, 1),
           Text(S::ReadCommand1Bytes, "")}}},
        {{"CAMD2 alone, other separators",
          "QQ#CAMDx2:0|03|01 02 0F",
          {Visible(S::ParsingShown, true), Item(S::ReadCommand2Enable, 0),
           Text(S::ReadCommand2Bytes, "01 02 0F")}}},
        {{"command list cut by the end is skipped whole",
          "QQ#CAMD02:1,01,0F;CAMD01:1,03,01 02",
          {Visible(S::ParsingShown, true), Item(S::ReadCommand2Enable, 1),
           Text(S::ReadCommand2Bytes, "0F")}}},
        {{"count digits cut by the end", "QQ#CAMD01:1,0", {Visible(S::ParsingShown, true)}}},
        {{"count not a number",
          "QQ#CAMD01:1,0A,0F",
          {Visible(S::ParsingShown, true), Item(S::ReadCommand1Enable, 1)},
          "A"}},
        {{"letter in the ZDY group stops there",
          "QQ#ZDY0:8,1051,x120,0000,1991;" + kCamd,
          {Visible(S::ParsingShown, true), Item(S::ParsingAddressBits, 5),
           Item(S::ParsingVar1Command, 1), Text(S::ParsingVar1Start, "05"),
           Item(S::ParsingVar1Length, 1)},
          "x"}},
    };
    for (const ModbusCase& m : cases)
        Expect(m.c, DecodeModbusParameters(m.c.reply, m.meterTypeItem));
}

TEST(DecodeMonitoringCommand, Rows) {
    const Case cases[] = {
        {"row 1",
         "RCAD1:1,03,FF 00 AB#",
         {Checked(S::MonitoringCommand1Enable, true),
          Text(S::MonitoringCommand1Bytes, "FF 00 AB")}},
        {"row 2",
         "xxRCAD2:0,01,0F#",
         {Checked(S::MonitoringCommand2Enable, false), Text(S::MonitoringCommand2Bytes, "0F")}},
        {"flag other than 1 unchecks",
         "RCAD1:x,01,0F",
         {Checked(S::MonitoringCommand1Enable, false), Text(S::MonitoringCommand1Bytes, "0F")}},
        {"count 00",
         "RCAD2:1,00,#",
         {Checked(S::MonitoringCommand2Enable, true), Text(S::MonitoringCommand2Bytes, "")}},
        {"command 3 changes nothing", "RCAD3:1,01,0F#", {}},
        {"first RCAD decides", "RCAD3:1,01,0F;RCAD1:1,01,0F", {}},
        {"no RCAD", "WCAD1:1,01,0F", {}},
        {"list cut by the end", "RCAD1:1,02,0F", {}},
        {"count not a number", "RCAD1:1,x1,0F", {Checked(S::MonitoringCommand1Enable, true)}, "x"},
    };
    for (const Case& c : cases) Expect(c, DecodeMonitoringCommand(c.reply));
}

}  // namespace
