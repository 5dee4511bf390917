// How bytes are shown to the engineer: hexadecimal byte text and plain text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Two upper-case hexadecimal digits for 0…255 ("06", "FF"); "." for larger values.
std::string ByteToHex(int value);

// Each byte as ByteToHex followed by one blank, so the text ends with a blank.
std::string HexText(const uint8_t* bytes, size_t count);
std::string HexText(std::string_view bytes);
