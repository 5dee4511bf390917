#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "hart/replies.h"

namespace {

using B = std::vector<uint8_t>;

B Cat(B a, const B& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A command 0 reply body from the marker on: FF 06 address command count
// status status, then 254, manufacturer, type, preambles, five other bytes
// and the identifier.
B Command0(uint8_t manufacturer, uint8_t type, uint8_t preambles, B id) {
    return Cat({0xFF, 0x06, 0x80, 0x00, 0x0E, 0x00, 0x00, 254, manufacturer, type, preambles, 5, 1,
                1, 8, 0},
               Cat(id, {0x00}));
}

// A command 3 reply from the marker on with `byteCount` and the given
// variable groups (unit code and four float bytes each).
B Command3(uint8_t byteCount, const std::vector<B>& groups) {
    B reply{0xFF, 0x86, 0x80, 0, 0, 0, 0, 0x03, byteCount, 0, 0, 0x41, 0x40, 0, 0};
    for (const B& g : groups) reply = Cat(reply, g);
    reply.push_back(0x00);
    return reply;
}

struct StartCase {
    const char* name;
    B reply;
    uint8_t delimiter;
    std::optional<size_t> expected;
};

class StartTest : public testing::TestWithParam<StartCase> {};

TEST_P(StartTest, Finds) {
    EXPECT_EQ(FindHartStart(GetParam().reply, GetParam().delimiter), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Marker, StartTest,
    testing::Values(StartCase{"AtOffset3", {1, 2, 3, 0xFF, 0x06, 0, 0, 0}, 0x06, 3},
                    StartCase{"LastOfSeveralPreambles", {0xFF, 0xFF, 0xFF, 0x06, 0, 0, 0}, 0x06, 2},
                    StartCase{"FourBytesNotSearched", {0xFF, 0x06, 0, 0}, 0x06, std::nullopt},
                    StartCase{"LastOffsetSearched", {0, 0xFF, 0x06, 0, 0, 0}, 0x06, 1},
                    StartCase{"PastLastOffset", {0, 0, 0xFF, 0x06, 0, 0}, 0x06, std::nullopt},
                    StartCase{"OtherDelimiter", {0xFF, 0x06, 0, 0, 0, 0}, 0x86, std::nullopt},
                    StartCase{"LongDelimiter", {0xFF, 0x86, 0, 0, 0, 0}, 0x86, 0}),
    [](const testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

TEST(HartCommand0Reply, FieldsAtFixedDistancesFromTheMarker) {
    const B reply = Cat({0x00, 0x41, 0x42}, Command0(0x5A, 0x0B, 5, {0x01, 0x02, 0x03}));
    const auto device = ParseHartCommand0Reply(reply);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->identity.manufacturer, reply[11]);
    EXPECT_EQ(device->identity.deviceType, reply[12]);
    EXPECT_EQ(device->preambles, reply[13]);
    EXPECT_EQ(device->universalRevision, reply[14]);
    EXPECT_EQ(device->deviceRevision, reply[15]);
    EXPECT_EQ(device->identity.deviceId, (std::array<uint8_t, 3>{0x01, 0x02, 0x03}));
    EXPECT_EQ(device->DeviceNumber(), 66051u);

    const HartDeviceReply max{{0, 0, {0xFF, 0xFF, 0xFF}}, 0};
    EXPECT_EQ(max.DeviceNumber(), 16777215u);
}

TEST(HartCommand0Reply, EndingBeforeTheIdentifierIsNotDecoded) {
    const B full = Cat({0x00, 0x00}, Command0(0x11, 0x22, 5, {0x01, 0x02, 0x03}));
    const size_t lastRead = 2 + 18;
    EXPECT_TRUE(ParseHartCommand0Reply(std::span(full).first(lastRead + 1)));
    EXPECT_FALSE(ParseHartCommand0Reply(std::span(full).first(lastRead)));
    EXPECT_FALSE(ParseHartCommand0Reply(B{0xFF, 0x06, 0x80, 0x00}));
    EXPECT_FALSE(ParseHartCommand0Reply(B(30, 0x00)));
}

TEST(HartVariableCount, FollowsTheByteCount) {
    const std::pair<int, int> cases[] = {{0, 1},  {6, 1},  {11, 1}, {12, 2}, {16, 2},
                                         {17, 3}, {21, 3}, {22, 4}, {26, 4}, {255, 4}};
    for (auto [count, variables] : cases) {
        EXPECT_EQ(HartVariableCount(static_cast<uint8_t>(count)), variables) << count;
    }
}

// Expected texts worked out with Python's decimal module.
TEST(HartValueText, GeneralTextFittedToNineCharacters) {
    struct Case {
        B bytes;
        char separator;
        const char* text;
    };
    const Case cases[] = {
        {{0x40, 0x80, 0x00, 0x00}, '.', "4"},
        {{0x41, 0x45, 0x70, 0xA4}, '.', "12.340000"},  // 12.3400001525879
        {{0x41, 0x45, 0x70, 0xA4}, ',', "12,340000"},
        {{0x3D, 0xCC, 0xCC, 0xCD}, '.', "0.1000000"},
        {{0xBF, 0x00, 0x00, 0x00}, '.', "-0.5"},
        {{0x34, 0x21, 0x0F, 0xB0}, '.', "1.5E-7"},
        {{0xCF, 0x00, 0x00, 0x00}, '.', "-2.1475E9"},
        {{0x50, 0x15, 0x02, 0xF8}, '.', "1E10"},       // 9999998976: rounding carries
        {{0x38, 0x51, 0xB7, 0x17}, '.', "0.0000499"},  // 5E-5: plain down to 1E-5
        {{0x37, 0x27, 0xC5, 0xAC}, '.', "1E-5"},       // just below 1E-5, rounds up
        {{0x7F, 0xA0, 0x00, 0x00}, '.', "00000000"},  // not available
        {{0x7F, 0x00, 0x00, 0x01}, '.', "00000000"},  // finite, still zeros
        {{0x00, 0x00, 0x00, 0x00}, '.', "0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HartValueText(std::span<const uint8_t, 4>(c.bytes.data(), 4), c.separator),
                  c.text)
            << c.text;
    }
}

TEST(HartCommand3Reply, EndingBeforeItsLastVariableIsNotDecoded) {
    const std::vector<B> groups = {{32, 0x40, 0x80, 0, 0}, {32, 0x40, 0x80, 0, 0}};
    const B reply = Command3(16, groups);  // marker at 0, last variable byte at 24
    EXPECT_TRUE(ParseHartCommand3Reply(std::span(reply).first(25), '.'));
    EXPECT_FALSE(ParseHartCommand3Reply(std::span(reply).first(24), '.'));
    // A byte count calling for four variables in a reply holding two.
    EXPECT_FALSE(ParseHartCommand3Reply(Command3(26, groups), '.'));
    EXPECT_FALSE(ParseHartCommand3Reply(Command0(1, 2, 3, {4, 5, 6}), '.'));
}

}  // namespace

namespace {

TEST(HartCommand3Values, LoopCurrentValuesAndNotAvailable) {
    // 12.0 mA loop current; 12.5 kPa (code 12), then "not available" in %.
    const B reply = Cat({0x00}, Command3(16, {{12, 0x41, 0x48, 0, 0}, {57, 0x7F, 0xA0, 0, 0}}));
    const auto values = ParseHartCommand3Values(reply);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->loopCurrent, 12.0f);
    ASSERT_EQ(values->variables.size(), 2u);
    EXPECT_EQ(values->variables[0].value, 12.5f);
    EXPECT_EQ(values->variables[0].unitCode, 12);
    EXPECT_TRUE(std::isnan(values->variables[1].value));
    EXPECT_FALSE(ParseHartCommand3Values(std::span(reply).first(reply.size() - 3)));
}

}  // namespace
