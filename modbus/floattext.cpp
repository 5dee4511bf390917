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

// True when the value is exactly its first `n` digits followed by a single
// '5': halfway between two n-digit neighbours. Forty digits rule out almost
// every value; the rare candidate is confirmed against the full expansion (a
// long double has at most about 11500 significant decimal digits).
bool IsExactTie(long double magnitude, const Decimal& d40, int n) {
    const auto zeros = [](const std::string& s, size_t from) {
        return s.find_first_not_of('0', from) == std::string::npos;
    };
    const auto at = static_cast<size_t>(n);
    if (d40.digits[at] != '5' || !zeros(d40.digits, at + 1)) return false;
    return zeros(Printed(magnitude, 12000).digits, at + 1);
}

// Rounded to `n` (at most 15) significant digits, ties away from zero as
// decimal rounding is usually understood (glibc's printf would round ties to
// even). printf converts exactly from the binary value, so apart from ties
// its result is the correctly rounded decimal.
Decimal RoundTo(long double magnitude, int n) {
    const Decimal d40 = Printed(magnitude, 40);
    Decimal d;
    if (IsExactTie(magnitude, d40, n)) {
        d.exponent = d40.exponent;
        d.digits = d40.digits.substr(0, static_cast<size_t>(n));
        int i = n - 1;
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
        d = Printed(magnitude, n);
    }
    d.digits.resize(static_cast<size_t>(n));
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

std::string FormatGeneral(long double value, char decimalSeparator, int plainFrom) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";

    const Decimal d = RoundTo(std::fabs(value), kDigits);
    const bool plain = d.exponent >= plainFrom && d.exponent < kDigits;
    std::string text = value < 0 ? "-" : "";
    text += plain ? Plain(d, decimalSeparator) : Scientific(d, decimalSeparator);
    return text;
}

std::string FormatGeneralInField(long double value, size_t width, int plainFrom,
                                 char decimalSeparator) {
    std::string text = FormatGeneral(value, decimalSeparator, plainFrom);
    if (text.size() <= width) return text;
    // Only NAN, INF and numbers get here, and a number that is long always has
    // digits; plain text with all its integer digits inside the field loses
    // nothing but fraction digits when cut.
    const bool scientific = text.find('E') != std::string::npos;
    if (!scientific && text.find(decimalSeparator) <= width) return text.substr(0, width);

    const std::string sign = value < 0 ? "-" : "";
    const long double magnitude = std::fabs(value);
    for (int n = kDigits; n > 1; --n) {
        text = sign + Scientific(RoundTo(magnitude, n), decimalSeparator);
        if (text.size() <= width) return text;
    }
    return sign + Scientific(RoundTo(magnitude, 1), decimalSeparator);
}
