// The universal commands a commissioning engineer needs beyond 0, 3 and 6:
// read the primary variable (1), the loop current and percent of range (2),
// the message (12), tag, descriptor and date (13), the device information
// (15) and the additional device status (48); write the polling address (6),
// the message (17), tag, descriptor and date (18), the damping (34), the
// range values (35), the primary variable's unit (44); enter or leave fixed
// current mode (40), trim the loop current (45, 46), reset the configuration
// changed flag (38), self test (41) and device reset (42). Frames out, fields
// in; pure. Every decoder finds the long-frame reply itself and reads nothing
// past it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hart/frames.h"

// Universal command numbers, as they travel in the frame's command byte.
enum HartCommandNumber : uint8_t {
    kHartReadPrimaryVariable = 1,
    kHartReadLoopCurrent = 2,
    kHartWritePollingAddress = 6,
    kHartReadMessage = 12,
    kHartReadTag = 13,
    kHartReadDeviceInfo = 15,
    kHartWriteMessage = 17,
    kHartWriteTag = 18,
    kHartWriteDamping = 34,
    kHartWriteRange = 35,
    kHartResetConfigChanged = 38,
    kHartFixCurrent = 40,
    kHartSelfTest = 41,
    kHartDeviceReset = 42,
    kHartWritePvUnits = 44,
    kHartTrimLoopZero = 45,
    kHartTrimLoopGain = 46,
    kHartReadMoreStatus = 48,
};

// Packed ASCII: six bits a character, four characters in three bytes. Only
// the characters from '@' to '_' and from ' ' to '?' exist; lower-case
// letters are sent as capitals, as every HART master does.
inline constexpr int kHartTagChars = 8;
inline constexpr int kHartDescriptorChars = 16;
inline constexpr int kHartMessageChars = 32;

// `text` upper-cased and padded with blanks to `characters` (a multiple of
// four), packed. nullopt, with `error` naming the first character that has no
// packed form or saying the text is too long.
std::optional<HartBytes> PackAscii(std::string_view text, int characters, std::string* error);
// Four characters for every three bytes (a trailing part of three is ignored).
std::string UnpackAscii(std::span<const uint8_t> bytes);
// `text` without its trailing blanks: packed fields are padded with them.
std::string TrimPacked(std::string text);

struct HartDate {
    int day = 1;
    int month = 1;
    int year = 2000;  // sent as year - 1900
    bool operator==(const HartDate&) const = default;
};

struct HartTagRecord {
    std::string tag;         // up to 8 characters
    std::string descriptor;  // up to 16
    HartDate date;
    bool operator==(const HartTagRecord&) const = default;
};

struct HartRange {
    uint8_t unitCode = 0;
    float upper = 0;  // upper range value: 20 mA
    float lower = 0;  // lower range value: 4 mA
    uint8_t responseCode = 0;  // of a reply: 0 or the warning it came with
};

// The data of a write, or why it cannot be sent: a write is built whole or
// not at all.
struct HartWriteData {
    HartBytes data;
    std::string error;
    bool ok() const { return error.empty(); }
};

HartWriteData HartMessageData(std::string_view message);  // command 17
HartWriteData HartTagData(const HartTagRecord& record);   // command 18
HartWriteData HartRangeData(const HartRange& range);      // command 35
HartBytes HartFixedCurrentData(float milliamperes);       // command 40; 0 leaves fixed mode
HartWriteData HartDampingData(float seconds);             // command 34
HartBytes HartPvUnitsData(uint8_t unitCode);              // command 44
// Commands 45 and 46: the loop current measured outside the instrument.
HartWriteData HartTrimCurrentData(float milliamperes);
// Command 38: revision 7 names the configuration change counter it resets
// the flag for (the one its command 0 reported); earlier revisions send none.
HartBytes HartResetConfigChangedData(int revision, uint16_t changeCounter);
// Command 6: the polling address, and from revision 6 on the loop current
// mode (1 the current follows the primary variable, 0 it is parked at 4 mA).
HartBytes HartPollingAddressData(int address, int revision, bool loopCurrentEnabled);

// The status and data of a long-frame reply to `command`.
struct HartReplyBody {
    uint8_t responseCode = 0;
    uint8_t deviceStatus = 0;
    std::vector<uint8_t> data;  // after the two status bytes
    // Success or a warning: the command was carried out and its data is valid.
    bool CarriedOut() const;
};

