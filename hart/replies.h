// Decoding of the instrument's replies to commands 0 and 3. Bytes in, fields
// out; nothing is read past the reply given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hart/frames.h"

// Delimiters of slave-to-master frames: short and long address.
inline constexpr uint8_t kShortReplyDelimiter = 0x06;
inline constexpr uint8_t kLongReplyDelimiter = 0x86;

// Offset of the first preamble byte 0xFF directly followed by `delimiter`
// (never 0xFF itself), trying offsets 0 to size - 5; nullopt when there is
// none (always for replies shorter than five bytes). Preamble runs followed by
// another byte are passed over, as in FindHartFrameStart.
std::optional<size_t> FindHartStart(std::span<const uint8_t> reply, uint8_t delimiter);

// The command 0 reply as its revision lays it out. Data bytes 0-11 are common
// to every revision; 12-16 came with revision 6, 17-21 with revision 7.
struct HartDeviceReply {
    // Bytes 1 and 2 and the identifier, as the long address takes them: in
    // revision 7 bytes 1-2 are the expanded device type, whose low 14 bits
    // are the address's first two bytes just as manufacturer and device type
    // were before.
    HartIdentity identity;
    uint8_t preambles = 0;  // preamble bytes the instrument asks for
    uint8_t universalRevision = 0;  // the HART revision it speaks: 5, 6, 7
    uint8_t deviceRevision = 0;
    // Revision 7: data bytes 17-18; before: byte 1.
    uint16_t manufacturerCode = 0;
    // Revision 7: data bytes 1-2; before: the 8-bit device type of byte 2.
    uint16_t expandedDeviceType = 0;
    // Revision 6 on, where the reply holds them.
    std::optional<uint8_t> replyPreambles{};    // preambles the instrument sends
    std::optional<uint8_t> deviceVariables{};   // its last device variable code
    std::optional<uint16_t> configChangeCounter{};
    std::optional<uint8_t> extendedStatus{};
    // Revision 7, where the reply holds them.
    std::optional<uint16_t> distributorCode{};  // private label distributor
    std::optional<uint8_t> deviceProfile{};
    // The three identifier bytes as one number, first byte most significant.
    uint32_t DeviceNumber() const;
};

// The command 0 reply; nullopt when the start marker is missing or the reply
// ends before its revision's mandatory fields, so no stale bytes pass for
// data. Mandatory: data bytes 0-11 (up to the identifier) for every revision
// and, from revision 7 on, bytes 17-18 as well, since byte 1 no longer names
// the manufacturer there. Later fields are decoded as far as the reply's
// byte count and length both reach, each whole or not at all.
std::optional<HartDeviceReply> ParseHartCommand0Reply(std::span<const uint8_t> reply);

// The identity in the one form every output gives it, e.g.
// "manufacturer 0x0060, device type 0xE42D, id 1193046, HART 7"; before
// revision 7 the device type is the two digits of its one byte.
std::string HartIdentityText(const HartDeviceReply& device);

struct HartVariable {
    std::string valueText;
    int unitItem = 0;  // item of the unit lists
};

// Variables carried by a command 3 reply with `byteCount`: none for 6 (the
// loop current only), one more for each started step of five bytes past 6,
// at most four.
int HartVariableCount(uint8_t byteCount);

// A HART float (IEEE 754 single, most significant byte first) as a number;
// NaN for "not available": 7F A0 00 00, any NaN, and any value whose first
// byte is 0x7F, which the window shows as "00000000" alike.
float HartFloat(std::span<const uint8_t, 4> bytes);
// A decoded value that is "not available".
bool HartNotAvailable(float value);
inline constexpr const char* kHartNotAvailableText = "not available";
// A value for the tool's own outputs: "not available", or the number with up
// to seven significant digits ("12.5", "1.5e-07").
std::string HartNumberText(float value);

// The shown text of a HART float (IEEE 754 single, most significant byte
// first): "00000000" when the first byte is 0x7F (instruments send 7F A0 00 00
// for "not available"), else the general text fitted to nine characters,
// plain from 0.00001 up.
std::string HartValueText(std::span<const uint8_t, 4> bytes, char decimalSeparator);

// Command 3 as numbers, for comparing and plotting.
struct HartDynamicValues {
    struct Variable {
        float value = 0;  // NaN when the instrument marks it "not available"
        int unitCode = 0;
        int unitItem = 0;               // item of the unit lists
        std::array<uint8_t, 4> wire{};  // the value's bytes as received, for its shown text
    };
    float loopCurrent = 0;  // mA; NaN when not available
    std::vector<Variable> variables;  // 0 to 4
    uint8_t responseCode = 0;         // 0, or the warning the values came with
};

// The loop current and the variables of a command 3 reply, primary first;
// nullopt when the start marker is missing, the reply ends before the last
// variable its byte count calls for, or it reports an error. A warning's
// values are valid and kept with its code.
std::optional<HartDynamicValues> ParseHartCommand3Values(std::span<const uint8_t> reply);

// The variables of a command 3 reply as the window shows them: the texts
// HartValueText gives for their bytes; nullopt where ParseHartCommand3Values
// gives nullopt.
std::optional<std::vector<HartVariable>> ParseHartCommand3Reply(std::span<const uint8_t> reply,
                                                                char decimalSeparator);
