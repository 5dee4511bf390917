// Hexadecimal byte text as the engineer types it: two upper-case digits per
// byte, groups separated by one blank ("01 0F 2A"). Used by the command
// edits, the manual HART frame and the IEEE 754 calculator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

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
