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
constexpr sv kMeterId[] = {"0"};
constexpr sv kEnable[] = {"Close", "Open"};
constexpr sv kHartMode[] = {"Secondary Master Device", "Master Device"};
constexpr sv kMeterType[] = {"0)Custom Meter", "1)Universal Meter"};
constexpr sv kPreambles[] = {"4", "5", "6", "7", "8", "9"};
constexpr sv kAddressBits[] = {"3", "4", "5", "6", "7", "8", "9"};
constexpr sv kReadCommand[] = {"0 Not Analytic", "1 Read Command 1", "2 Read Command 2"};
constexpr sv kDataLength[] = {"4-Bit", "8-Bit"};
constexpr sv kOnOff[] = {"0 Close", "1 Open"};

constexpr ProfileSetting kSettings[] = {
    {"system.mode", C::ComboBox7, F::Item, kMode},
    {"system.slaveAddress", C::Edit14, F::Number, {}, 999},
    {"system.pollInterval", C::Edit6, F::Number, {}, 999},  // units of 10 ms
    {"rs485.responseTime", C::RS485ADY, F::Item, kResponse},
    {"rs485.baudRate", C::ComboBox8, F::Item, kBaud},
    {"rs485.parity", C::ComboBox9, F::Item, kParity},
    {"output.var1Map", C::YINSHE, F::Item, kVar1Map},
    {"output.var2.range4mA", C::D2M4, F::RangeText},
    {"output.var2.range20mA", C::D2M20, F::RangeText},
    {"output.var3.range4mA", C::D3M4, F::RangeText},
    {"output.var3.range20mA", C::D3M20, F::RangeText},
    {"output.var4.range4mA", C::D4M4, F::RangeText},
    {"output.var4.range20mA", C::D4M20, F::RangeText},
    {"modbus.floatOrder40003", C::FAMOUT3, F::Item, kFloatOrder},
    {"modbus.floatOrder40005", C::FAMOUT5, F::Item, kFloatOrder},
    {"modbus.floatOrder40007", C::FAMOUT7, F::Item, kFloatOrder},
    {"modbus.floatOrder40009", C::FAMOUT9, F::Item, kFloatOrder},
    {"coefficient.var1Mode", C::ComboBox18, F::Item, kCoefficientMode},
    {"coefficient.var1", C::Beilv, F::FiveChars},
    {"coefficient.var2", C::xishu2, F::FiveChars},
    {"coefficient.var3", C::xishu3, F::FiveChars},
    {"coefficient.var4", C::xishu4, F::FiveChars},
    {"hart.meterId", C::ComboBox41, F::Item, kMeterId},
    {"hart.enable", C::ComboBox6, F::Item, kEnable},
    {"hart.mode", C::ComboBox16, F::Item, kHartMode},
    {"hart.meterType", C::ComboBox17, F::Item, kMeterType},
    {"hart.preambles", C::ComboBox34, F::Item, kPreambles},
    {"hart.bufferClearTime", C::Edit2, F::Number, {}, 999},  // seconds
    {"parsing.addressBits", C::ComboBox15, F::Item, kAddressBits, 0, true},
    {"parsing.var1.command", C::RADCOM1, F::Item, kReadCommand, 0, true},
    {"parsing.var1.start", C::READADR1, F::Number, {}, 99, true},
    {"parsing.var1.length", C::READLG1, F::Item, kDataLength, 0, true},
    {"parsing.var2.command", C::RADCOM3, F::Item, kReadCommand, 0, true},
    {"parsing.var2.start", C::READADR3, F::Number, {}, 99, true},
    {"parsing.var2.length", C::READLG3, F::Item, kDataLength, 0, true},
    {"parsing.var3.command", C::RADCOM5, F::Item, kReadCommand, 0, true},
    {"parsing.var3.start", C::READADR5, F::Number, {}, 99, true},
    {"parsing.var3.length", C::READLG5, F::Item, kDataLength, 0, true},
    {"parsing.var4.command", C::RADCOM7, F::Item, kReadCommand, 0, true},
    {"parsing.var4.start", C::READADR7, F::Number, {}, 99, true},
    {"parsing.var4.length", C::READLG7, F::Item, kDataLength, 0, true},
    {"readCommand1.enable", C::ComboBox28, F::Item, kOnOff, 0, true},
    {"readCommand1.bytes", C::Edit4, F::HexList, {}, 0, true},
    {"readCommand2.enable", C::ComboBox29, F::Item, kOnOff, 0, true},
    {"readCommand2.bytes", C::Edit5, F::HexList, {}, 0, true},
    {"monitoringCommand1.enable", C::ONECHECK01, F::Flag},
    {"monitoringCommand1.bytes", C::ONECMAD01, F::HexList},
    {"monitoringCommand2.enable", C::ONECHECK02, F::Flag},
    {"monitoringCommand2.bytes", C::ONECMAD02, F::HexList},
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
