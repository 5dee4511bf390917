// The request codes: what each pending request expects of its reply.
#pragma once

#include <span>

// Values of TimeoutKind; each picks one timeout message.
enum TimeoutKindValue : int {
    kTimeoutConnection = 1,
    kTimeoutQuery = 2,
    kTimeoutSetting = 3,
    kTimeoutHart = 4,
};

// What the receive handler does with a block that arrives under a code.
enum class AfterBlock {
    DecodeText,  // show as text, stop the timeout, start the 300 ms reply timer
    DecodeHex,   // show as hexadecimal text, stop the timeout, start the reply timer
    ShowHex,     // show as hexadecimal text, stop the timeout, keep the code
    ShowText,    // show as text, stop the timeout, clear the code (set-command acknowledgements)
};

struct RequestCode {
    int code;
    int timeoutKind;
    bool setsTimeout3000;  // false: the HART queries leave the timeout interval as last set
    AfterBlock after;
    const char* sentBy;
    const char* name;  // what the traffic log calls the request
};

inline constexpr RequestCode kRequestCodes[] = {
    {201, kTimeoutConnection, true, AfterBlock::DecodeText, "Button6 Communication Query",
     "Communication Query"},
    {202, kTimeoutQuery, true, AfterBlock::DecodeText, "Button23 System Parameters",
     "System Parameters Query"},
    {203, kTimeoutQuery, true, AfterBlock::DecodeText, "Button8 Parameter Query",
     "Current Output Query"},
    {301, kTimeoutQuery, true, AfterBlock::DecodeText, "Button31 MODBUS Parameter Query",
     "MODBUS Parameter Query"},
    {501, kTimeoutSetting, true, AfterBlock::DecodeText, "Button22/Button25 monitoring Query",
     "Monitoring Query"},
    {100, kTimeoutHart, false, AfterBlock::DecodeHex, "Button7 HART Device Parameter Query",
     "HART Command 0"},
    {103, kTimeoutHart, false, AfterBlock::DecodeHex, "Button16 HART Command Query",
     "HART Command 3"},
    {104, kTimeoutHart, false, AfterBlock::ShowHex, "Button20 manual HART command",
     "HART Typed Command"},
    {106, kTimeoutHart, true, AfterBlock::ShowHex, "Button14 HART address set", "HART Command 6"},
    {302, kTimeoutQuery, true, AfterBlock::ShowHex, "Button4 MODBUS Comm Test", "MODBUS Test"},
    {110, kTimeoutSetting, true, AfterBlock::ShowText, "Button2/3/5 current output range",
     "Current Output Setting"},
    {200, kTimeoutSetting, true, AfterBlock::ShowText, "configuration set commands",
     "Configuration Setting"},
};

// The entry of `code`; nullptr for 0 and for codes not in the table.
const RequestCode* FindRequestCode(int code);

// The request's name in the traffic log; "" for 0 and unknown codes.
const char* RequestName(int code);

// What happens to a block under `code`: unknown codes and 0 are shown as text and clear the code.
AfterBlock AfterBlockFor(int code);

// Message shown when the reply timeout fires, or nullptr for no message.
const char* TimeoutMessage(int timeoutKind);
