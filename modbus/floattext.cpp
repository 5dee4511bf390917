#include "modbus/floattext.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kDigits = 15;

struct Decimal {
    std::string digits;  // significant digits, no trailing zeros, at least one
    int exponent = 0;    // value = d.ddd * 10^exponent
};

// The significant digits and exponent printf gives for `magnitude` with
// `digits` significant digits. The separator printf writes depends on the C
// locale (a Qt program sets it from the environment), so only the digits are
// taken.
Decimal Printed(long double magnitude, int digits) {
    std::vector<char> text(static_cast<size_t>(digits) + 32);
    std::snprintf(text.data(), text.size(), "%.*Le", digits - 1, magnitude);
    Decimal d;
    const char* p = text.data();
    for (; *p != '\0' && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') d.digits.push_back(*p);
    }
    if (*p == 'e') d.exponent = std::atoi(p + 1);
    return d;
}

// True when `d` is exactly d[0..15] with d[15] == '5': a value halfway
// between two 15-digit neighbours. Forty digits rule out almost every value;
// the rare candidate is confirmed against the full expansion (a long double
// has at most about 11500 significant decimal digits).
bool IsExactTie(long double magnitude, const Decimal& d40) {
    const auto zeros = [](const std::string& s, size_t from) {
        return s.find_first_not_of('0', from) == std::string::npos;
    };
    if (d40.digits[kDigits] != '5' || !zeros(d40.digits, kDigits + 1)) return false;
    return zeros(Printed(magnitude, 12000).digits, kDigits + 1);
}

// Rounded to 15 significant digits, ties away from zero as decimal rounding
// is usually understood (glibc's printf would round ties to even). printf
// converts exactly from the binary value, so apart from ties its result is
// the correctly rounded decimal.
Decimal RoundTo15(long double magnitude) {
    const Decimal d40 = Printed(magnitude, 40);
    Decimal d;
    if (IsExactTie(magnitude, d40)) {
        d.exponent = d40.exponent;
        d.digits = d40.digits.substr(0, kDigits);
        int i = kDigits - 1;
        for (; i >= 0 && d.digits[static_cast<size_t>(i)] == '9'; --i) {
            d.digits[static_cast<size_t>(i)] = '0';
        }
        if (i >= 0) {
            ++d.digits[static_cast<size_t>(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    } else {
        d = Printed(magnitude, kDigits);
    }
    d.digits.resize(kDigits);
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
