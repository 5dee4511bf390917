#!/usr/bin/env python3
"""Independent reference for the number texts the window shows.

Reads 32-bit IEEE 754 single-precision patterns, one hexadecimal word per
line, and prints for each three tab-separated texts, computed from the exact
decimal value (Python's struct and decimal):
  - the general 15-digit text: rounded to 15 significant digits with ties
    away from zero, plain from 0.0001 up to below 1E15, scientific otherwise;
  - the calculator's 10-character field;
  - a HART variable's 9-character field, plain from 0.00001 up.
A field shows the general text when it fits, cut when only fraction digits
are lost, else scientific text with as many rounded digits as fit.
"""
import decimal
import struct
import sys


def digits_and_point(exact, precision):
    """Significant digits (trailing zeros dropped) and the power of ten of
    the first one, after rounding to `precision` digits."""
    ctx = decimal.Context(prec=precision, rounding=decimal.ROUND_HALF_UP)
    _, digits, exponent = ctx.plus(exact).as_tuple()
    text = "".join(map(str, digits)).rstrip("0") or "0"
    return text, len(digits) + exponent - 1


def scientific(minus, text, point):
    return minus + text[0] + ("." + text[1:] if len(text) > 1 else "") + "E" + str(point)


def general_text(value, plain_from=-4):
    if value != value:
        return "NAN"
    if value in (float("inf"), float("-inf")):
        return "INF" if value > 0 else "-INF"
    if value == 0:
        return "0"
    exact = decimal.Decimal(value)  # a float converts exactly
    minus = "-" if exact < 0 else ""
    text, point = digits_and_point(abs(exact), 15)
    if not plain_from <= point < 15:
        return scientific(minus, text, point)
    if point < 0:
        return minus + "0." + "0" * (-point - 1) + text
    if len(text) <= point + 1:
        return minus + text + "0" * (point + 1 - len(text))
    return minus + text[: point + 1] + "." + text[point + 1 :]


def field_text(value, width, plain_from):
    text = general_text(value, plain_from)
    if len(text) <= width:
        return text
    if "E" not in text and "." in text and text.index(".") <= width:
        return text[:width]
    exact = decimal.Decimal(value)
    minus = "-" if exact < 0 else ""
    for precision in range(15, 0, -1):
        text = scientific(minus, *digits_and_point(abs(exact), precision))
        if len(text) <= width:
            return text
    return text


def main():
    for line in sys.stdin:
        line = line.strip()
        if line:
            value = struct.unpack(">f", struct.pack(">I", int(line, 16)))[0]
            print(general_text(value), field_text(value, 10, -4), field_text(value, 9, -5), sep="\t")


if __name__ == "__main__":
    main()
