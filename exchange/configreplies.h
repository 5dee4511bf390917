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

// The window controls a configuration reply writes, by designer name.
enum class ConfigControl {
    // System parameters.
    ComboBox8,  // RS485 baud rate
    ComboBox9,  // RS485 parity
    ComboBox7,  // operation mode
    Edit14,     // MODBUS slave address (Edit18 follows it)
    Edit6,      // MODBUS polling interval
    RS485ADY,   // RS485 response time
    // Current output.
    D2M4,
    D2M20,
    D3M4,
    D3M20,
    D4M4,
    D4M20,
    YINSHE,  // variable 1 map
    // Coefficients.
    ComboBox18,  // variable 1 coefficient mode
    Beilv,       // variable 1 coefficient
    xishu2,
    xishu3,
    xishu4,
    // HART monitoring parameters.
    ComboBox6,   // enable
    ComboBox16,  // HART mode
    ComboBox17,  // meter type
    ComboBox34,  // preamble length
    Edit2,       // buffer clear time
    FAMOUT3,     // float byte orders of registers 40003..40009
    FAMOUT5,
    FAMOUT7,
    FAMOUT9,
    // Custom HART command parsing.
    GroupBox13,
    ComboBox15,  // address bits
    RADCOM1,
    READADR1,
    READLG1,
    RADCOM3,
    READADR3,
    READLG3,
    RADCOM5,
    READADR5,
    READLG5,
    RADCOM7,
    READADR7,
    READLG7,
    ComboBox28,  // read meter command 1 on/off
    Edit4,       // read meter command 1 bytes
    ComboBox29,
    Edit5,
    // Monitoring commands.
    ONECHECK01,
    ONECMAD01,
    ONECHECK02,
    ONECMAD02,
    // Set by the HART commands but written by no reply; profiles carry it.
    ComboBox41,  // meter id
};

// The designer name of `control`, for diagnostics.
const char* ConfigControlName(ConfigControl control);

// How a decoded value is written.
enum class ConfigFieldKind {
    ItemIndex,  // select item `number` of a list; outside the items: no selection
    Text,       // set an edit's text to `text`
    Checked,    // check (`number` 1) or uncheck (0) a check box
    Visible,    // show (1) or hide (0) a group box
};

struct ConfigField {
    ConfigControl control;
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
