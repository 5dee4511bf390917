// Text-to-integer conversion used wherever a control's text becomes a number.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Raised when a text is not a decimal integer; what() is the message the
// engineer sees: "'<text>' is not a valid integer value".
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An optional sign followed by decimal digits, within the 32-bit signed range.
// Anything else (the empty text, blanks, letters) throws EConvertError.
int StrToInt(std::string_view text);

// The same rules without the exception: nullopt for a text StrToInt refuses.
std::optional<int> TryStrToInt(std::string_view text);

// The message of a failed conversion of `text`.
std::string NotAnIntegerMessage(std::string_view text);
