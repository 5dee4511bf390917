// The two status bytes that open every HART reply's data: the response code
// (or, with bit 7 set, the communication error bits) and the field device
// status (common practice command set: response codes and status bits). One
// table of names, for the frame annotator and the reply verdicts alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr uint8_t kHartCommunicationError = 0x80;

// The meaning of a slave's first status byte, e.g. "0 success",
// "64 command not implemented", "communication error: framing".
std::string HartResponseCodeText(uint8_t code);
// The same for a reply to `command`: codes whose meaning that command gives
// ("9 lower range value too high" for 35) are named, the rest as above.
std::string HartResponseCodeText(uint8_t code, int command);

// Response codes that report the command carried out with a warning (its data
// valid): 8, 14, 24-27, 30, 31 and the command-specific warnings 96-111.
// Every other non-zero code, and every communication error, is an error.
bool HartResponseCodeIsWarning(uint8_t code);

// What a first status byte says of the command it answers. The codes with one
// meaning for every command (1-7, 16-23, 32-36, 64) are errors wherever they
// come; 8, 14, 24-27, 30, 31 and 96-111 are warnings, the rest of the
// command-specific codes errors, as the public response code classes give
// them. A communication error is an error.
enum class HartResponseClass { Success, Warning, Error };
HartResponseClass HartResponseCodeClass(uint8_t code, int command);

// How much a device status byte matters to whoever reads the values:
// malfunction is a fault; a fixed or saturated loop current and variables out
// of limits are warnings; configuration changed, cold start and more status
// available are notices only.
enum class HartStatusSeverity { None, Notice, Warning, Fault };
HartStatusSeverity HartDeviceStatusSeverity(uint8_t status);

// The communication error bits of a first status byte with bit 7 set, named.
std::vector<std::string> HartCommunicationErrors(uint8_t firstByte);

// The set bits of the device status byte, most significant first, named.
std::vector<std::string> HartDeviceStatusBits(uint8_t status);

// Those names in one line, "device OK" when none is set.
std::string HartDeviceStatusText(uint8_t status);
