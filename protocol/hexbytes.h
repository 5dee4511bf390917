// Hexadecimal byte text as the engineer types it and as every display shows
// bytes: two upper-case digits per byte, groups separated by one blank
// ("01 0F 2A"). Read by the command edits, the manual HART frame and the
// IEEE 754 calculator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Two upper-case hexadecimal digits for 0…255 ("06", "FF"); "." for larger values.
std::string ByteToHex(int value);

// Each byte as ByteToHex, one blank between: "01 0F 2A".
std::string HexText(std::span<const uint8_t> bytes);
std::string HexText(std::string_view bytes);

// Each byte as ByteToHex followed by one blank, the last too: "01 0F 2A ", as
// the window's receive and send boxes have always shown bytes.
std::string HexTextTrailingBlank(std::span<const uint8_t> bytes);
std::string HexTextTrailingBlank(std::string_view bytes);

// Groups in a text of `length` characters: one per three characters, plus one
// for a last pair without its blank; a single character left over is ignored.
// At most `maxGroups`.
int HexGroupCount(size_t length, int maxGroups);

// True when every group but the last of the first `groups` is followed by a blank.
bool HexSeparatorsOk(std::string_view text, int groups);

// Reads `groups` groups (group i: high digit at 3i, low digit at 3i+1) into
// `bytes`. Returns false when any digit is not an upper-case hexadecimal digit
// or lies past the end of the text; every group is examined first. A low digit
// below '0' (a blank, a sign) is a failed integer conversion and throws
// EConvertError at once, naming that character.
bool ReadHexGroups(std::string_view text, int groups, std::vector<uint8_t>& bytes);
