#include "hart/status.h"

namespace {

struct Named {
    int value;
    const char* text;
};

// Command response codes with one meaning for every command.
constexpr Named kResponseCodes[] = {
    {0, "success"},
    {1, "undefined"},
    {2, "invalid selection"},
    {3, "passed parameter too large"},
    {4, "passed parameter too small"},
    {5, "too few data bytes received"},
    {6, "device-specific command error"},
    {7, "in write-protect mode"},
    {16, "access restricted"},
    {17, "invalid device variable index"},
    {18, "invalid units code"},
    {19, "device variable index not allowed"},
    {20, "invalid extended command number"},
    {32, "busy"},
    {33, "delayed response initiated"},
    {34, "delayed response running"},
    {35, "delayed response dead"},
    {36, "delayed response conflict"},
    {64, "command not implemented"},
};

// Codes whose meaning depends on the command.
struct CommandCode {
    int command;
    int code;
    const char* text;
};
constexpr CommandCode kCommandCodes[] = {
    {6, 9, "invalid polling address selection"},
    {6, 12, "invalid mode selection"},
    {34, 8, "set to nearest possible value"},
    {38, 9, "configuration change counter mismatch"},
    {44, 12, "invalid units code"},
    {45, 9, "incorrect loop current mode or value"},
    {45, 11, "in multidrop mode"},
    {46, 9, "incorrect loop current mode or value"},
    {46, 11, "in multidrop mode"},
    {35, 9, "lower range value too high"},
    {35, 10, "lower range value too low"},
    {35, 11, "upper range value too high"},
    {35, 12, "upper range value too low"},
    {35, 13, "upper and lower range values out of limits"},
    {35, 14, "span too small"},
    {35, 18, "invalid units code"},
    {35, 29, "invalid span"},
    {40, 11, "in multidrop mode"},
    {48, 8, "update in progress"},
    {48, 14, "status bytes mismatch"},
};

// Bits of the first status byte when its top bit reports a communication error.
constexpr Named kCommunicationErrors[] = {
    {0x40, "vertical parity"},     {0x20, "overrun"},         {0x10, "framing"},
    {0x08, "longitudinal parity"}, {0x02, "buffer overflow"},
};

constexpr Named kDeviceStatus[] = {
    {0x80, "device malfunction"},
    {0x40, "configuration changed"},
    {0x20, "cold start"},
    {0x10, "more status available"},
    {0x08, "loop current fixed"},
    {0x04, "loop current saturated"},
    {0x02, "non-primary variable out of limits"},
    {0x01, "primary variable out of limits"},
};

template <size_t N>
std::vector<std::string> SetBits(const Named (&table)[N], int value) {
    std::vector<std::string> names;
    for (const Named& entry : table)
        if (value & entry.value) names.emplace_back(entry.text);
    return names;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

std::string HartResponseCodeText(uint8_t code) {
    if (code & kHartCommunicationError) {
        const std::string bits = Joined(HartCommunicationErrors(code));
        return "communication error" + (bits.empty() ? std::string() : ": " + bits);
    }
    for (const Named& entry : kResponseCodes)
        if (entry.value == code) return std::to_string(code) + " " + entry.text;
    return std::to_string(code) + " command-specific";
}

std::string HartResponseCodeText(uint8_t code, int command) {
    for (const CommandCode& entry : kCommandCodes)
        if (entry.command == command && entry.code == code)
            return std::to_string(code) + " " + entry.text;
    return HartResponseCodeText(code);
}

std::vector<std::string> HartCommunicationErrors(uint8_t firstByte) {
    if (!(firstByte & kHartCommunicationError)) return {};
    return SetBits(kCommunicationErrors, firstByte);
}

std::vector<std::string> HartDeviceStatusBits(uint8_t status) {
    return SetBits(kDeviceStatus, status);
}

std::string HartDeviceStatusText(uint8_t status) {
    return status == 0 ? "device OK" : Joined(HartDeviceStatusBits(status));
}

bool HartResponseCodeIsWarning(uint8_t code) {
    if (code & kHartCommunicationError) return false;
    return code == 8 || code == 14 || (code >= 24 && code <= 27) || code == 30 || code == 31 ||
           (code >= 96 && code <= 111);
}

HartStatusSeverity HartDeviceStatusSeverity(uint8_t status) {
    if (status & 0x80) return HartStatusSeverity::Fault;
    if (status & 0x0F) return HartStatusSeverity::Warning;
    if (status & 0x70) return HartStatusSeverity::Notice;
    return HartStatusSeverity::None;
}

HartResponseClass HartResponseCodeClass(uint8_t code, int /*command*/) {
    // The classes are the same for every command; the command only changes
    // what a code is called.
    if (code == 0) return HartResponseClass::Success;
    return HartResponseCodeIsWarning(code) ? HartResponseClass::Warning : HartResponseClass::Error;
}
