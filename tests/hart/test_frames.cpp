#include <gtest/gtest.h>

#include <string>

#include "hart/frames.h"

namespace {

HartBytes Ff(int n) { return HartBytes(static_cast<size_t>(n), 0xFF); }

HartBytes Cat(HartBytes a, const HartBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const HartIdentity kZero{};
// Manufacturer above 0x3F: its bit 6 would read as the burst-mode bit.
const HartIdentity kHighVendor{0x5A, 0x0B, {0x12, 0x34, 0x56}};

struct FrameCase {
    const char* name;
    HartBytes frame;
    HartBytes expected;
};

class FrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameTest, BytesOnTheWire) { EXPECT_EQ(GetParam().frame, GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameTest,
    testing::Values(
        FrameCase{"Command0Defaults", HartCommand0Frame(6, kPrimaryMaster, 0),
                  Cat(Ff(7), {0x02, 0x80, 0x00, 0x00, 0x82})},
        FrameCase{"Command0SecondaryAddress3", HartCommand0Frame(6, kSecondaryMaster, 3),
                  Cat(Ff(7), {0x02, 0x03, 0x00, 0x00, 0x01})},
        FrameCase{"Command0PreambleZeroIsOneByte",
                  HartCommand0Frame(0, kPrimaryMaster, 0),
                  {0xFF, 0x02, 0x80, 0x00, 0x00, 0x82}},
        FrameCase{"Command3NoIdentityYet", HartCommand3Frame(6, kPrimaryMaster, kZero),
                  Cat(Ff(7), {0x82, 0x80, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x01})},
        FrameCase{"Command6NoIdentityYet", HartCommand6Frame(6, kPrimaryMaster, kZero, 0),
                  Cat(Ff(7), {0x82, 0x80, 0x00, 0x00, 0x00, 0x00, 0x06, 0x01, 0x00, 0x05})},
        FrameCase{"Command3HighManufacturerKeepsSixBits",
                  HartCommand3Frame(2, kPrimaryMaster, kHighVendor),
                  Cat(Ff(3), {0x82, 0x9A, 0x0B, 0x12, 0x34, 0x56, 0x03, 0x00, 0x60})},
        FrameCase{"Command6SecondaryHighManufacturer",
                  HartCommand6Frame(0, kSecondaryMaster, {0xC5, 0x01, {0, 0, 0x02}}, 8),
                  {0xFF, 0x82, 0x05, 0x01, 0x00, 0x00, 0x02, 0x06, 0x01, 0x08, 0x8B}},
        FrameCase{"TypedBodyIsTheDefaultQuery",
                  HartTypedFrame(6, HartBytes{0x02, 0x80, 0x00, 0x00}),
                  HartCommand0Frame(6, kPrimaryMaster, 0)},
        FrameCase{"TypedSingleByte", HartTypedFrame(1, HartBytes{0x7E}), {0xFF, 0xFF, 0x7E, 0x7E}}),
    [](const testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

}  // namespace
