// The request codes: every kind of request the program sends, named once. One
// row says what protocol the request speaks, how its reply is handled and
// which timeout message it gives. A new kind of request is one new row here
// (and its name in the enum).
#pragma once

#include <span>

// The codes. The numbers are the ones the window's pending request has always
// carried; nothing outside this header and the tests spells them.
enum RequestCodeValue : int {
    kCodeNone = 0,
    kCodeHartCommand0 = 100,
    kCodeHartCommand3 = 103,
    kCodeHartTyped = 104,
    kCodeHartCommand6 = 106,
    kCodeRangeSet = 110,
    // The instrument's universal commands beyond 0, 3 and 6: 120 + the command.
    kCodeHartCommand1 = 121,
    kCodeHartCommand2 = 122,
    kCodeHartCommand12 = 132,
    kCodeHartCommand13 = 133,
    kCodeHartCommand15 = 135,
    kCodeHartCommand17 = 137,
    kCodeHartCommand18 = 138,
    kCodeHartCommand34 = 154,
    kCodeHartCommand35 = 155,
    kCodeHartCommand38 = 158,
    kCodeHartCommand40 = 160,
    kCodeHartCommand41 = 161,
    kCodeHartCommand42 = 162,
    kCodeHartCommand44 = 164,
    kCodeHartCommand45 = 165,
    kCodeHartCommand46 = 166,
    kCodeHartCommand48 = 168,
    kCodeSet = 200,
    kCodeCommunicationQuery = 201,
    kCodeSystemQuery = 202,
    kCodeCurrentOutputQuery = 203,
    kCodeModbusQuery = 301,
    kCodeModbusTest = 302,
    kCodeMonitoringQuery = 501,
};

// Values of TimeoutKind; each picks one timeout message.
enum TimeoutKindValue : int {
    kTimeoutConnection = 1,
    kTimeoutQuery = 2,
    kTimeoutSetting = 3,
    kTimeoutHart = 4,
};

// What the request's frame and its reply are.
enum class Protocol {
    Config,  // the module's ASCII configuration frames
    Hart,    // a HART frame passed through the module's transparent mode
    Modbus,  // a MODBUS RTU frame
};

// What the receive handler does with a block that arrives under a code.
enum class AfterBlock {
    DecodeText,  // show as text, stop the timeout, start the 300 ms reply timer
    DecodeHex,   // show as hexadecimal text, stop the timeout, start the reply timer
    ShowHex,     // show as hexadecimal text, stop the timeout, keep the code
    ShowText,    // show as text, stop the timeout, clear the code (set-command acknowledgements)
};

// What the window's request does once the reply timer has decoded its reply.
enum class AfterDecode {
    StayPending,    // a reply that follows is decoded too
    End,            // no longer pending, the timeout stopped (HART command 0 and 3)
    EndAnswered,    // no longer pending, and no timeout message can follow (the version text)
    EndIfComplete,  // no longer pending once its decoder took the reply whole
};

struct RequestCode {
    int code;
    Protocol protocol;
    int timeoutKind;
    bool setsTimeout3000;  // false: the HART queries leave the timeout interval as last set
    AfterBlock after;
    const char* name;  // what the traffic log calls the request
    AfterDecode decoded = AfterDecode::StayPending;
};

inline constexpr RequestCode kRequestCodes[] = {
    {kCodeCommunicationQuery, Protocol::Config, kTimeoutConnection, true, AfterBlock::DecodeText,
     "Communication Query", AfterDecode::EndAnswered},
    {kCodeSystemQuery, Protocol::Config, kTimeoutQuery, true, AfterBlock::DecodeText,
     "System Parameters Query"},
    {kCodeCurrentOutputQuery, Protocol::Config, kTimeoutQuery, true, AfterBlock::DecodeText,
     "Current Output Query", AfterDecode::EndIfComplete},
    {kCodeModbusQuery, Protocol::Config, kTimeoutQuery, true, AfterBlock::DecodeText,
     "MODBUS Parameter Query"},
    {kCodeMonitoringQuery, Protocol::Config, kTimeoutSetting, true, AfterBlock::DecodeText,
     "Monitoring Query"},
    {kCodeHartCommand0, Protocol::Hart, kTimeoutHart, false, AfterBlock::DecodeHex,
     "HART Command 0", AfterDecode::End},
    {kCodeHartCommand3, Protocol::Hart, kTimeoutHart, false, AfterBlock::DecodeHex,
     "HART Command 3", AfterDecode::End},
    {kCodeHartTyped, Protocol::Hart, kTimeoutHart, false, AfterBlock::ShowHex,
     "HART Typed Command"},
    {kCodeHartCommand6, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex, "HART Command 6"},
    {kCodeHartCommand1, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 1"},
    {kCodeHartCommand2, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 2"},
    {kCodeHartCommand12, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 12"},
    {kCodeHartCommand13, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 13"},
    {kCodeHartCommand15, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 15"},
    {kCodeHartCommand17, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 17"},
    {kCodeHartCommand18, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 18"},
    {kCodeHartCommand34, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 34"},
    {kCodeHartCommand35, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 35"},
    {kCodeHartCommand38, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 38"},
    {kCodeHartCommand40, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 40"},
    {kCodeHartCommand41, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 41"},
    {kCodeHartCommand42, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 42"},
    {kCodeHartCommand44, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 44"},
    {kCodeHartCommand45, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 45"},
    {kCodeHartCommand46, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 46"},
    {kCodeHartCommand48, Protocol::Hart, kTimeoutHart, true, AfterBlock::ShowHex,
     "HART Command 48"},
    {kCodeModbusTest, Protocol::Modbus, kTimeoutQuery, true, AfterBlock::ShowHex, "MODBUS Test"},
    {kCodeRangeSet, Protocol::Config, kTimeoutSetting, true, AfterBlock::ShowText,
     "Current Output Setting"},
    {kCodeSet, Protocol::Config, kTimeoutSetting, true, AfterBlock::ShowText,
     "Configuration Setting"},
};

// The entry of `code`; nullptr for 0 and for codes not in the table.
const RequestCode* FindRequestCode(int code);

// The request's name in the traffic log; "" for 0 and unknown codes.
const char* RequestName(int code);

// Whether `code` is a request in HART (transparent mode); false for unknown codes.
bool IsHartRequest(int code);

// What happens to a block under `code`: unknown codes and 0 are shown as text and clear the code.
AfterBlock AfterBlockFor(int code);

// What a decoded reply does to the request of `code`; unknown codes stay pending.
AfterDecode AfterDecodeFor(int code);

// The code of HART command `command` (0, 1, 2, 3, 6, 12, 13, 15, 17, 18, 34,
// 35, 38, 40-42, 44-46, 48); kCodeNone for a command the program does not send by number.
int HartCommandCode(int command);

// Message shown when the reply timeout fires, or nullptr for no message.
const char* TimeoutMessage(int timeoutKind);
