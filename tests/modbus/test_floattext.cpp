#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "modbus/floattext.h"

namespace {

struct Case {
    long double value;
    const char* text;
};

TEST(FormatGeneral, KnownTexts) {
    const long double inf = std::numeric_limits<long double>::infinity();
    const Case cases[] = {
        {0.0L, "0"},
        {-0.0L, "0"},
        {10.0L, "10"},
        {-100.0L, "-100"},
        {0.5L, "0.5"},
        {static_cast<long double>(0.1f), "0.100000001490116"},
        {static_cast<long double>(3.40282346638528859811704183484516925440e+38f),
         "3.40282346638529E38"},
        {std::numeric_limits<long double>::quiet_NaN(), "NAN"},
        {-std::numeric_limits<long double>::quiet_NaN(), "NAN"},
        {inf, "INF"},
        {-inf, "-INF"},
        // Plain from 0.0001 up, scientific below.
        {0.0001L, "0.0001"},
        {-0.00012L, "-0.00012"},
        {0.00001L, "1E-5"},
        {0.000015L, "1.5E-5"},
        // Rounding to 15 digits can reach the next power of ten, and the
        // notation follows the rounded value.
        {0.0000999999999999999999L, "0.0001"},
        {999999999999999.0L, "999999999999999"},
        {999999999999999.9L, "1E15"},
        {1e15L, "1E15"},
        {123456789012345678.0L, "1.23456789012346E17"},
        {1.0L / 3.0L, "0.333333333333333"},
        {2.0L / 3.0L, "0.666666666666667"},
        // Exactly halfway at the 15th digit: away from zero.
        {12.20709228515625L, "12.2070922851563"},
        {-12.20709228515625L, "-12.2070922851563"},
        {9999999999999995.0L, "1E16"},
        {static_cast<long double>(std::numeric_limits<float>::denorm_min()),
         "1.40129846432482E-45"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatGeneral(c.value), c.text) << static_cast<double>(c.value);
    }
}

TEST(FormatGeneral, SeparatorOnlyWhereAFractionRemains) {
    EXPECT_EQ(FormatGeneral(1234.5L, ','), "1234,5");
    EXPECT_EQ(FormatGeneral(1234.0L, ','), "1234");
    EXPECT_EQ(FormatGeneral(-0.0025L, ','), "-0,0025");
    EXPECT_EQ(FormatGeneral(2.5e-7L, ','), "2,5E-7");
}

}  // namespace
