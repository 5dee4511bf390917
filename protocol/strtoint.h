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

// A finite decimal number with a point ("2.5", "-1e3"), whatever the locale;
// nullopt for anything else, blanks included.
std::optional<double> TryStrToDecimal(std::string_view text);

// A number as the module's set commands carry a limit or a coefficient: a
// leading '-' if any, digits with at most one '.', and at least one digit.
bool IsModuleDecimal(std::string_view text);

// The message of a failed conversion of `text`.
std::string NotAnIntegerMessage(std::string_view text);
