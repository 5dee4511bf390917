// The two status bytes of a HART reply: response codes, communication error
// bits and device status bits by name, in the order the window lists them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hart/status.h"

namespace {

using Names = std::vector<std::string>;

TEST(HartResponseCodeText, CommonCodes) {
    const struct {
        uint8_t code;
        const char* text;
    } cases[] = {
        {0, "0 success"},
        {2, "2 invalid selection"},
        {3, "3 passed parameter too large"},
        {4, "4 passed parameter too small"},
        {5, "5 too few data bytes received"},
        {6, "6 device-specific command error"},
        {7, "7 in write-protect mode"},
        {16, "16 access restricted"},
        {32, "32 busy"},
        {64, "64 command not implemented"},
    };
    for (const auto& c : cases) EXPECT_EQ(HartResponseCodeText(c.code), c.text);
    // Command-specific codes keep their number and are not passed off as a common one.
    for (const uint8_t code : {1, 8, 9, 15, 17, 33, 65, 127}) {
        const std::string text = HartResponseCodeText(code);
        SCOPED_TRACE(text);
        EXPECT_EQ(text.rfind(std::to_string(code) + " ", 0), 0u);
        EXPECT_EQ(text.find("success"), std::string::npos);
    }
    // Bit 7 set: the byte is no response code but the device's communication errors.
    const std::string framing = HartResponseCodeText(0x90);
    EXPECT_NE(framing.find("communication error"), std::string::npos) << framing;
    EXPECT_NE(framing.find("framing"), std::string::npos) << framing;
}

// A code's meaning that one command gives is named for that command only.
TEST(HartResponseCodeText, CommandSpecificCodes) {
    EXPECT_EQ(HartResponseCodeText(9, 35), "9 lower range value too high");
    EXPECT_EQ(HartResponseCodeText(14, 35), "14 span too small");
    EXPECT_EQ(HartResponseCodeText(11, 40), "11 in multidrop mode");
    EXPECT_EQ(HartResponseCodeText(9, 13), "9 command-specific");
    EXPECT_EQ(HartResponseCodeText(7, 18), "7 in write-protect mode");
    EXPECT_EQ(HartResponseCodeText(8, 34), "8 set to nearest possible value");
    EXPECT_EQ(HartResponseCodeText(9, 38), "9 configuration change counter mismatch");
    EXPECT_EQ(HartResponseCodeText(12, 44), "12 invalid units code");
    EXPECT_EQ(HartResponseCodeText(9, 45), "9 incorrect loop current mode or value");
    EXPECT_EQ(HartResponseCodeText(11, 46), "11 in multidrop mode");
    EXPECT_EQ(HartResponseCodeText(12, 6), "12 invalid mode selection");
    EXPECT_EQ(HartResponseCodeText(32, 41), "32 busy");
    EXPECT_EQ(HartResponseCodeText(18, 44), "18 invalid units code");
}

TEST(HartResponseCodeClass, AsThePublicClassesGiveThem) {
    using C = HartResponseClass;
    const struct {
        uint8_t code;
        int command;
        C expected;
    } cases[] = {
        {0, 3, C::Success},    {8, 34, C::Warning},  {14, 35, C::Warning}, {24, 1, C::Warning},
        {27, 1, C::Warning},   {30, 3, C::Warning},  {31, 3, C::Warning},  {96, 128, C::Warning},
        {111, 128, C::Warning}, {1, 1, C::Error},    {5, 38, C::Error},    {7, 44, C::Error},
        {9, 45, C::Error},     {13, 35, C::Error},   {15, 1, C::Error},    {16, 1, C::Error},
        {28, 3, C::Error},     {29, 35, C::Error},   {32, 41, C::Error},   {33, 41, C::Error},
        {64, 42, C::Error},    {95, 1, C::Error},    {112, 1, C::Error},   {0x82, 3, C::Error},
        {0xC0, 3, C::Error},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HartResponseCodeClass(c.code, c.command), c.expected)
            << int{c.code} << " to " << c.command;
}

// Each expected name is a part of the one given, so "framing" passes for "framing error".
void ExpectNames(const Names& got, const Names& want) {
    ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(got);
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NE(got[i].find(want[i]), std::string::npos);
}

TEST(HartStatusBits, Named) {
    const struct {
        uint8_t byte;
        Names communication;
        Names device;
    } cases[] = {
        {0x00, {}, {}},
        // Bit 7 clear: the first byte is a response code, not error bits.
        {0x7F,
         {},
         {"configuration changed", "cold start", "more status available", "loop current fixed",
          "loop current saturated", "non-primary variable out of limits",
          "primary variable out of limits"}},
        {0xC0, {"vertical parity"}, {"device malfunction", "configuration changed"}},
        {0xFA,
         {"vertical parity", "overrun", "framing", "longitudinal parity", "buffer overflow"},
         {"device malfunction", "configuration changed", "cold start", "more status available",
          "loop current fixed", "non-primary variable out of limits"}},
        {0x88, {"longitudinal parity"}, {"device malfunction", "loop current fixed"}},
        {0x21, {}, {"cold start", "primary variable out of limits"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << int{c.byte});
        ExpectNames(HartCommunicationErrors(c.byte), c.communication);
        EXPECT_EQ(HartDeviceStatusBits(c.byte), c.device);
    }
    EXPECT_EQ(HartDeviceStatusText(0x00), "device OK");
    EXPECT_EQ(HartDeviceStatusText(0x21), "cold start, primary variable out of limits");
}

}  // namespace
