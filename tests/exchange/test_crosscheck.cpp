#include <gtest/gtest.h>

#include <cmath>

#include "exchange/crosscheck.h"

namespace {

TEST(ModuleCoefficient, ModesAndTexts) {
    const std::array<std::string, 3> others{"2.000", "abc", " 0.5 "};
    struct Case {
        int variable, mode;
        const char* coefficient1;
        std::optional<double> factor;
    };
    const Case cases[] = {
        {1, 0, "0.001", 1.0}, {1, 1, "0.001", 3600.0}, {1, 2, "0.002", 0.002}, {1, 3, "0.002", 0.2},
        {1, 4, "0.002", {}},  {1, -1, "0.002", {}},    {1, 2, "", {}},         {2, 0, "", 2.0},
        {3, 3, "", {}},       {4, 0, "", 0.5},         {5, 0, "", {}},
    };
    for (const Case& c : cases) {
        const auto factor = ModuleCoefficient(c.variable, c.mode, c.coefficient1, others);
        ASSERT_EQ(factor.has_value(), c.factor.has_value()) << c.variable << " " << c.mode;
        if (factor) {
            EXPECT_DOUBLE_EQ(*factor, *c.factor) << c.variable << " " << c.mode;
        }
    }
}

TEST(AgreeWithin, RelativeToTheLarger) {
    EXPECT_TRUE(AgreeWithin(100, 100.1, 0.1));
    EXPECT_FALSE(AgreeWithin(100, 100.2, 0.1));
    EXPECT_TRUE(AgreeWithin(0, 0, 0));
    EXPECT_FALSE(AgreeWithin(0, 1e-30, 0.1));
    EXPECT_FALSE(AgreeWithin(std::nan(""), std::nan(""), 100));
}

}  // namespace
