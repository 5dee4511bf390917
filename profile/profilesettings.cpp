#include "profile/profilesettings.h"

#include <string_view>

namespace {

using S = ConfigSetting;
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

constexpr ProfileSetting List(sv name, S setting, std::span<const sv> items, bool custom = false) {
    return {name, setting, F::Item, items, 0, 0, {}, custom};
}

constexpr ProfileSetting Number(sv name, S setting, int min, int max, sv meaning,
                                bool custom = false) {
    return {name, setting, F::Number, {}, min, max, meaning, custom};
}

constexpr ProfileSetting Field(sv name, S setting, F format, bool custom = false) {
    return {name, setting, format, {}, 0, 0, {}, custom};
}

constexpr ProfileSetting kSettings[] = {
    List("system.mode", S::SystemMode, kMode),
    // MODBUS slave addresses are 1 to 247: 0 is the broadcast, above 247 reserved.
    Number("system.slaveAddress", S::ModbusSlaveAddress, 1, 247, "a MODBUS slave address"),
    // Units of 10 ms; 000 is no interval at all.
    Number("system.pollInterval", S::ModbusPollInterval, 1, 999,
           "a polling interval in units of 10 ms"),
    List("rs485.responseTime", S::Rs485ResponseTime, kResponse),
    List("rs485.baudRate", S::Rs485BaudRate, kBaud),
    List("rs485.parity", S::Rs485Parity, kParity),
    List("output.var1Map", S::OutputVar1Map, kVar1Map),
    Field("output.var2.range4mA", S::OutputVar2Range4mA, F::RangeText),
    Field("output.var2.range20mA", S::OutputVar2Range20mA, F::RangeText),
    Field("output.var3.range4mA", S::OutputVar3Range4mA, F::RangeText),
    Field("output.var3.range20mA", S::OutputVar3Range20mA, F::RangeText),
    Field("output.var4.range4mA", S::OutputVar4Range4mA, F::RangeText),
    Field("output.var4.range20mA", S::OutputVar4Range20mA, F::RangeText),
    List("modbus.floatOrder40003", S::ModbusFloatOrder40003, kFloatOrder),
    List("modbus.floatOrder40005", S::ModbusFloatOrder40005, kFloatOrder),
    List("modbus.floatOrder40007", S::ModbusFloatOrder40007, kFloatOrder),
    List("modbus.floatOrder40009", S::ModbusFloatOrder40009, kFloatOrder),
    List("coefficient.var1Mode", S::CoefficientVar1Mode, kCoefficientMode),
    Field("coefficient.var1", S::CoefficientVar1, F::FiveChars),
    Field("coefficient.var2", S::CoefficientVar2, F::FiveChars),
    Field("coefficient.var3", S::CoefficientVar3, F::FiveChars),
    Field("coefficient.var4", S::CoefficientVar4, F::FiveChars),
    List("hart.meterId", S::HartMeterId, kMeterId),
    List("hart.enable", S::HartEnable, kEnable),
    List("hart.mode", S::HartMode, kHartMode),
    List("hart.meterType", S::HartMeterType, kMeterType),
    List("hart.preambles", S::HartPreambles, kPreambles),
    Number("hart.bufferClearTime", S::HartBufferClearTime, 0, 999,
           "a buffer clear time in seconds"),
    List("parsing.addressBits", S::ParsingAddressBits, kAddressBits, kCustomMeter),
    List("parsing.var1.command", S::ParsingVar1Command, kReadCommand, kCustomMeter),
    Number("parsing.var1.start", S::ParsingVar1Start, 0, 99, kStart, kCustomMeter),
    List("parsing.var1.length", S::ParsingVar1Length, kDataLength, kCustomMeter),
    List("parsing.var2.command", S::ParsingVar2Command, kReadCommand, kCustomMeter),
    Number("parsing.var2.start", S::ParsingVar2Start, 0, 99, kStart, kCustomMeter),
    List("parsing.var2.length", S::ParsingVar2Length, kDataLength, kCustomMeter),
    List("parsing.var3.command", S::ParsingVar3Command, kReadCommand, kCustomMeter),
    Number("parsing.var3.start", S::ParsingVar3Start, 0, 99, kStart, kCustomMeter),
    List("parsing.var3.length", S::ParsingVar3Length, kDataLength, kCustomMeter),
    List("parsing.var4.command", S::ParsingVar4Command, kReadCommand, kCustomMeter),
    Number("parsing.var4.start", S::ParsingVar4Start, 0, 99, kStart, kCustomMeter),
    List("parsing.var4.length", S::ParsingVar4Length, kDataLength, kCustomMeter),
    List("readCommand1.enable", S::ReadCommand1Enable, kOnOff, kCustomMeter),
    Field("readCommand1.bytes", S::ReadCommand1Bytes, F::HexList, kCustomMeter),
    List("readCommand2.enable", S::ReadCommand2Enable, kOnOff, kCustomMeter),
    Field("readCommand2.bytes", S::ReadCommand2Bytes, F::HexList, kCustomMeter),
    Field("monitoringCommand1.enable", S::MonitoringCommand1Enable, F::Flag),
    Field("monitoringCommand1.bytes", S::MonitoringCommand1Bytes, F::HexList),
    Field("monitoringCommand2.enable", S::MonitoringCommand2Enable, F::Flag),
    Field("monitoringCommand2.bytes", S::MonitoringCommand2Bytes, F::HexList),
};

}  // namespace

std::span<const ProfileSetting> ProfileSettings() { return kSettings; }

const ProfileSetting* FindProfileSetting(std::string_view name) {
    for (const ProfileSetting& s : kSettings) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

const ProfileSetting* FindProfileSetting(ConfigSetting setting) {
    for (const ProfileSetting& s : kSettings) {
        if (s.setting == setting) return &s;
    }
    return nullptr;
}
