#include "protocol/fieldencodings.h"

#include <cstdlib>

#include "protocol/hexbytes.h"

namespace {

char Digit(int value) { return static_cast<char>(static_cast<uint8_t>(value + '0')); }

}  // namespace

std::string ItemDigit(int index, char base) {
    return std::string(1, static_cast<char>(static_cast<uint8_t>(base + index)));
}

std::string ThreeDigitNumber(int v) {
    return {Digit(v / 100), Digit((v / 10) % 10), Digit(v % 10)};
}

std::string TwoDigitNumber(int v) { return {Digit(v / 10), Digit(v % 10)}; }

std::string TwoDigitIndex(int index) { return TwoDigitNumber(index); }

std::string ZeroFilledNumber(int v, int minDigits) {
    // Through 64 bits so that the most negative value has a magnitude.
    const long long magnitude = std::llabs(static_cast<long long>(v));
    std::string digits = std::to_string(magnitude);
    if (static_cast<int>(digits.size()) < minDigits) {
        digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
    }
    return v < 0 ? "-" + digits : digits;
}

std::string FiveCharText(std::string_view text) {
    std::string field(text.substr(0, 5));
    field.resize(5, ' ');
    return field;
}

std::string FlagDigit(bool ticked) { return ticked ? "1" : "0"; }

const char* HexListMessage(HexListError error) {
    switch (error) {
        case HexListError::None:
            return nullptr;
        case HexListError::NoSeparator:
            return "NO SPACK";
        case HexListError::BadDigit:
            return "Data eeore!";
    }
    return nullptr;
}

HexList ReadHexList(std::string_view text, int maxBytes) {
    HexList list;
    const int n = HexGroupCount(text.size(), maxBytes);
    if (n == 0 || !HexSeparatorsOk(text, n)) {
        list.error = HexListError::NoSeparator;
        return list;
    }
    if (!ReadHexGroups(text, n, list.bytes)) {
        list.error = HexListError::BadDigit;
        list.bytes.clear();
    }
    return list;
}
