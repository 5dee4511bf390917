// The instrument's writes in words and against what it reads back.
#include <gtest/gtest.h>

#include <string>

#include "exchange/hartinstrument.h"
#include "exchange/requestcodes.h"

namespace {

const HartIdentity kId{0x5A, 0x0B, {0x12, 0x34, 0x56}};

// A reply to `command` carrying `data`, as the instrument sends it.
std::string Reply(uint8_t command, const HartBytes& data) {
    HartBytes body{
        0x86, 0x9A, 0x0B, 0x12, 0x34, 0x56, command, static_cast<uint8_t>(data.size() + 2), 0, 0};
    body.insert(body.end(), data.begin(), data.end());
    body.push_back(HartChecksum(body));
    body.insert(body.begin(), 5, 0xFF);
    return std::string(body.begin(), body.end());
}

HartBytes Info(uint8_t unit, float upper, float lower) {
    HartBytes d{0, 0, unit};
    for (float v : {upper, lower, 1.0f}) {
        const HartBytes f = HartFixedCurrentData(v);  // a HART float
        d.insert(d.end(), f.begin(), f.end());
    }
    d.push_back(0);
    d.push_back(250);
    return d;
}

TEST(HartWrite, ChangeInWordsAndReadBack) {
    HartInstrumentReading before;
    before.tag = HartTagRecord{"PT-101", "FEED PRESSURE", {9, 12, 2026}};
    before.message = "TAVRIX LOOP";
    const std::string info = Reply(15, Info(12, 25, 0));
    before.info =
        ParseHartCommand15(std::span(reinterpret_cast<const uint8_t*>(info.data()), info.size()));

    HartWrite tag{HartWrite::Kind::Tag, {"ft-7", "Outlet flow", {1, 2, 2027}}, "", {}};
    EXPECT_EQ(HartWriteChange(tag, before),
              "tag \"PT-101\" to \"FT-7\", descriptor \"FEED PRESSURE\" to \"OUTLET FLOW\", date "
              "2026-12-09 to 2027-02-01");
    EXPECT_EQ(HartReadBackDifference(tag, Reply(13, HartTagData(tag.tag).data)), "");
    HartTagRecord other = tag.tag;
    other.tag = "FT-8";
    EXPECT_EQ(HartReadBackDifference(tag, Reply(13, HartTagData(other).data)),
              "tag reads \"FT-8\"");

    HartWrite range{HartWrite::Kind::Range, {}, "", {12, 50.0f, -10.0f}};
    EXPECT_EQ(HartWriteChange(range, before), "range 0 to 25 kPa to -10 to 50 kPa");
    EXPECT_EQ(HartReadBackDifference(range, Reply(15, Info(12, 50, -10))), "");
    EXPECT_EQ(HartReadBackDifference(range, Reply(15, Info(12, 25, 0))), "range reads 0 to 25 kPa");
    EXPECT_EQ(HartReadBackDifference(range, Reply(13, {})), "the command 15 reply holds no range");

    HartWrite message{HartWrite::Kind::Message, {}, "Loop checked ", {}};
    EXPECT_EQ(HartWriteChange(message, before), "message \"TAVRIX LOOP\" to \"LOOP CHECKED\"");

    std::string error;
    const auto step = HartWriteStep(kId, tag, &error);
    ASSERT_TRUE(step) << error;
    EXPECT_EQ(step->code, kCodeHartCommand18);
    EXPECT_EQ(HartReadBackStep(kId, tag).code, kCodeHartCommand13);
    EXPECT_EQ(HartReadBackStep(kId, range).code, kCodeHartCommand15);
    HartWrite bad = tag;
    bad.tag.tag = "TOO-LONG-TAG";
    EXPECT_FALSE(HartWriteStep(kId, bad, &error));
    EXPECT_EQ(error, "The tag is 12 characters long; at most 8 fit");
}

}  // namespace
