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

const char* TimeoutMessage(int timeoutKind) {
    switch (timeoutKind) {
        case kTimeoutConnection: return "Connection Timeout!";
        case kTimeoutQuery: return "Parameter Query Timeout!";
        case kTimeoutSetting: return "Parameter Setting Timeout!";
        case kTimeoutHart: return "HART Command Timeout!";
        default: return nullptr;
    }
}
