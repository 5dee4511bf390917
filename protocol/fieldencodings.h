// Field encodings of the module's configuration commands: how one control's
// state becomes the bytes of a command field. Values in, bytes out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Selected item `index` as one character counted from `base` (the first item
// gives `base`); no selection (-1) gives the character before `base`.
std::string ItemDigit(int index, char base = '0');

// v div 100, (v div 10) mod 10, v mod 10, each plus '0' and kept to 8 bits.
// Division truncates and the remainder has the sign of v, so out-of-range
// values give non-digits ("1000" -> ":00", "-5" -> "00+"); no range check.
std::string ThreeDigitNumber(int v);

// v div 10 (not reduced), v mod 10, each plus '0': "05" for 5, ":0" for 100.
std::string TwoDigitNumber(int v);

// Selected item as two digits ("00", "01", ...).
std::string TwoDigitIndex(int index);

// v in decimal with at least `minDigits` digits, leading zeros; a negative
// number starts with "-" before its zero-filled digits.
std::string ZeroFilledNumber(int v, int minDigits);

// Always five bytes: the first five characters of `text` as they stand. A
// shorter text is filled with blanks, which keep the frame's length and field
// positions and cannot be read as a digit, point or sign by the module.
std::string FiveCharText(std::string_view text);

// "1" ticked, "0" not.
std::string FlagDigit(bool ticked);

// The hexadecimal byte list of the command edits ("01 0F 2A"): at most this
// many bytes, pairs beyond are dropped.
inline constexpr int kMaxHexListBytes = 14;

enum class HexListError {
    None,
    NoSeparator,  // no byte at all, or pairs not separated by blanks
    BadDigit,     // a character that is not an upper-case hexadecimal digit
};

// The message the engineer sees for `error` (nullptr for None).
const char* HexListMessage(HexListError error);

struct HexList {
    HexListError error = HexListError::None;
    std::vector<uint8_t> bytes;  // valid when error is None
};

// Reads the list: the separator check first, then every pair. A low digit
// below '0' (a blank, a sign) is a failed integer conversion and throws
// EConvertError naming that character. Pairs beyond `maxBytes` are dropped
// (the manual HART frame takes 15).
HexList ReadHexList(std::string_view text, int maxBytes = kMaxHexListBytes);
