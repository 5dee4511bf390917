#include "protocol/strtoint.h"

#include <cstdint>

std::string NotAnIntegerMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

int StrToInt(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) throw EConvertError(NotAnIntegerMessage(text));
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') throw EConvertError(NotAnIntegerMessage(text));
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1) throw EConvertError(NotAnIntegerMessage(text));
    }
    if (negative) value = -value;
    if (value > INT32_MAX) throw EConvertError(NotAnIntegerMessage(text));
    return static_cast<int>(value);
}
