#include <gtest/gtest.h>

#include "protocol/rangekeyfilter.h"

namespace {

TEST(RangeKeyFilter, Keys) {
    struct Case {
        char key;
        const char* text;
        bool accepted;
    } cases[] = {
        {'7', "", true},
        {'0', "1.23", true},
        {'.', "1.2", true},
        {'-', "", true},
        {'-', "12-", true},
        {'.', "1.2.", true},
        {'a', "", false},
        {'E', "1", false},
        {' ', "", false},
        {',', "1", false},
        {'+', "", false},
        {'\r', "", false},
        // Five characters present: only backspace.
        {'1', "0.000", false},
        {'.', "100.0", false},
        {'-', "12345", false},
        {kBackspace, "0.000", true},
        {kBackspace, "", true},
        {'1', "0.00", true},     // after one backspace one more fits
        {'1', "123456", false},  // longer text written by the program: still refused
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RangeKeyAccepted(c.key, c.text), c.accepted)
            << "key " << int(c.key) << " into '" << c.text << "'";
    }
}

}  // namespace
