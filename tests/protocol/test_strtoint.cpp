#include <gtest/gtest.h>

#include <climits>

#include "protocol/hexbytes.h"
#include "protocol/strtoint.h"

TEST(StrToInt, AcceptsSignAndDigitsWithin32Bits) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"0", 0},         {"001", 1},           {"-5", -5},
                 {"+7", 7},        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
                 {"0000000000123", 123}};
    for (const auto& c : cases) {
        EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
        EXPECT_EQ(TryStrToInt(c.text), c.value) << c.text;
    }
}

TEST(StrToInt, RefusesEverythingElseWithTheStandardMessage) {
    for (const char* text : {"", " ", "-", "+", "1 ", " 1", "1.5", "abc", "0x10", "2147483648",
                             "-2147483649", "99999999999999999999"}) {
        EXPECT_EQ(TryStrToInt(text), std::nullopt) << text;
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted '" << text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

TEST(HexBytes, GroupCountFollowsTheTextLength) {
    const struct {
        size_t length;
        int max;
        int groups;
    } cases[] = {{0, 14, 0}, {1, 14, 0}, {2, 14, 1}, {3, 14, 1}, {4, 14, 1},
                 {5, 14, 2}, {6, 14, 2}, {44, 14, 14}, {45, 14, 14}, {45, 15, 15}, {60, 15, 15}};
    for (const auto& c : cases) EXPECT_EQ(HexGroupCount(c.length, c.max), c.groups) << c.length;
}

TEST(HexBytes, ReadsUpperCaseGroupsAndJudgesAllOfThem) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadHexGroups("01 0F AB", 3, bytes));
    EXPECT_EQ(bytes, (std::vector<uint8_t>{0x01, 0x0F, 0xAB}));
    EXPECT_FALSE(ReadHexGroups("0f", 1, bytes));
    EXPECT_FALSE(ReadHexGroups("G0", 1, bytes));
    EXPECT_FALSE(ReadHexGroups("41 20 ", 3, bytes));  // third group lies past the end
    EXPECT_THROW(ReadHexGroups("4  ", 1, bytes), EConvertError);
    EXPECT_TRUE(HexSeparatorsOk("01 02 03", 3));
    EXPECT_FALSE(HexSeparatorsOk("01-02-03", 3));
    EXPECT_TRUE(HexSeparatorsOk("01-", 1));
}
