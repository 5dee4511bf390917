// The general decimal text of a number, as the window shows measured values:
// at most 15 significant digits, plain or scientific, with a chosen decimal
// separator. Shared by the IEEE 754 calculator and the HART variable display.
#pragma once

#include <string>

// "NAN", "INF", "-INF"; otherwise the value rounded to 15 significant digits,
// trailing zeros dropped, the separator only when a fraction remains. Plain
// notation for 0.0001 <= |value| < 1E15 (judged after rounding) and for zero
// (negative zero included: "0"); otherwise "d[.ddd]E[-]x", e.g. "1E15",
// "1.5E-5". Any `decimalSeparator` character is written as given.
std::string FormatGeneral(long double value, char decimalSeparator = '.');
