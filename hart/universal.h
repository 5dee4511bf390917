// The universal commands a commissioning engineer needs beyond 0, 3 and 6:
// read the primary variable (1), the loop current and percent of range (2),
// the message (12), tag, descriptor and date (13), the device information
// (15) and the additional device status (48); write the message (17), tag,
// descriptor and date (18), the range values (35) and enter or leave fixed
// current mode (40). Frames out, fields in; pure. Every decoder finds the
// long-frame reply itself and reads nothing past it.
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
    kHartReadMessage = 12,
    kHartReadTag = 13,
    kHartReadDeviceInfo = 15,
    kHartWriteMessage = 17,
    kHartWriteTag = 18,
    kHartWriteRange = 35,
    kHartFixCurrent = 40,
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

// The status and data of a long-frame reply to `command`.
struct HartReplyBody {
    uint8_t responseCode = 0;
    uint8_t deviceStatus = 0;
    std::vector<uint8_t> data;  // after the two status bytes
};

// The reply's body; nullopt when no long-frame reply to `command` with its
// whole byte count (and checksum byte) is there.
std::optional<HartReplyBody> ParseHartReplyBody(std::span<const uint8_t> reply, uint8_t command);

struct HartPrimaryVariable {
    uint8_t unitCode = 0;
    int unitItem = 0;
    float value = 0;  // NaN when not available
};
struct HartLoopReading {
    float current = 0;  // mA
    float percent = 0;  // of range
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
};

// Each decoder: nullopt when the reply is not one to its command, its
// response code is not 0 or its data is shorter than the command's layout.
std::optional<HartPrimaryVariable> ParseHartCommand1(std::span<const uint8_t> reply);
std::optional<HartLoopReading> ParseHartCommand2(std::span<const uint8_t> reply);
std::optional<std::string> ParseHartMessage(std::span<const uint8_t> reply, uint8_t command = 12);
std::optional<HartTagRecord> ParseHartTag(std::span<const uint8_t> reply, uint8_t command = 13);
std::optional<HartDeviceInfo> ParseHartCommand15(std::span<const uint8_t> reply);
std::optional<HartRange> ParseHartCommand35(std::span<const uint8_t> reply);
// The fixed current the instrument reports (0 when it left fixed mode).
std::optional<float> ParseHartCommand40(std::span<const uint8_t> reply);
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
