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

struct HartDeviceReply {
    HartIdentity identity;
    uint8_t preambles = 0;  // preamble bytes the instrument asks for
    uint8_t universalRevision = 0;  // the HART revision it speaks: 5, 6, 7
    uint8_t deviceRevision = 0;
    // The three identifier bytes as one number, first byte most significant.
    uint32_t DeviceNumber() const;
};

// The command 0 reply; nullopt when the start marker is missing or the reply
// ends before the device identifier, so no stale bytes pass for data.
std::optional<HartDeviceReply> ParseHartCommand0Reply(std::span<const uint8_t> reply);

struct HartVariable {
    std::string valueText;
    int unitItem = 0;  // item of the unit lists
};

// Variables carried by a command 3 reply with `byteCount`: one more for each
// started step of five bytes past 11, at most four.
int HartVariableCount(uint8_t byteCount);

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
    std::vector<Variable> variables;
};

// The loop current and the variables of a command 3 reply, primary first;
// nullopt when the start marker is missing or the reply ends before the last
// variable its byte count calls for.
std::optional<HartDynamicValues> ParseHartCommand3Values(std::span<const uint8_t> reply);

// The variables of a command 3 reply as the window shows them: the texts
// HartValueText gives for their bytes; nullopt where ParseHartCommand3Values
// gives nullopt.
std::optional<std::vector<HartVariable>> ParseHartCommand3Reply(std::span<const uint8_t> reply,
                                                                char decimalSeparator);
