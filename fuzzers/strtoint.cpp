// The integer conversion against a reference: an optional sign and decimal
// digits, read by strtoll, within the 32-bit signed range.
#include "protocol/strtoint.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "input.h"

namespace {

std::optional<int> Reference(const std::string& text) {
    size_t i = text.size() > 0 && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    if (i == text.size()) return std::nullopt;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return std::nullopt;
    return static_cast<int>(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(AsText(data, size));
    std::optional<int> got;
    try {
        got = StrToInt(text);
    } catch (const EConvertError& e) {
        // what() is a C string: a zero byte in the text ends it early.
        if (text.find('\0') == std::string::npos && e.what() != NotAnIntegerMessage(text))
            std::abort();
    }
    if (got != Reference(text)) std::abort();
    return 0;
}
