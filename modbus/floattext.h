// The general decimal text of a number, as the window shows measured values:
// at most 15 significant digits, plain or scientific, with a chosen decimal
// separator. Shared by the IEEE 754 calculator and the HART variable display.
#pragma once

#include <cstddef>
#include <string>

// Where plain notation starts, as a power of ten: the calculator writes
// 0.0001 plainly, the HART variables go down to 0.00001.
inline constexpr int kCalculatorPlainFrom = -4;
inline constexpr int kHartPlainFrom = -5;

// "NAN", "INF", "-INF"; otherwise the value rounded to 15 significant digits,
// trailing zeros dropped, the separator only when a fraction remains. Plain
// notation for 10^plainFrom <= |value| < 1E15 (judged after rounding) and for
// zero (negative zero included: "0"); otherwise "d[.ddd]E[-]x", e.g. "1E15",
// "1.5E-5". Any `decimalSeparator` character is written as given.
std::string FormatGeneral(long double value, char decimalSeparator = '.',
                          int plainFrom = kCalculatorPlainFrom);

// The general text in a field of `width` (at least 6) characters. A longer
// text is cut where the cut drops only fraction digits ("12.340000"); where it
// would drop integer digits or the exponent, the value is written in
// scientific notation instead, rounded to as many significant digits as fit,
// so the field never shows a wrong magnitude ("1E10", "-2.1475E9").
std::string FormatGeneralInField(long double value, size_t width, int plainFrom,
                                 char decimalSeparator = '.');
