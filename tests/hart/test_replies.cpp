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
    // 6 + 5n for n variables; 6 is the loop current alone.
    const std::pair<int, int> cases[] = {{0, 0},  {6, 0},  {7, 1},  {11, 1}, {12, 2}, {16, 2},
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

// A command 0 reply of `revision` from the marker on, with `data` bytes after
// the status (the byte count says data.size() + 2 unless `count` is given)
// and a checksum that checks.
B Command0Of(B data, int count = -1) {
    B reply{0xFF, 0x06, 0x80, 0x00,
            static_cast<uint8_t>(count < 0 ? data.size() + 2 : static_cast<size_t>(count)), 0, 0};
    reply = Cat(reply, data);
    uint8_t sum = 0;
    for (size_t i = 1; i < reply.size(); ++i) sum ^= reply[i];
    reply.push_back(sum);
    return reply;
}

// Data bytes 0-11 of a command 0 reply: bytes 1 and 2, revision, identifier 12 34 56.
B Common(uint8_t byte1, uint8_t byte2, uint8_t revision) {
    return {254, byte1, byte2, 5, revision, 3, 1, 8, 0, 0x12, 0x34, 0x56};
}

TEST(HartCommand0Reply, FieldsOfEachRevision) {
    const B rev6 = Cat(Common(0x5A, 0x0B, 6), {7, 4, 0x01, 0x02, 0x10});
    const B rev7 = Cat(Cat(Common(0xE4, 0x2D, 7), {8, 9, 0x00, 0x2A, 0x01}), {0x00, 0x60, 0x00, 0x61, 1});
    struct Case {
        const char* name;
        B reply;
        bool decoded;
        uint16_t manufacturer, deviceType;
        std::optional<uint8_t> replyPreambles;
        std::optional<uint16_t> counter, distributor;
        std::optional<uint8_t> profile;
        const char* text;
    };
    const Case cases[] = {
        {"5", Command0Of(Common(0x5A, 0x0B, 5)), true, 0x5A, 0x0B, {}, {}, {}, {},
         "manufacturer 0x005A, device type 0x0B, id 1193046, HART 5"},
        {"6", Command0Of(rev6), true, 0x5A, 0x0B, 7, 0x0102, {}, {},
         "manufacturer 0x005A, device type 0x0B, id 1193046, HART 6"},
        {"7", Command0Of(rev7), true, 0x0060, 0xE42D, 8, 0x002A, 0x0061, 1,
         "manufacturer 0x0060, device type 0xE42D, id 1193046, HART 7"},
        // Revision 6 fields are read only as far as the reply holds them.
        {"6 without its own fields", Command0Of(Common(0x5A, 0x0B, 6)), true, 0x5A, 0x0B, {}, {},
         {}, {}, "manufacturer 0x005A, device type 0x0B, id 1193046, HART 6"},
        {"6 cut in the counter", Command0Of(B(rev6.begin(), rev6.begin() + 15)), true, 0x5A, 0x0B,
         7, {}, {}, {}, nullptr},
        // Bytes past the byte count are another frame's, never these fields.
        {"6 counted short", Command0Of(rev6, 14), true, 0x5A, 0x0B, {}, {}, {}, {}, nullptr},
        {"7 up to the manufacturer", Command0Of(B(rev7.begin(), rev7.begin() + 19)), true, 0x0060,
         0xE42D, 8, 0x002A, {}, {}, nullptr},
        // Without bytes 17-18 a revision 7 reply names no manufacturer.
        {"7 without the manufacturer", Command0Of(B(rev7.begin(), rev7.begin() + 17)), false, 0,
         0, {}, {}, {}, {}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto device = ParseHartCommand0Reply(Cat({0x00, 0xFF}, c.reply));
        ASSERT_EQ(device.has_value(), c.decoded);
        if (!device) continue;
        EXPECT_EQ(device->manufacturerCode, c.manufacturer);
        EXPECT_EQ(device->expandedDeviceType, c.deviceType);
        EXPECT_EQ(device->replyPreambles, c.replyPreambles);
        EXPECT_EQ(device->configChangeCounter, c.counter);
        EXPECT_EQ(device->distributorCode, c.distributor);
        EXPECT_EQ(device->deviceProfile, c.profile);
        if (c.text) {
            EXPECT_EQ(HartIdentityText(*device), c.text);
        }
        // The long address is bytes 1 and 2 whatever the revision: for
        // revision 7 the expanded device type with its top two bits masked.
        const auto address = HartLongAddress(kPrimaryMaster, device->identity);
        EXPECT_EQ(address[0], 0x80 | (c.reply[8] & 0x3F));
        EXPECT_EQ(address[1], c.reply[9]);
        EXPECT_EQ((std::array<uint8_t, 3>{address[2], address[3], address[4]}),
                  (std::array<uint8_t, 3>{0x12, 0x34, 0x56}));
    }
}

TEST(HartFloat, NotAvailableAndOurText) {
    const struct {
        B bytes;
        bool notAvailable;
        const char* text;
    } cases[] = {
        {{0x7F, 0xA0, 0x00, 0x00}, true, "not available"},
        {{0xFF, 0xC0, 0x00, 0x00}, true, "not available"},  // a negative NaN
        {{0x7F, 0x80, 0x00, 0x01}, true, "not available"},  // signalling NaN
        {{0x41, 0x48, 0x00, 0x00}, false, "12.5"},
        {{0x34, 0x21, 0x0F, 0xB0}, false, "1.5e-07"},
        {{0xC2, 0xF6, 0xE9, 0x79}, false, "-123.456"},
        {{0x00, 0x00, 0x00, 0x00}, false, "0"},
    };
    for (const auto& c : cases) {
        const float value = HartFloat(std::span<const uint8_t, 4>(c.bytes.data(), 4));
        EXPECT_EQ(HartNotAvailable(value), c.notAvailable) << c.text;
        EXPECT_EQ(HartNumberText(value), c.text);
    }
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

TEST(HartCommand3Values, LoopCurrentOnlyWarningsAndErrors) {
    B onlyLoop = Command3(6, {});
    auto values = ParseHartCommand3Values(onlyLoop);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->loopCurrent, 12.0f);
    EXPECT_TRUE(values->variables.empty());

    // A warning's values are kept with it; an error's bytes are none.
    B warned = Command3(11, {{12, 0x41, 0x48, 0, 0}});
    warned[9] = 8;
    values = ParseHartCommand3Values(warned);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->responseCode, 8);
    EXPECT_EQ(values->variables.size(), 1u);
    B failed = warned;
    failed[9] = 6;
    EXPECT_FALSE(ParseHartCommand3Values(failed));
    // An error reply counts two bytes: what follows it is no loop current.
    B refused = Command3(2, {{12, 0x41, 0x48, 0, 0}});
    refused[9] = 64;
    EXPECT_FALSE(ParseHartCommand3Values(refused));
    refused[9] = 0;
    EXPECT_FALSE(ParseHartCommand3Values(refused));
}

}  // namespace
