// The number formatter: the text of a finite value reads back to the value
// within its 15 significant digits, with any decimal separator.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "input.h"
#include "modbus/floattext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    double value;
    std::memcpy(&value, data, sizeof value);
    const char separator = static_cast<char>(data[8]);
    std::string text = FormatGeneral(value, separator);
    // A separator that is itself a digit, sign or exponent mark cannot be read back.
    if (!std::isfinite(value) ||
        std::string_view("+-0123456789Ee").find(separator) != std::string_view::npos)
        return 0;
    if (const size_t at = text.find(separator); at != std::string::npos) text[at] = '.';
    const long double back = std::strtold(text.c_str(), nullptr);
    if (std::fabs(back - value) > std::fabs(static_cast<long double>(value)) * 1e-14L) std::abort();
    return 0;
}
