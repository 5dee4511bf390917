// The universal commands beyond 0, 3 and 6 against their public byte layouts:
// request frames, packed ASCII both ways, and each reply's fields at their
// offsets, with the replies a decoder must refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "hart/universal.h"

namespace {

using B = std::vector<uint8_t>;

B Cat(B a, const B& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const HartIdentity kId{0x5A, 0x0B, {0x12, 0x34, 0x56}};
const B kAddress{0x9A, 0x0B, 0x12, 0x34, 0x56};  // primary master, low six bits of 0x5A

// A slave reply: noise, preambles, long delimiter, address, command, count,
// response code, device status, data, checksum.
B Reply(uint8_t command, const B& data, uint8_t code = 0, uint8_t status = 0) {
    B body =
        Cat(Cat({0x86}, kAddress), {command, static_cast<uint8_t>(data.size() + 2), code, status});
    body = Cat(body, data);
    uint8_t sum = 0;
    for (uint8_t b : body) sum ^= b;
    return Cat(Cat({0x00, 0xFF, 0xFF, 0xFF}, body), {sum});
}

TEST(PackedAscii, PublicGroups) {
    const struct {
        const char* text;
        int chars;
        B packed;
    } cases[] = {
        {"ABCD", 4, {0x04, 0x20, 0xC4}},
        {"", 4, {0x82, 0x08, 0x20}},  // blanks: how unused fields read
        {"TEST", 4, {0x50, 0x54, 0xD4}},
        {"test", 4, {0x50, 0x54, 0xD4}},  // sent as capitals
        {"@_ ?", 4, {0x01, 0xF8, 0x3F}},
        {"PT-1", 8, {0x41, 0x4B, 0x71, 0x82, 0x08, 0x20}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto packed = PackAscii(c.text, c.chars, &error);
        ASSERT_TRUE(packed) << error;
        EXPECT_EQ(*packed, c.packed);
        // Back again: capitals, padded with blanks.
        std::string upper = c.text;
        for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        upper.resize(static_cast<size_t>(c.chars), ' ');
        EXPECT_EQ(UnpackAscii(*packed), upper);
    }
}

TEST(PackedAscii, EverySixBitCodeRoundTrips) {
    std::string all;
    for (int c = 0x20; c <= 0x5F; ++c) all.push_back(static_cast<char>(c));
    std::string error;
    const auto packed = PackAscii(all, 64, &error);
    ASSERT_TRUE(packed) << error;
    EXPECT_EQ(packed->size(), 48u);
    EXPECT_EQ(UnpackAscii(*packed), all);
}

TEST(PackedAscii, RefusesWhatItCannotCarry) {
    const struct {
        std::string text;
        const char* part;
    } cases[] = {
        {"TAG~", "\"~\""},
        {"a{b", "\"{\""},
        {"\xC3\xA9", "packed ASCII cannot carry"},
        {"TOO-LONG1", "9 characters long; at most 8"},
        {std::string("A\nB"), "cannot carry"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(PackAscii(c.text, 8, &error)) << c.text;
        EXPECT_NE(error.find(c.part), std::string::npos) << error;
    }
}

TEST(HartFrames, RequestLayouts) {
    const auto tag = HartTagData({"PT-101", "FEED PRESSURE", {9, 12, 2026}});
    ASSERT_TRUE(tag.ok()) << tag.error;
    const auto message = HartMessageData("CHECKED 2026-12-09");
    ASSERT_TRUE(message.ok());
    const auto range = HartRangeData({12, 250.0f, 0.0f});
    ASSERT_TRUE(range.ok());
    const struct {
        uint8_t command;
        B data;
        size_t count;
        B dataStart;
    } cases[] = {
        {1, {}, 0, {}},
        {2, {}, 0, {}},
        {12, {}, 0, {}},
        {13, {}, 0, {}},
        {15, {}, 0, {}},
        {48, {}, 0, {}},
        {17, message.data, 24, {0x0C, 0x81, 0x43}},  // "CHEC"
        // Tag "PT-101  ", descriptor, then day 9, month 12, year 2026 - 1900.
        {18, tag.data, 21, {0x41, 0x4B, 0x71, 0xC3, 0x18, 0x20}},
        {35, range.data, 9, {12, 0x43, 0x7A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {40, HartFixedCurrentData(4.0f), 4, {0x40, 0x80, 0x00, 0x00}},
        {40, HartFixedCurrentData(0.0f), 4, {0x00, 0x00, 0x00, 0x00}},
        {34, HartDampingData(2.0f).data, 4, {0x40, 0x00, 0x00, 0x00}},
        {38, HartResetConfigChangedData(7, 0x012A), 2, {0x01, 0x2A}},
        {38, HartResetConfigChangedData(6, 0x012A), 0, {}},
        {41, {}, 0, {}},
        {42, {}, 0, {}},
        {44, HartPvUnitsData(39), 1, {39}},
        {45, HartTrimCurrentData(4.0f).data, 4, {0x40, 0x80, 0x00, 0x00}},
        {46, HartTrimCurrentData(20.0f).data, 4, {0x41, 0xA0, 0x00, 0x00}},
        // Polling address, then from revision 6 on the loop current mode.
        {6, HartPollingAddressData(3, 5, false), 1, {3}},
        {6, HartPollingAddressData(3, 7, true), 2, {3, 1}},
        {6, HartPollingAddressData(0, 6, false), 2, {0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.command));
        const HartBytes frame = HartLongFrame(5, kPrimaryMaster, kId, c.command, c.data);
        const B head = Cat(Cat(B(6, 0xFF), {0x82}), kAddress);
        ASSERT_EQ(frame.size(), head.size() + 2 + c.count + 1);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), frame.begin()));
        EXPECT_EQ(frame[head.size()], c.command);
        EXPECT_EQ(frame[head.size() + 1], c.count);
        EXPECT_TRUE(std::equal(c.dataStart.begin(), c.dataStart.end(), frame.begin() + 14));
        uint8_t sum = 0;
        for (size_t i = 6; i + 1 < frame.size(); ++i) sum ^= frame[i];
        EXPECT_EQ(frame.back(), sum);
    }
    EXPECT_EQ(std::vector<uint8_t>(tag.data.end() - 3, tag.data.end()), (B{9, 12, 126}));
}

TEST(HartFrames, WritesRefusedWhole) {
    const struct {
        HartWriteData data;
        const char* part;
    } cases[] = {
        {HartTagData({"PRESSURE1", "", {1, 1, 2000}}), "The tag is 9 characters"},
        {HartTagData({"PT", "tilde~", {1, 1, 2000}}), "The descriptor holds \"~\""},
        {HartTagData({"PT", "", {32, 1, 2000}}), "The date"},
        {HartTagData({"PT", "", {1, 13, 2000}}), "The date"},
        {HartTagData({"PT", "", {1, 1, 1899}}), "The date"},
        {HartMessageData(std::string(33, 'A')), "The message is 33"},
        {HartRangeData({12, 5.0f, 5.0f}), "must differ"},
        {HartRangeData({12, NAN, 0.0f}), "numbers"},
        {HartDampingData(-0.5f), "The damping"},
        {HartDampingData(NAN), "The damping"},
        {HartTrimCurrentData(0.0f), "measured loop current"},
        {HartTrimCurrentData(INFINITY), "measured loop current"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.data.ok());
        EXPECT_TRUE(c.data.data.empty());
        EXPECT_NE(c.data.error.find(c.part), std::string::npos) << c.data.error;
    }
}

TEST(HartReplies, FieldsAtTheirOffsets) {
    const auto pv = ParseHartCommand1(Reply(1, {12, 0x41, 0x48, 0x00, 0x00}));
    ASSERT_TRUE(pv);
    EXPECT_EQ(pv->unitCode, 12);
    EXPECT_FLOAT_EQ(pv->value, 12.5f);

    const auto loop = ParseHartCommand2(Reply(2, {0x41, 0x40, 0, 0, 0x42, 0x48, 0, 0}));
    ASSERT_TRUE(loop);
    EXPECT_FLOAT_EQ(loop->current, 12.0f);
    EXPECT_FLOAT_EQ(loop->percent, 50.0f);

    const auto na = ParseHartCommand2(Reply(2, {0x7F, 0xA0, 0, 0, 0x42, 0x48, 0, 0}));
    ASSERT_TRUE(na);
    EXPECT_TRUE(std::isnan(na->current));

    const HartBytes tagData = HartTagData({"pt-101", "Feed pressure", {9, 12, 2026}}).data;
    const auto tag = ParseHartTag(Reply(13, tagData));
    ASSERT_TRUE(tag);
    EXPECT_EQ(*tag, (HartTagRecord{"PT-101", "FEED PRESSURE", {9, 12, 2026}}));
    // Command 18's reply echoes the same layout.
    EXPECT_TRUE(ParseHartTag(Reply(18, tagData), 18));

    const auto message = ParseHartMessage(Reply(12, HartMessageData("Loop checked").data));
    ASSERT_TRUE(message);
    EXPECT_EQ(*message, "LOOP CHECKED");

    // Alarm high, linear, kPa, 250 to -50, 1.5 s, write protected, distributor 250, flags.
    const auto info = ParseHartCommand15(
        Reply(15, {0, 0, 12, 0x43, 0x7A, 0, 0, 0xC2, 0x48, 0, 0, 0x3F, 0xC0, 0, 0, 1, 250, 1}));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->rangeUnitCode, 12);
    EXPECT_FLOAT_EQ(info->upper, 250.0f);
    EXPECT_FLOAT_EQ(info->lower, -50.0f);
    EXPECT_FLOAT_EQ(info->damping, 1.5f);
    EXPECT_TRUE(info->WriteProtected());
    EXPECT_EQ(HartTransferFunctionText(info->transferFunction), "linear");
    EXPECT_EQ(HartAlarmSelectionText(info->alarmSelection), "high");

    const auto range = ParseHartCommand35(Reply(35, {32, 0x42, 0xC8, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(range);
    EXPECT_EQ(range->unitCode, 32);
    EXPECT_FLOAT_EQ(range->upper, 100.0f);
    EXPECT_FLOAT_EQ(range->lower, 0.0f);

    const auto fixed = ParseHartCommand40(Reply(40, {0x41, 0xA0, 0, 0}));
    ASSERT_TRUE(fixed);
    EXPECT_FLOAT_EQ(*fixed, 20.0f);

    const auto more =
        ParseHartCommand48(Reply(48, {0, 0, 0, 0, 0, 0, 0x01, 0, 0x81, 0, 0, 0, 0, 0x01}));
    ASSERT_TRUE(more);
    const auto bytes = HartAdditionalStatus(*more);
    ASSERT_EQ(bytes.size(), 14u);
    EXPECT_EQ(bytes[6].what, "extended device status");
    EXPECT_EQ(bytes[6].setBits, (std::vector<std::string>{"maintenance required"}));
    EXPECT_EQ(bytes[8].setBits,
              (std::vector<std::string>{"simulation active", "device configuration locked"}));
    EXPECT_EQ(bytes[13].setBits, (std::vector<std::string>{"analog channel 1"}));
    EXPECT_EQ(bytes[0].what, "device-specific status 0");
}

TEST(HartReplies, RefusedReplies) {
    const B good = Reply(2, {0x41, 0x40, 0, 0, 0x42, 0x48, 0, 0});
    B badSum = good;
    badSum[good.size() - 1] = static_cast<uint8_t>(good[good.size() - 1] ^ 1);
    const B cut(good.begin(), good.end() - 1);
    const struct {
        const char* name;
        B reply;
    } cases[] = {
        {"write protected", Reply(2, {}, 7)},
        {"response code with data", Reply(2, {0x41, 0x40, 0, 0, 0x42, 0x48, 0, 0}, 64)},
        {"other command", Reply(1, {0x41, 0x40, 0, 0, 0x42, 0x48, 0, 0})},
        {"short data", Reply(2, {0x41, 0x40, 0, 0})},
        {"checksum", badSum},
        {"cut off", cut},
        {"empty", {}},
    };
    for (const auto& c : cases) EXPECT_FALSE(ParseHartCommand2(c.reply)) << c.name;
    EXPECT_TRUE(ParseHartCommand2(good));
    // Noise that looks like a frame's start is passed over for the reply.
    EXPECT_TRUE(ParseHartCommand2(Cat({0xFF, 0x86, 0x00, 0x01}, good)));
    // The body itself is there for a refusal, so its code can be named.
    const auto body = ParseHartReplyBody(Reply(18, {}, 7, 0x40), 18);
    ASSERT_TRUE(body);
    EXPECT_EQ(body->responseCode, 7);
    EXPECT_EQ(body->deviceStatus, 0x40);
}

// Replies carried out with a warning keep their data and say the warning.
TEST(HartReplies, CommissioningRepliesAndWarnings) {
    const auto damping = ParseHartCommand34(Reply(34, {0x40, 0, 0, 0}, 8));
    ASSERT_TRUE(damping);
    EXPECT_EQ(damping->value, 2.0f);
    EXPECT_EQ(damping->responseCode, 8);
    const auto range = ParseHartCommand35(Reply(35, {32, 0x42, 0xC8, 0, 0, 0, 0, 0, 0}, 14));
    ASSERT_TRUE(range);
    EXPECT_EQ(range->responseCode, 14);
    EXPECT_EQ(ParseHartCommand1(Reply(1, {12, 0x41, 0x48, 0, 0}, 8))->responseCode, 8);
    EXPECT_EQ(ParseHartCommand40Reply(Reply(40, {0x41, 0xA0, 0, 0}, 30))->value, 20.0f);

    const auto counted = ParseHartCommand38(Reply(38, {0x01, 0x2A}));
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->changeCounter, 0x012A);
    EXPECT_EQ(ParseHartCommand38(Reply(38, {}))->changeCounter, std::nullopt);
    const auto units = ParseHartCommand44(Reply(44, {75}));
    ASSERT_TRUE(units);
    EXPECT_EQ(units->unitCode, 75);
    const auto trimmed = ParseHartTrimReply(Reply(46, {0x41, 0xA0, 0x28, 0xF6}), 46);
    ASSERT_TRUE(trimmed);
    EXPECT_NEAR(trimmed->value, 20.02f, 1e-5);
    EXPECT_EQ(ParseHartCarriedOut(Reply(41, {}), 41), uint8_t{0});
    const auto moved = ParseHartCommand6(Reply(6, {3, 0}));
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->address, 3);
    EXPECT_EQ(moved->loopCurrentMode, uint8_t{0});
    EXPECT_EQ(ParseHartCommand6(Reply(6, {3}))->loopCurrentMode, std::nullopt);

    // Errors and replies to another command are refused.
    const struct {
        const char* name;
        bool decoded;
    } refused[] = {
        {"34 too small", ParseHartCommand34(Reply(34, {0xBF, 0, 0, 0}, 4)).has_value()},
        {"38 mismatch", ParseHartCommand38(Reply(38, {}, 9)).has_value()},
        {"44 invalid units", ParseHartCommand44(Reply(44, {0}, 12)).has_value()},
        {"45 wrong mode", ParseHartTrimReply(Reply(45, {0x40, 0x80, 0, 0}, 9), 45).has_value()},
        {"45 as 46", ParseHartTrimReply(Reply(45, {0x40, 0x80, 0, 0}), 46).has_value()},
        {"40 as a trim", ParseHartTrimReply(Reply(40, {0x40, 0x80, 0, 0}), 40).has_value()},
        {"42 busy", ParseHartCarriedOut(Reply(42, {}, 32), 42).has_value()},
        {"6 empty", ParseHartCommand6(Reply(6, {})).has_value()},
    };
    for (const auto& r : refused) EXPECT_FALSE(r.decoded) << r.name;
}

}  // namespace
