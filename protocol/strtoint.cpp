#include "protocol/strtoint.h"

#include <charconv>
#include <cmath>
#include <cstdint>

std::string NotAnIntegerMessage(std::string_view text) {
    return "'" + std::string(text) + "' is not a valid integer value";
}

std::optional<int> TryStrToInt(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<int>(value);
}

int StrToInt(std::string_view text) {
    if (const auto value = TryStrToInt(text)) return *value;
    throw EConvertError(NotAnIntegerMessage(text));
}

std::optional<double> TryStrToDecimal(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

bool IsModuleDecimal(std::string_view text) {
    if (text.starts_with('-')) text.remove_prefix(1);
    bool digit = false;
    bool point = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}
