// The one scan for a HART frame's start, and the reply decoders that build on
// it.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "hart/framestart.h"
#include "hart/replies.h"
#include "hart/units.h"

namespace {

using B = std::vector<uint8_t>;

struct FrameStartCase {
    const char* name;
    B bytes;
    size_t from;
    std::optional<HartFrameStart> expected;
};

class FrameStartTest : public testing::TestWithParam<FrameStartCase> {};

TEST_P(FrameStartTest, Finds) {
    const auto start = FindHartFrameStart(GetParam().bytes, GetParam().from);
    EXPECT_EQ(start, GetParam().expected);
    if (start) {
        EXPECT_EQ(start->LeadingBytes(), start->preambleAt);
        EXPECT_EQ(start->Preambles(), start->delimiterAt - start->preambleAt);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scan, FrameStartTest,
    testing::Values(
        FrameStartCase{"PreambleAtTheStart", {0xFF, 0xFF, 0x82, 0x80}, 0, HartFrameStart{0, 2}},
        FrameStartCase{"BytesBeforeThePreamble", {0x00, 0x41, 0xFF, 0x06}, 0, HartFrameStart{2, 3}},
        FrameStartCase{"OnePreambleByte", {0xFF, 0x02}, 0, HartFrameStart{0, 1}},
        FrameStartCase{"FirstRunWins", {0xFF, 0x00, 0xFF, 0xFF, 0x86}, 0, HartFrameStart{0, 1}},
        FrameStartCase{
            "FromSkipsEarlierRuns", {0xFF, 0x00, 0xFF, 0xFF, 0x86}, 1, HartFrameStart{2, 4}},
        FrameStartCase{"FromInsideARun", {0xFF, 0xFF, 0xFF, 0x06}, 1, HartFrameStart{1, 3}},
        FrameStartCase{"RunReachesTheEnd", {0x00, 0xFF, 0xFF}, 0, std::nullopt},
        FrameStartCase{"NoPreambleByte", {'Q', 'Q', 'Q', '#'}, 0, std::nullopt},
        FrameStartCase{"Empty", {}, 0, std::nullopt},
        FrameStartCase{"FromPastTheEnd", {0xFF, 0x06}, 5, std::nullopt},
        FrameStartCase{"FromAtTheLastByte", {0xFF, 0x06, 0xFF}, 2, std::nullopt}),
    [](const testing::TestParamInfo<FrameStartCase>& info) {
        return std::string(info.param.name);
    });

// A whole frame with a checksum that checks, delimiter onward.
B WholeFrame(uint8_t delimiter, B address, uint8_t command, B data) {
    B frame{delimiter};
    frame.insert(frame.end(), address.begin(), address.end());
    frame.push_back(command);
    frame.push_back(static_cast<uint8_t>(data.size()));
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : frame) sum ^= b;
    frame.push_back(sum);
    return frame;
}

TEST(FindWholeHartFrame, PassesOverCandidatesThatMakeNoFrame) {
    const B address{0x80, 0x0B, 0x12, 0x34, 0x56};
    const B reply = WholeFrame(0x86, address, 3, {0, 0, 0x41, 0x40, 0, 0});
    const B shortReply = WholeFrame(0x06, {0x80}, 0, {0, 0});
    B badSum = reply;
    badSum.back() ^= 1;
    const auto cat = [](std::initializer_list<B> parts) {
        B out;
        for (const B& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    const struct {
        const char* name;
        B bytes;
        uint8_t delimiter;
        std::optional<size_t> delimiterAt;
    } cases[] = {
        {"first candidate", cat({{0xFF, 0xFF}, reply}), 0x86, 2},
        // FF 86 in the noise: its count runs past the block.
        {"bogus candidate first", cat({{0xFF, 0x86, 0x00, 0x01, 0x00, 0xFF, 0xFF}, reply}), 0x86, 7},
        {"other delimiter first", cat({{0xFF}, shortReply, {0xFF, 0xFF}, reply}), 0x86, 10},
        {"short frame asked for", cat({{0xFF}, shortReply, {0xFF, 0xFF}, reply}), 0x06, 1},
        {"checksum", cat({{0xFF, 0xFF}, badSum}), 0x86, std::nullopt},
        {"cut off", cat({{0xFF}, B(reply.begin(), reply.end() - 1)}), 0x86, std::nullopt},
        {"unknown frame type", cat({{0xFF}, WholeFrame(0x85, address, 3, {0, 0})}), 0x85,
         std::nullopt},
    };
    for (const auto& c : cases) {
        const auto start = FindWholeHartFrame(c.bytes, c.delimiter);
        EXPECT_EQ(start ? std::optional(start->delimiterAt) : std::nullopt, c.delimiterAt)
            << c.name;
    }
}

// The marker search as it has always been defined: the first offset from 0
// to size - 5 holding 0xFF with the delimiter after it. Checked against every
// block of up to eight bytes drawn from the bytes that matter to it.
std::optional<size_t> MarkerByDefinition(const B& reply, uint8_t delimiter) {
    for (size_t p = 0; p + 5 <= reply.size(); ++p) {
        if (reply[p] == 0xFF && reply[p + 1] == delimiter) return p;
    }
    return std::nullopt;
}

TEST(FindHartStart, AgreesWithItsDefinitionOnEveryShortBlock) {
    const uint8_t alphabet[] = {0x00, 0xFF, kShortReplyDelimiter, kLongReplyDelimiter};
    for (size_t length = 0; length <= 8; ++length) {
        size_t blocks = 1;
        for (size_t i = 0; i < length; ++i) blocks *= std::size(alphabet);
        for (size_t n = 0; n < blocks; ++n) {
            B reply(length);
            for (size_t i = 0, rest = n; i < length; ++i, rest /= std::size(alphabet))
                reply[i] = alphabet[rest % std::size(alphabet)];
            for (uint8_t delimiter : {kShortReplyDelimiter, kLongReplyDelimiter}) {
                ASSERT_EQ(FindHartStart(reply, delimiter), MarkerByDefinition(reply, delimiter))
                    << "block " << n << " of length " << length << ", delimiter " << int{delimiter};
            }
        }
    }
}

// A command 3 reply after noise and a stray short frame's start: the texts
// and the numbers come from the same variable bytes.
TEST(HartCommand3Reply, TextsAndNumbersOfTheSameBytes) {
    const B reply{0x00, 0xFF, 0x06, 0x13,                       // noise, a short frame's start
                  0xFF, 0xFF, 0x86, 0x80, 0,    0, 0, 0, 0x03,  // marker at 5
                  21,   0,    0,    0x41, 0x40, 0, 0,           // count, status, 12 mA
                  12,   0x41, 0x45, 0x70, 0xA4,                 // 12.34 kPa
                  32,   0x7F, 0xA0, 0x00, 0x00,                 // not available, degrees C
                  57,   0xBF, 0x00, 0x00, 0x00,                 // -0.5 %
                  0x00};
    const auto texts = ParseHartCommand3Reply(reply, ',');
    const auto values = ParseHartCommand3Values(reply);
    ASSERT_TRUE(texts);
    ASSERT_TRUE(values);
    struct Expected {
        const char* text;
        int unitCode;
        std::array<uint8_t, 4> wire;
    };
    const Expected expected[] = {{"12,340000", 12, {0x41, 0x45, 0x70, 0xA4}},
                                 {"00000000", 32, {0x7F, 0xA0, 0x00, 0x00}},
                                 {"-0,5", 57, {0xBF, 0x00, 0x00, 0x00}}};
    ASSERT_EQ(texts->size(), std::size(expected));
    ASSERT_EQ(values->variables.size(), std::size(expected));
    EXPECT_EQ(values->loopCurrent, 12.0f);
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ((*texts)[i].valueText, expected[i].text) << i;
        EXPECT_EQ(values->variables[i].unitCode, expected[i].unitCode) << i;
        EXPECT_EQ(values->variables[i].wire, expected[i].wire) << i;
        EXPECT_EQ((*texts)[i].unitItem, values->variables[i].unitItem) << i;
        EXPECT_EQ((*texts)[i].unitItem, UnitItemForCode(expected[i].unitCode)) << i;
    }
    EXPECT_EQ(values->variables[0].value, 12.34f);
    EXPECT_TRUE(std::isnan(values->variables[1].value));
    EXPECT_EQ(values->variables[2].value, -0.5f);
}

}  // namespace
