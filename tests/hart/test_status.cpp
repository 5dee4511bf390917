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
