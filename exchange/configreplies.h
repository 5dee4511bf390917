// Decoders of the module's configuration replies (system, current-output,
// MODBUS and monitoring queries). A reply is not parsed from the left: each
// group is found by the first occurrence of its key and read at fixed
// positions after it. The decoders only report what they found; the window
// writes it into its controls, in the order given, and shows the conversion
// message where decoding stopped.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The module's configuration settings a reply reports, by what they mean.
// Profiles name them the same way ("rs485.baudRate" is Rs485BaudRate).
enum class ConfigSetting {
    // System parameters.
    Rs485BaudRate,
    Rs485Parity,
    SystemMode,
    ModbusSlaveAddress,
    ModbusPollInterval,
    Rs485ResponseTime,
    // Current output.
    OutputVar2Range4mA,
    OutputVar2Range20mA,
    OutputVar3Range4mA,
    OutputVar3Range20mA,
    OutputVar4Range4mA,
    OutputVar4Range20mA,
    OutputVar1Map,
    // Coefficients.
    CoefficientVar1Mode,
    CoefficientVar1,
    CoefficientVar2,
    CoefficientVar3,
    CoefficientVar4,
    // HART monitoring parameters.
    HartEnable,
    HartMode,
    HartMeterType,
    HartPreambles,
    HartBufferClearTime,
    ModbusFloatOrder40003,  // float byte orders of registers 40003..40009
    ModbusFloatOrder40005,
    ModbusFloatOrder40007,
    ModbusFloatOrder40009,
    // Custom HART command parsing.
    ParsingShown,  // whether the custom meter's parsing settings apply at all
    ParsingAddressBits,
    ParsingVar1Command,
    ParsingVar1Start,
    ParsingVar1Length,
    ParsingVar2Command,
    ParsingVar2Start,
    ParsingVar2Length,
    ParsingVar3Command,
    ParsingVar3Start,
    ParsingVar3Length,
    ParsingVar4Command,
    ParsingVar4Start,
    ParsingVar4Length,
    ReadCommand1Enable,
    ReadCommand1Bytes,
    ReadCommand2Enable,
    ReadCommand2Bytes,
    // Monitoring commands.
    MonitoringCommand1Enable,
    MonitoringCommand1Bytes,
    MonitoringCommand2Enable,
    MonitoringCommand2Bytes,
    // Set by the HART commands but written by no reply; profiles carry it.
    HartMeterId,
};

// The setting's name as written here ("Rs485BaudRate"), for diagnostics.
const char* ConfigSettingName(ConfigSetting setting);
// The setting's name as profiles and reports give it ("rs485.baudRate").
const char* ConfigSettingKey(ConfigSetting setting);

// How a decoded value is written.
enum class ConfigFieldKind {
    ItemIndex,  // select item `number` of a list; outside the items: no selection
    Text,       // set an edit's text to `text`
    Checked,    // check (`number` 1) or uncheck (0) a check box
    Visible,    // show (1) or hide (0) a group box
};

struct ConfigField {
    ConfigSetting setting;
    ConfigFieldKind kind;
    int number = 0;
    std::string text;

    bool operator==(const ConfigField&) const = default;
};

struct ConfigReply {
    // What to write, in the order the window writes it.
    std::vector<ConfigField> fields;
    // Set when a digit field is not a decimal integer: the characters that
    // failed. Decoding stopped there; `fields` holds everything before it.
    std::optional<std::string> failedText;
};

// The position of the first occurrence of `key` lying wholly inside `reply`;
// a '?' in the key matches any character.
std::optional<size_t> FindReplyKey(std::string_view reply, std::string_view key);

// Reply to "QQQ#QX#": nothing unless "QX" occurs.
ConfigReply DecodeSystemParameters(std::string_view reply);

// Reply to "QQQ#QD#".
ConfigReply DecodeCurrentOutputParameters(std::string_view reply);

// Reply to "QQQ#QQ0#": nothing unless "QQ" occurs. The meter type decides
// whether the custom parsing groups are decoded: the one decoded from the
// HART group, or else `meterTypeItem`, the selected item of the meter type
// list as the window has it (0 = custom meter).
ConfigReply DecodeModbusParameters(std::string_view reply, int meterTypeItem);

// Reply to "QQQ#RCAD01#" / "QQQ#RCAD02#".
ConfigReply DecodeMonitoringCommand(std::string_view reply);

// The four configuration replies, by the decoder that reads them.
enum class ConfigReplyKind { System, CurrentOutput, Modbus, Monitoring };

// The reply kind a query's request code asks for; nullopt for any other code.
std::optional<ConfigReplyKind> ConfigReplyKindOf(int requestCode);

// What became of one key a decoder looks for in a reply.
enum class ConfigKeyState {
    Found,     // its group was read
    Missing,   // the key does not occur: its controls keep their values
    CutShort,  // the key occurs but the reply ends inside its group: skipped whole
};

struct ConfigKeyCheck {
    std::string_view key;  // as the decoder looks for it, '?' = any character
    ConfigKeyState state;
    bool customMeterOnly = false;  // read only when the meter type is "custom"
    // Found or cut short: the group as the reply holds it, from the key's
    // first character to the last one its fields read (or the reply's end).
    std::string_view group;
};

// Every key the decoder of `kind` looks for, in its order, and what became of
// it in `reply`; the reply's own marker ("QX", "QQ") comes first where the
// decoder requires one.
std::vector<ConfigKeyCheck> CheckConfigReplyKeys(ConfigReplyKind kind, std::string_view reply);

// A reply held against the shape the module sends it in, every character in
// its place: the head ("QX#", "QD#", "QQ0#"; none before "RCAD"), the groups
// in their order with their separators (',', ';' in the MODBUS reply), every
// field in its encoding (a list's item within the list, digits, a number of
// five characters, a counted list of hex bytes) and the closing '#'. The
// custom meter's groups follow exactly when the meter type says custom.
// Noise ahead of the head is skipped; bytes after the '#' are not looked at.
struct ConfigReplyShape {
    enum class State {
        Cut,      // in shape as far as it goes, not whole yet (or no head yet)
        Whole,    // the whole reply, in shape
        Damaged,  // a character out of place: no good reply can follow from here
    };
    State state = State::Cut;
    size_t end = 0;      // whole: after the '#'; damaged: after the first character out of place
    std::string reason;  // damaged: "field rs485.baudRate: '7' is not one of 0..5"
};

// `row`: the monitoring row asked for ('1', '2'); 0 takes the one the reply names.
ConfigReplyShape CheckConfigReplyShape(ConfigReplyKind kind, std::string_view reply, char row = 0);
