#include "exchange/echofilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Verdict = EchoSplit::Verdict;

struct EchoCase {
    const char* name;
    EchoMode mode;
    bool echoedBefore;  // Auto: an earlier exchange showed the echo
    std::string frame;
    std::vector<std::string> blocks;
    std::string echo;   // all blocks together
    std::string reply;
    std::vector<Verdict> verdicts;  // one a block
    bool detectedAfter;
};

const std::string kQuery = "QV:\r";
const std::string kModbus("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8);
const std::string kModbusReply("\x01\x03\x02\x00\x07\xF9\x86", 7);

class EchoFilterTable : public testing::TestWithParam<EchoCase> {};

TEST_P(EchoFilterTable, SplitsEchoFromReply) {
    const EchoCase& c = GetParam();
    EchoFilter filter(c.mode);
    if (c.echoedBefore) {
        filter.Sent("x");
        filter.Received("x");
    }
    filter.Sent(c.frame);
    std::string echo, reply;
    ASSERT_EQ(c.blocks.size(), c.verdicts.size());
    for (size_t i = 0; i < c.blocks.size(); ++i) {
        const EchoSplit split = filter.Received(c.blocks[i]);
        echo += split.echo;
        reply += split.reply;
        EXPECT_EQ(split.verdict, c.verdicts[i]) << "block " << i;
    }
    EXPECT_EQ(echo, c.echo);
    EXPECT_EQ(reply, c.reply);
    EXPECT_EQ(filter.Detected(), c.detectedAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, EchoFilterTable,
    testing::Values(
        EchoCase{"OffTakesNothing", EchoMode::Off, false, kQuery, {kQuery + "QV:1#"},
                 "", kQuery + "QV:1#", {Verdict::None}, false},
        EchoCase{"AutoExactEchoDetected", EchoMode::Auto, false, kQuery, {kQuery, "QV:1#"},
                 kQuery, "QV:1#", {Verdict::Detected, Verdict::None}, true},
        EchoCase{"AutoEchoAndReplyInOneBlock", EchoMode::Auto, false, kModbus,
                 {kModbus + kModbusReply}, kModbus, kModbusReply, {Verdict::Detected}, true},
        EchoCase{"AutoEchoSplitOverBlocks", EchoMode::Auto, false, kModbus,
                 {kModbus.substr(0, 3), kModbus.substr(3, 4), kModbus.substr(7) + kModbusReply},
                 kModbus, kModbusReply, {Verdict::Partial, Verdict::Partial, Verdict::Detected},
                 true},
        // A MODBUS reply begins as its request does: held, then given back whole.
        EchoCase{"AutoReplyLikeItsRequestIsNoEcho", EchoMode::Auto, false, kModbus,
                 {kModbusReply.substr(0, 2), kModbusReply.substr(2)}, "", kModbusReply,
                 {Verdict::Partial, Verdict::None}, false},
        EchoCase{"AutoNoEcho", EchoMode::Auto, false, kQuery, {"QV:1#"}, "", "QV:1#",
                 {Verdict::None}, false},
        EchoCase{"AutoDetectedExpectsEcho", EchoMode::Auto, true, kQuery, {"QV", ":\rQV:1#"},
                 kQuery, "QV:1#", {Verdict::Partial, Verdict::Whole}, true},
        EchoCase{"OnExactEcho", EchoMode::On, false, kModbus,
                 {kModbus.substr(0, 5), kModbus.substr(5) + kModbusReply}, kModbus, kModbusReply,
                 {Verdict::Partial, Verdict::Whole}, false},
        EchoCase{"OnEchoDiffers", EchoMode::On, false, kModbus,
                 {kModbus.substr(0, 4) + "\x7F" + kModbus.substr(5)}, kModbus.substr(0, 4),
                 "\x7F" + kModbus.substr(5), {Verdict::Differs}, false},
        EchoCase{"OnNoEchoAtAllIsMissing", EchoMode::On, false, kQuery, {"ERR#"}, "", "ERR#",
                 {Verdict::Missing}, false},
        EchoCase{"AfterTheEchoAllIsReply", EchoMode::On, false, kQuery,
                 {kQuery, kQuery}, kQuery, kQuery, {Verdict::Whole, Verdict::None}, false}),
    [](const testing::TestParamInfo<EchoCase>& info) { return std::string(info.param.name); });

TEST(EchoFilter, AutoDetectsOnceAndHeldBytesOfALostEchoGoToTheNextSend) {
    EchoFilter filter(EchoMode::Auto);
    filter.Sent(kQuery);
    EXPECT_EQ(filter.Received("QV").verdict, Verdict::Partial);
    // Nothing more came: the held bytes were the last reply's, handed back.
    EXPECT_EQ(filter.Sent(kQuery), "QV");
    EXPECT_EQ(filter.Received("QV").verdict, Verdict::Partial);
    EXPECT_EQ(filter.TakeHeld(), "QV") << "the exchange ended: no echo after all";
    filter.Sent(kQuery);
    EXPECT_EQ(filter.Received(kQuery).verdict, Verdict::Detected);
    filter.Sent(kQuery);
    EXPECT_EQ(filter.Received(kQuery).verdict, Verdict::Whole);
    EXPECT_EQ(EchoModeFromName("on"), EchoMode::On);
}

TEST(EchoFilter, OnWithoutEchoIsCalledMissingFromTheSecondSpoiledExchange) {
    // A MODBUS reply begins as its request: the first alone looks like a busy line.
    EchoFilter filter(EchoMode::On);
    const Verdict expected[] = {Verdict::Differs, Verdict::Missing, Verdict::Whole,
                                Verdict::Differs};
    const std::string blocks[] = {kModbusReply, kModbusReply, kModbus, kModbusReply};
    for (size_t i = 0; i < std::size(blocks); ++i) {
        filter.Sent(kModbus);
        EXPECT_EQ(filter.Received(blocks[i]).verdict, expected[i]) << i;
    }
    EXPECT_TRUE(SpoiledByEcho(kEchoMissingText));
    EXPECT_EQ(EchoModeFromName("yes"), std::nullopt);
}

}  // namespace
