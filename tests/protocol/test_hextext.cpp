#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "protocol/hexbytes.h"

TEST(ByteToHex, TwoUpperCaseDigitsOrDot) {
    const struct {
        int value;
        const char* text;
    } cases[] = {{0, "00"}, {6, "06"}, {171, "AB"}, {255, "FF"}, {256, "."}, {-1, "."}};
    for (const auto& c : cases) EXPECT_EQ(ByteToHex(c.value), c.text) << c.value;
}

TEST(HexText, OneBlankBetweenOrAfterEveryByte) {
    const struct {
        std::string_view bytes;
        const char* between;
        const char* trailing;
    } cases[] = {
        {std::string_view("\xFF\x06", 2), "FF 06", "FF 06 "},
        {std::string_view("\0A", 2), "00 41", "00 41 "},  // a zero byte is a byte like any
        {std::string_view("\x80", 1), "80", "80 "},
        {std::string_view(), "", ""},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> bytes(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(HexText(c.bytes), c.between);
        EXPECT_EQ(HexText(bytes), c.between);
        EXPECT_EQ(HexTextTrailingBlank(c.bytes), c.trailing);
        EXPECT_EQ(HexTextTrailingBlank(bytes), c.trailing);
    }
}
