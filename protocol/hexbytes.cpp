#include "protocol/hexbytes.h"

#include <algorithm>
#include <string>

#include "protocol/strtoint.h"

namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

}  // namespace

std::string ByteToHex(int value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (value < 0 || value > 255) return ".";
    return {kDigits[value / 16], kDigits[value % 16]};
}

std::string HexTextTrailingBlank(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (uint8_t b : bytes) {
        text += ByteToHex(b);
        text += ' ';
    }
    return text;
}

std::string HexTextTrailingBlank(std::string_view bytes) {
    return HexTextTrailingBlank(Bytes(bytes));
}

std::string HexText(std::span<const uint8_t> bytes) {
    std::string text = HexTextTrailingBlank(bytes);
    if (!text.empty()) text.pop_back();
    return text;
}

std::string HexText(std::string_view bytes) { return HexText(Bytes(bytes)); }

int HexGroupCount(size_t length, int maxGroups) {
    size_t n = length / 3 + (length % 3 == 2 ? 1 : 0);
    return static_cast<int>(std::min<size_t>(n, static_cast<size_t>(std::max(maxGroups, 0))));
}

bool HexSeparatorsOk(std::string_view text, int groups) {
    for (int k = 0; k + 1 < groups; ++k) {
        const size_t pos = 3 * static_cast<size_t>(k) + 2;
        if (pos >= text.size() || text[pos] != ' ') return false;
    }
    return true;
}

namespace {

// Characters are compared as unsigned bytes: a Latin-1 letter such as 'é'
// lies above '9' and is a bad digit, not a failed conversion.
int HighDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Letters A-F are digits; anything else above '9' is bad; a character up to
// '9' goes through the integer conversion, which refuses blanks and signs.
int LowDigit(unsigned char c) {
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c > '9') return -1;
    return StrToInt(std::string(1, static_cast<char>(c)));
}

}  // namespace

bool ReadHexGroups(std::string_view text, int groups, std::vector<uint8_t>& bytes) {
    bytes.clear();
    bool ok = true;
    for (int i = 0; i < groups; ++i) {
        const size_t at = 3 * static_cast<size_t>(i);
        const int high = at < text.size() ? HighDigit(static_cast<unsigned char>(text[at])) : -1;
        const int low =
            at + 1 < text.size() ? LowDigit(static_cast<unsigned char>(text[at + 1])) : -1;
        if (high < 0 || low < 0) {
            ok = false;
            bytes.push_back(0);
        } else {
            bytes.push_back(static_cast<uint8_t>(high * 16 + low));
        }
    }
    return ok;
}
