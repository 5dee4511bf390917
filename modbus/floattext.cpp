#include "modbus/floattext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kDigits = 15;

struct Decimal {
    std::string digits;  // significant digits, no trailing zeros, at least one
    int exponent = 0;    // value = d.ddd * 10^exponent
};

// glibc's printf rounds exactly from the binary value, so "%.14Le" is the
// correctly rounded 15-digit decimal. The separator printf writes depends on
// the C locale (a Qt program sets it from the environment), so only the
// digits are taken from it.
Decimal RoundTo15(long double magnitude) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*Le", kDigits - 1, magnitude);
    Decimal d;
    const char* p = text;
    for (; *p != '\0' && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
    }
    if (*p == 'e') d.exponent = std::atoi(p + 1);
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    return d;
}

std::string Plain(const Decimal& d, char separator) {
    std::string out;
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent < 0) {
        out = "0";
        out += separator;
        out.append(static_cast<size_t>(-d.exponent - 1), '0');
        out += d.digits;
        return out;
    }
    const int whole = d.exponent + 1;
    if (n <= whole) {
        out = d.digits;
        out.append(static_cast<size_t>(whole - n), '0');
    } else {
        out = d.digits.substr(0, static_cast<size_t>(whole));
        out += separator;
        out += d.digits.substr(static_cast<size_t>(whole));
    }
    return out;
}

std::string Scientific(const Decimal& d, char separator) {
    std::string out(1, d.digits[0]);
    if (d.digits.size() > 1) {
        out += separator;
        out += d.digits.substr(1);
    }
    out += 'E';
    out += std::to_string(d.exponent);
    return out;
}

}  // namespace

std::string FormatGeneral(long double value, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";

    const Decimal d = RoundTo15(std::fabs(value));
    const bool plain = d.exponent >= -4 && d.exponent < kDigits;
    std::string text = value < 0 ? "-" : "";
    text += plain ? Plain(d, decimalSeparator) : Scientific(d, decimalSeparator);
    return text;
}
