#!/usr/bin/env python3
"""Independent reference for the general 15-digit number text.

Reads 32-bit IEEE 754 single-precision patterns, one hexadecimal word per
line, and prints for each the text the window must show: exact decimal value
(Python's struct and decimal), rounded to 15 significant digits with ties
away from zero, plain from 0.0001 up to below 1E15, scientific otherwise.
"""
import decimal
import struct
import sys


def general_text(pattern):
    value = struct.unpack(">f", struct.pack(">I", pattern))[0]
    if value != value:
        return "NAN"
    if value in (float("inf"), float("-inf")):
        return "INF" if value > 0 else "-INF"
    if value == 0:
        return "0"
    ctx = decimal.Context(prec=15, rounding=decimal.ROUND_HALF_UP)
    exact = decimal.Decimal(value)  # a float converts exactly
    rounded = ctx.plus(exact)
    sign, digits, exponent = rounded.as_tuple()
    text = "".join(map(str, digits)).rstrip("0") or "0"
    # Position of the first digit as a power of ten, after rounding.
    point = len(digits) + exponent - 1
    minus = "-" if sign else ""
    if -4 <= point < 15:
        if point < 0:
            body = "0." + "0" * (-point - 1) + text
        elif len(text) <= point + 1:
            body = text + "0" * (point + 1 - len(text))
        else:
            body = text[: point + 1] + "." + text[point + 1 :]
    else:
        body = text[0] + ("." + text[1:] if len(text) > 1 else "") + "E" + str(point)
    return minus + body


def main():
    for line in sys.stdin:
        line = line.strip()
        if line:
            print(general_text(int(line, 16)))


if __name__ == "__main__":
    main()
