#include "exchange/requestcodes.h"

const RequestCode* FindRequestCode(int code) {
    for (const RequestCode& entry : kRequestCodes) {
        if (entry.code == code) return &entry;
    }
    return nullptr;
}

const char* RequestName(int code) {
    const RequestCode* entry = FindRequestCode(code);
    return entry ? entry->name : "";
}

bool IsHartRequest(int code) {
    const RequestCode* entry = FindRequestCode(code);
    return entry && entry->protocol == Protocol::Hart;
}

AfterBlock AfterBlockFor(int code) {
    const RequestCode* entry = FindRequestCode(code);
    return entry ? entry->after : AfterBlock::ShowText;
}

AfterDecode AfterDecodeFor(int code) {
    const RequestCode* entry = FindRequestCode(code);
    return entry ? entry->decoded : AfterDecode::StayPending;
}

const char* TimeoutMessage(int timeoutKind) {
    switch (timeoutKind) {
        case kTimeoutConnection: return "Connection Timeout!";
        case kTimeoutQuery: return "Parameter Query Timeout!";
        case kTimeoutSetting: return "Parameter Setting Timeout!";
        case kTimeoutHart: return "HART Command Timeout!";
        default: return nullptr;
    }
}

int HartCommandCode(int command) {
    switch (command) {
        case 0: return kCodeHartCommand0;
        case 1: return kCodeHartCommand1;
        case 2: return kCodeHartCommand2;
        case 3: return kCodeHartCommand3;
        case 6: return kCodeHartCommand6;
        case 12: return kCodeHartCommand12;
        case 13: return kCodeHartCommand13;
        case 15: return kCodeHartCommand15;
        case 17: return kCodeHartCommand17;
        case 18: return kCodeHartCommand18;
        case 34: return kCodeHartCommand34;
        case 35: return kCodeHartCommand35;
        case 38: return kCodeHartCommand38;
        case 40: return kCodeHartCommand40;
        case 41: return kCodeHartCommand41;
        case 42: return kCodeHartCommand42;
        case 44: return kCodeHartCommand44;
        case 45: return kCodeHartCommand45;
        case 46: return kCodeHartCommand46;
        case 48: return kCodeHartCommand48;
        default: return kCodeNone;
    }
}
