#include "profile/profilesettings.h"

#include <string_view>

namespace {

using C = ConfigControl;
using F = SettingFormat;
using sv = std::string_view;

// The items of the window's lists.
constexpr sv kBaud[] = {"1200", "2400", "4800", "9600", "19200", "38400"};
constexpr sv kParity[] = {"None", "Odd", "Even"};
constexpr sv kMode[] = {"0_Transparent Mode", "1_Single Meter MODBUS Mode", "2_Standby",
                        "3_Monitoring to MODBUS RTU (Custom)", "4_Monitoring Data Output"};
constexpr sv kResponse[] = {"0 50ms", "1 100ms", "2 200ms", "3 300ms", "4 400ms", "5 500ms"};
constexpr sv kVar1Map[] = {"0 No Var Map", "1 Map Var2 Output", "2 Map Var3 Output",
                           "3 Map Var4 Output"};
constexpr sv kFloatOrder[] = {"0 IEE754 (FF4 FF3 FF2 FF1)", "1 IEE754 (FF2 FF1 FF4 FF3)"};
constexpr sv kCoefficientMode[] = {"0 Close", "1 M3/S-->M3/H", "2 Apply Coefficient",
                                   "3 Apply Coefficient*100"};
// The module takes any digit: one meter id per frame key ("HART3:", "MDBS3:").
constexpr sv kMeterId[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
constexpr sv kEnable[] = {"Close", "Open"};
constexpr sv kHartMode[] = {"Secondary Master Device", "Master Device"};
constexpr sv kMeterType[] = {"0)Custom Meter", "1)Universal Meter"};
constexpr sv kPreambles[] = {"4", "5", "6", "7", "8", "9"};
constexpr sv kAddressBits[] = {"3", "4", "5", "6", "7", "8", "9"};
constexpr sv kReadCommand[] = {"0 Not Analytic", "1 Read Command 1", "2 Read Command 2"};
constexpr sv kDataLength[] = {"4-Bit", "8-Bit"};
constexpr sv kOnOff[] = {"0 Close", "1 Open"};

constexpr bool kCustomMeter = true;
constexpr sv kStart = "a start address in the meter's answer";

constexpr ProfileSetting List(sv name, C control, std::span<const sv> items, bool custom = false) {
    return {name, control, F::Item, items, 0, 0, {}, custom};
}

constexpr ProfileSetting Number(sv name, C control, int min, int max, sv meaning,
                                bool custom = false) {
    return {name, control, F::Number, {}, min, max, meaning, custom};
}

constexpr ProfileSetting Field(sv name, C control, F format, bool custom = false) {
    return {name, control, format, {}, 0, 0, {}, custom};
}

constexpr ProfileSetting kSettings[] = {
    List("system.mode", C::ComboBox7, kMode),
    // MODBUS slave addresses are 1 to 247: 0 is the broadcast, above 247 reserved.
    Number("system.slaveAddress", C::Edit14, 1, 247, "a MODBUS slave address"),
    // Units of 10 ms; 000 is no interval at all.
    Number("system.pollInterval", C::Edit6, 1, 999, "a polling interval in units of 10 ms"),
    List("rs485.responseTime", C::RS485ADY, kResponse),
    List("rs485.baudRate", C::ComboBox8, kBaud),
    List("rs485.parity", C::ComboBox9, kParity),
    List("output.var1Map", C::YINSHE, kVar1Map),
    Field("output.var2.range4mA", C::D2M4, F::RangeText),
    Field("output.var2.range20mA", C::D2M20, F::RangeText),
    Field("output.var3.range4mA", C::D3M4, F::RangeText),
    Field("output.var3.range20mA", C::D3M20, F::RangeText),
    Field("output.var4.range4mA", C::D4M4, F::RangeText),
    Field("output.var4.range20mA", C::D4M20, F::RangeText),
    List("modbus.floatOrder40003", C::FAMOUT3, kFloatOrder),
    List("modbus.floatOrder40005", C::FAMOUT5, kFloatOrder),
    List("modbus.floatOrder40007", C::FAMOUT7, kFloatOrder),
    List("modbus.floatOrder40009", C::FAMOUT9, kFloatOrder),
    List("coefficient.var1Mode", C::ComboBox18, kCoefficientMode),
    Field("coefficient.var1", C::Beilv, F::FiveChars),
    Field("coefficient.var2", C::xishu2, F::FiveChars),
    Field("coefficient.var3", C::xishu3, F::FiveChars),
    Field("coefficient.var4", C::xishu4, F::FiveChars),
    List("hart.meterId", C::ComboBox41, kMeterId),
    List("hart.enable", C::ComboBox6, kEnable),
    List("hart.mode", C::ComboBox16, kHartMode),
    List("hart.meterType", C::ComboBox17, kMeterType),
    List("hart.preambles", C::ComboBox34, kPreambles),
    Number("hart.bufferClearTime", C::Edit2, 0, 999, "a buffer clear time in seconds"),
    List("parsing.addressBits", C::ComboBox15, kAddressBits, kCustomMeter),
    List("parsing.var1.command", C::RADCOM1, kReadCommand, kCustomMeter),
    Number("parsing.var1.start", C::READADR1, 0, 99, kStart, kCustomMeter),
    List("parsing.var1.length", C::READLG1, kDataLength, kCustomMeter),
    List("parsing.var2.command", C::RADCOM3, kReadCommand, kCustomMeter),
    Number("parsing.var2.start", C::READADR3, 0, 99, kStart, kCustomMeter),
    List("parsing.var2.length", C::READLG3, kDataLength, kCustomMeter),
    List("parsing.var3.command", C::RADCOM5, kReadCommand, kCustomMeter),
    Number("parsing.var3.start", C::READADR5, 0, 99, kStart, kCustomMeter),
    List("parsing.var3.length", C::READLG5, kDataLength, kCustomMeter),
    List("parsing.var4.command", C::RADCOM7, kReadCommand, kCustomMeter),
    Number("parsing.var4.start", C::READADR7, 0, 99, kStart, kCustomMeter),
    List("parsing.var4.length", C::READLG7, kDataLength, kCustomMeter),
    List("readCommand1.enable", C::ComboBox28, kOnOff, kCustomMeter),
    Field("readCommand1.bytes", C::Edit4, F::HexList, kCustomMeter),
    List("readCommand2.enable", C::ComboBox29, kOnOff, kCustomMeter),
    Field("readCommand2.bytes", C::Edit5, F::HexList, kCustomMeter),
    Field("monitoringCommand1.enable", C::ONECHECK01, F::Flag),
    Field("monitoringCommand1.bytes", C::ONECMAD01, F::HexList),
    Field("monitoringCommand2.enable", C::ONECHECK02, F::Flag),
    Field("monitoringCommand2.bytes", C::ONECMAD02, F::HexList),
};

}  // namespace

std::span<const ProfileSetting> ProfileSettings() { return kSettings; }

const ProfileSetting* FindProfileSetting(std::string_view name) {
    for (const ProfileSetting& s : kSettings) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

const ProfileSetting* FindProfileSetting(ConfigControl control) {
    for (const ProfileSetting& s : kSettings) {
        if (s.control == control) return &s;
    }
    return nullptr;
}