// The reply's body; nullopt when no long-frame reply to `command` with its
// whole byte count and a checksum that checks is there. A candidate start
// that makes no such frame (noise holding FF 86) is passed over for the next.
std::optional<HartReplyBody> ParseHartReplyBody(std::span<const uint8_t> reply, uint8_t command);

// In every decoded reply below, `responseCode` is 0 or the warning the data
// came with.
struct HartPrimaryVariable {
    uint8_t unitCode = 0;
    int unitItem = 0;
    float value = 0;  // NaN when not available
    uint8_t responseCode = 0;
};
struct HartLoopReading {
    float current = 0;  // mA
    float percent = 0;  // of range
    uint8_t responseCode = 0;
};
// A value a command echoes as the instrument took it: the damping set (34),
// the fixed current (40), the trimmed level (45, 46).
struct HartEcho {
    float value = 0;
    uint8_t responseCode = 0;
};
struct HartPollingAddress {
    uint8_t address = 0;
    std::optional<uint8_t> loopCurrentMode{};  // revision 6 on
    uint8_t responseCode = 0;
};
struct HartUnitsReply {
    uint8_t unitCode = 0;
    int unitItem = 0;
    uint8_t responseCode = 0;
};
struct HartConfigChangedReply {
    std::optional<uint16_t> changeCounter{};  // revision 7
    uint8_t responseCode = 0;
};
struct HartDeviceInfo {
    uint8_t alarmSelection = 0;
    uint8_t transferFunction = 0;
    uint8_t rangeUnitCode = 0;
    int rangeUnitItem = 0;
    float upper = 0;
    float lower = 0;
    float damping = 0;         // seconds
    uint8_t writeProtect = 0;  // 0 no, 1 yes, 250 not used
    bool WriteProtected() const { return writeProtect == 1; }
    uint8_t responseCode = 0;
};

// Each decoder: nullopt when the reply is not one to its command, its
// response code is an error or its data is shorter than the command's layout.
std::optional<HartPrimaryVariable> ParseHartCommand1(std::span<const uint8_t> reply);
std::optional<HartLoopReading> ParseHartCommand2(std::span<const uint8_t> reply);
std::optional<std::string> ParseHartMessage(std::span<const uint8_t> reply, uint8_t command = 12);
std::optional<HartTagRecord> ParseHartTag(std::span<const uint8_t> reply, uint8_t command = 13);
std::optional<HartDeviceInfo> ParseHartCommand15(std::span<const uint8_t> reply);
std::optional<HartRange> ParseHartCommand35(std::span<const uint8_t> reply);
// The fixed current the instrument reports (0 when it left fixed mode).
std::optional<float> ParseHartCommand40(std::span<const uint8_t> reply);
std::optional<HartEcho> ParseHartCommand40Reply(std::span<const uint8_t> reply);
std::optional<HartPollingAddress> ParseHartCommand6(std::span<const uint8_t> reply);
std::optional<HartEcho> ParseHartCommand34(std::span<const uint8_t> reply);
std::optional<HartConfigChangedReply> ParseHartCommand38(std::span<const uint8_t> reply);
std::optional<HartUnitsReply> ParseHartCommand44(std::span<const uint8_t> reply);
// 45 or 46.
std::optional<HartEcho> ParseHartTrimReply(std::span<const uint8_t> reply, uint8_t command);
// Commands without reply data (41, 42): the response code when carried out.
std::optional<uint8_t> ParseHartCarriedOut(std::span<const uint8_t> reply, uint8_t command);
// The additional status bytes, as many as came (at most 25).
std::optional<std::vector<uint8_t>> ParseHartCommand48(std::span<const uint8_t> reply);

// One byte of the additional device status: what it is and its set bits named
// where the meaning is common to every device.
struct HartStatusByte {
    int index = 0;
    std::string what;  // "extended device status", "device-specific status 0"
    uint8_t value = 0;
    std::vector<std::string> setBits;
};
std::vector<HartStatusByte> HartAdditionalStatus(std::span<const uint8_t> bytes);

// "high", "low", "hold last output value", "none", "not used"; else the number.
std::string HartAlarmSelectionText(uint8_t code);
// "linear", "square root", ...; else the number.
std::string HartTransferFunctionText(uint8_t code);
// "no", "yes", "not used"; else the number.
std::string HartWriteProtectText(uint8_t code);
