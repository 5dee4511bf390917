// The choice of annotator for a block: by the protocol of the request it
// belongs to, with a guess for blocks under no known request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "modbus/request.h"
#include "traffic/blockannotation.h"

namespace {

using B = std::vector<uint8_t>;

B Bytes(const std::string& text) { return B(text.begin(), text.end()); }

const B kHartFrame = HartCommand0Frame(5, kPrimaryMaster, 0);
const ModbusRequest kRead = ReadHoldingRegistersRequest(1, 0, 10);
const B kModbusRequest(kRead.begin(), kRead.end());
const B kSystemReply = Bytes("QX#BA2:31,MD:1,ADR:001,JTM:010,XY1:1#");

struct AnnotatorCase {
    const char* name;
    int code;
    bool sent;
    B bytes;
    const char* firstNote;  // nullptr: no notes at all
};

class AnnotatorTest : public testing::TestWithParam<AnnotatorCase> {};

TEST_P(AnnotatorTest, FirstNote) {
    const FrameNotes notes = AnnotateBlock(GetParam().code, GetParam().sent, GetParam().bytes);
    if (!GetParam().firstNote) {
        EXPECT_TRUE(notes.empty()) << notes.front().text;
        return;
    }
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.front().text, GetParam().firstNote);
}

INSTANTIATE_TEST_SUITE_P(
    Choice, AnnotatorTest,
    testing::Values(
        AnnotatorCase{"HartRequestSent", kCodeHartCommand0, true, kHartFrame, "6 preamble bytes"},
        AnnotatorCase{"HartReplyReceived", kCodeHartCommand3, false, kHartFrame,
                      "6 preamble bytes"},
        AnnotatorCase{"TextUnderHartRequest", kCodeHartCommand6, false, Bytes("QV#"),
                      "no HART frame: no preamble byte FF followed by a delimiter"},
        AnnotatorCase{"ModbusRequestSent", kCodeModbusTest, true, kModbusRequest, "slave 1"},
        AnnotatorCase{"ModbusReplyReceived", kCodeModbusTest, false, B{0x01, 0x83, 0x02, 0, 0},
                      "slave 1"},
        AnnotatorCase{"ConfigReplyReceived", kCodeSystemQuery, false, kSystemReply,
                      "keys found: QX BA2: MD: ADR: JTM: XY1:"},
        AnnotatorCase{"ConfigQuerySent", kCodeSystemQuery, true, Bytes("QQQ#QX#"), nullptr},
        AnnotatorCase{"Acknowledgement", kCodeSet, false, Bytes("OK#"), nullptr},
        AnnotatorCase{"UnknownCodeSentWithPreamble", kCodeNone, true, kHartFrame,
                      "6 preamble bytes"},
        AnnotatorCase{"UnknownCodeReceivedWithPreamble", kCodeNone, false, kHartFrame, nullptr},
        AnnotatorCase{"UnknownCodeSentFrameAfterNoise", kCodeNone, true, B{0x00, 0xFF, 0x02},
                      nullptr}),
    [](const testing::TestParamInfo<AnnotatorCase>& info) { return std::string(info.param.name); });

// Every request of the HART protocol gets the HART annotator, whichever way
// its block goes, and no other request does.
TEST(BlockAnnotation, HartAnnotatorForExactlyTheHartRequests) {
    for (const RequestCode& entry : kRequestCodes) {
        for (bool sent : {true, false}) {
            const FrameNotes notes = AnnotateBlock(entry.code, sent, kHartFrame);
            const bool hartNotes = !notes.empty() && notes.front().text == "6 preamble bytes";
            EXPECT_EQ(hartNotes, entry.protocol == Protocol::Hart)
                << entry.name << (sent ? " sent" : " received");
            EXPECT_EQ(hartNotes, IsHartRequest(entry.code)) << entry.name;
        }
    }
}

}  // namespace
