#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "modbus/floattext.h"
#include "modbus/ieee754.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The window's table runs through the handler; here only what the result
// field's width and the separator do to long texts (expected texts worked
// out with Python's decimal module).
TEST(CalculatorText, FittedToTheResultField) {
    EXPECT_EQ(CalculatorText(Bytes{0x7F, 0x7F, 0xFF, 0xFF}), "3.40282E38");
    EXPECT_EQ(CalculatorText(Bytes{0x50, 0x15, 0x02, 0xF9}), "1E10");
    EXPECT_EQ(CalculatorText(Bytes{0xCF, 0x00, 0x00, 0x00}), "-2.14748E9");
    EXPECT_EQ(CalculatorText(Bytes{0x38, 0xA7, 0xC5, 0xAC}), "8E-5");  // below 0.0001
    EXPECT_EQ(CalculatorText(Bytes{0x3D, 0xCC, 0xCC, 0xCD}, ','), "0,10000000");
    EXPECT_EQ(CalculatorText(Bytes{0x3F}), "0.5");  // missing bytes are zero
    EXPECT_EQ(CalculatorText(Bytes{}), "0");
}

// Bit patterns covering every class of single-precision value, the notation
// boundaries and values that lie exactly halfway at the 15th digit.
std::vector<uint32_t> SweepPatterns() {
    std::vector<uint32_t> p = {0x00000000, 0x80000000, 0x7F800000, 0xFF800000,
                               0x7FC00000, 0xFFC00000, 0x7F800001, 0x00000001,
                               0x807FFFFF, 0x00800000, 0x7F7FFFFF, 0xFF7FFFFF};
    std::mt19937 random(2754);
    std::uniform_int_distribution<uint32_t> any;
    for (int i = 0; i < 4000; ++i) p.push_back(any(random));
    // One pattern from every exponent, both signs, subnormals included.
    for (uint32_t e = 0; e < 256; ++e) {
        p.push_back((e << 23) | (any(random) & 0x7FFFFF));
        p.push_back(0x80000000u | (e << 23) | 0x400000);
    }
    // Neighbours of the notation limits 0.0001, 1E-5 and 1E15, and of the
    // powers of ten where a field's integer digits run out.
    for (const float limit : {1e-4f, 1e-5f, 1e15f, 999999999999999.0f, 1e8f, 1e9f, 1e10f}) {
        const uint32_t bits = std::bit_cast<uint32_t>(limit);
        for (uint32_t d = 0; d < 8; ++d) {
            p.push_back(bits + d);
            p.push_back(bits - d);
            p.push_back((bits + d) | 0x80000000u);
        }
    }
    // Few mantissa bits and a small exponent: short exact decimals, among
    // them 16-digit ones ending in 5 that must round away from zero.
    std::uniform_int_distribution<uint32_t> small(1, 1u << 18);
    std::uniform_int_distribution<int> shift(8, 24);
    for (int i = 0; i < 1500; ++i) {
        const float v = std::ldexp(static_cast<float>(small(random)), -shift(random));
        p.push_back(std::bit_cast<uint32_t>(v));
    }
    return p;
}

// The general text and both field texts, from the same patterns.
TEST(FormatGeneral, AgreesWithPythonDecimalReference) {
    const std::vector<uint32_t> patterns = SweepPatterns();
    char input[] = "/tmp/tavrix_float_sweep_XXXXXX";
    const int fd = mkstemp(input);
    ASSERT_GE(fd, 0);
    close(fd);
    {
        std::ofstream out(input);
        char word[16];
        for (const uint32_t bits : patterns) {
            std::snprintf(word, sizeof word, "%08X\n", bits);
            out << word;
        }
    }
    const std::string command =
        "python3 " TAVRIX_SOURCE_DIR "/tests/modbus/float_reference.py < " + std::string(input);
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> expected;
    char line[128];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        expected.push_back(text);
    }
    // general, calculator (10 characters), HART variable (9, plain from 1E-5)
    const int status = pclose(pipe);
    std::remove(input);
    ASSERT_EQ(status, 0) << "reference script failed";
    ASSERT_EQ(expected.size(), patterns.size());

    int failures = 0;
    for (size_t i = 0; i < patterns.size() && failures < 20; ++i) {
        const long double value = std::bit_cast<float>(patterns[i]);
        const std::string text = FormatGeneral(value) + '\t' +
                                 FormatGeneralInField(value, 10, kCalculatorPlainFrom) + '\t' +
                                 FormatGeneralInField(value, 9, kHartPlainFrom);
        if (text != expected[i]) {
            ++failures;
            ADD_FAILURE() << std::hex << patterns[i] << ": " << text << " != " << expected[i];
        }
    }
}

}  // namespace
