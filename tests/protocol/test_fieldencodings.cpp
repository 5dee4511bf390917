#include <gtest/gtest.h>

#include <climits>

#include "protocol/fieldencodings.h"
#include "protocol/strtoint.h"

namespace {

TEST(FieldEncodings, ItemDigit) {
    struct Case {
        int index;
        char base;
        std::string expected;
    } cases[] = {
        {0, '0', "0"}, {4, '0', "4"},  {-1, '0', "/"},  // no selection: base minus one
        {5, '3', "8"}, {-1, '3', "2"}, {0, '4', "4"},  {5, '4', "9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ItemDigit(c.index, c.base), c.expected) << c.index << " base " << c.base;
    }
}

TEST(FieldEncodings, NumbersKeepTheirArithmeticOutsideTheirWidth) {
    struct Case {
        int v;
        std::string expected;
    };
    const Case three[] = {
        {0, "000"},   {5, "005"},    {7, "007"},  {60, "060"},
        {999, "999"}, {1000, ":00"}, {-5, "00+"}, {-123, "/.-"},
    };
    for (const Case& c : three) EXPECT_EQ(ThreeDigitNumber(c.v), c.expected) << c.v;
    const Case two[] = {
        {0, "00"},
        {5, "05"},
        {99, "99"},
        {100, ":0"},
        {-5, "0+"},
        {-123, "$-"},
        {999,
         "\x93"
         "9"},  // the tens byte is not reduced modulo 10
    };
    for (const Case& c : two) EXPECT_EQ(TwoDigitNumber(c.v), c.expected) << c.v;
    // Each byte is kept to 8 bits however large the value.
    EXPECT_EQ(ThreeDigitNumber(INT_MAX).size(), 3u);
    EXPECT_EQ(ThreeDigitNumber(INT_MIN).size(), 3u);
}

TEST(FieldEncodings, TwoDigitIndex) {
    EXPECT_EQ(TwoDigitIndex(0), "00");
    EXPECT_EQ(TwoDigitIndex(1), "01");
    EXPECT_EQ(TwoDigitIndex(12), "12");
    EXPECT_EQ(TwoDigitIndex(-1), "0/");
}

TEST(FieldEncodings, ZeroFilledNumber) {
    struct Case {
        int v, digits;
        std::string expected;
    } cases[] = {
        {0, 8, "00000000"}, {123, 8, "00000123"}, {123456789, 8, "123456789"}, {1, 3, "001"},
        {1234, 3, "1234"},  {-5, 3, "-005"},      {INT_MIN, 3, "-2147483648"},
    };
    for (const Case& c : cases) EXPECT_EQ(ZeroFilledNumber(c.v, c.digits), c.expected) << c.v;
}

TEST(FieldEncodings, FiveCharTextIsAlwaysFiveBytes) {
    struct Case {
        std::string text, expected;
    } cases[] = {
        {"0.001", "0.001"}, {"0.0015", "0.001"}, {"12.345", "12.34"},
        {"1", "1    "},     {"", "     "},       {"ab,c#x", "ab,c#"},
    };
    for (const Case& c : cases) EXPECT_EQ(FiveCharText(c.text), c.expected) << c.text;
}

TEST(FieldEncodings, FlagDigit) {
    EXPECT_EQ(FlagDigit(true), "1");
    EXPECT_EQ(FlagDigit(false), "0");
}

TEST(FieldEncodings, HexListAccepted) {
    struct Case {
        std::string text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"0F", {0x0F}},
        {"0F ", {0x0F}},   // trailing blank
        {"0F 2", {0x0F}},  // a single character left over is ignored
        {"0102", {0x01}},  // so are "02": four characters count as one pair
        {"01 03", {0x01, 0x03}},
        {"FF 00 AB", {0xFF, 0x00, 0xAB}},
        {"01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",  // fifteen pairs: the first fourteen
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {"01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E-0F",  // after the last counted pair: not
                                                          // checked
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
    };
    for (const Case& c : cases) {
        const HexList list = ReadHexList(c.text);
        EXPECT_EQ(list.error, HexListError::None) << c.text;
        EXPECT_EQ(list.bytes, c.bytes) << c.text;
    }
}

TEST(FieldEncodings, HexListRefused) {
    struct Case {
        std::string text;
        HexListError error;
    } cases[] = {
        {"", HexListError::NoSeparator},
        {"0", HexListError::NoSeparator},
        {"01-03", HexListError::NoSeparator},
        {"01,03", HexListError::NoSeparator},
        {"01020", HexListError::NoSeparator},
        // Separator check before the digits: "1 2 3" has '2' where a blank belongs.
        {"1 2 3", HexListError::NoSeparator},
        {"0f", HexListError::BadDigit},
        {"G0", HexListError::BadDigit},
        {"0G", HexListError::BadDigit},
        {" 1", HexListError::BadDigit},  // blank as a high digit
        {"zz 01", HexListError::BadDigit},
        {"0\xE9", HexListError::BadDigit},  // a Latin-1 letter lies above '9'
        {"\xB5""0", HexListError::BadDigit},
    };
    for (const Case& c : cases) {
        const HexList list = ReadHexList(c.text);
        EXPECT_EQ(list.error, c.error) << c.text;
        EXPECT_TRUE(list.bytes.empty()) << c.text;
    }
    EXPECT_STREQ(HexListMessage(HexListError::NoSeparator), "NO SPACK");
    EXPECT_STREQ(HexListMessage(HexListError::BadDigit), "Data eeore!");
    EXPECT_EQ(HexListMessage(HexListError::None), nullptr);
}

TEST(FieldEncodings, HexListLowDigitBelowZeroIsAConversionError) {
    struct Case {
        std::string text, message;
    } cases[] = {
        {"1 ", "' ' is not a valid integer value"},
        {"0F 1 ", "' ' is not a valid integer value"},
        {"1  2  3", "' ' is not a valid integer value"},
        {"1-", "'-' is not a valid integer value"},
        // A bad pair earlier does not hide the conversion error of a later one.
        {"0f 1 ", "' ' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        try {
            ReadHexList(c.text);
            ADD_FAILURE() << "no conversion error for '" << c.text << "'";
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.text;
        }
    }
}

}  // namespace
