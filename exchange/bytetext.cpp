#include "exchange/bytetext.h"

std::string ByteToHex(int value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (value < 0 || value > 255) return ".";
    return {kDigits[value / 16], kDigits[value % 16]};
}

std::string HexText(const uint8_t* bytes, size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        text += ByteToHex(bytes[i]);
        text += ' ';
    }
    return text;
}

std::string HexText(std::string_view bytes) {
    return HexText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
