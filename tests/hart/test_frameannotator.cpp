// HART frame annotator: frames the tool sends, an instrument's replies, and
// the faults the log must point out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hart/frameannotator.h"
#include "hart/frames.h"

namespace {

using B = std::vector<uint8_t>;

B Cat(B a, const B& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Preamble, body, and the body's correct checksum.
B Framed(int preambles, const B& body) {
    B frame(static_cast<size_t>(preambles), 0xFF);
    frame = Cat(frame, body);
    frame.push_back(HartChecksum(body));
    return frame;
}

// The body of a command 0 reply: short address 0, 14 data bytes.
const B kCommand0ReplyBody{0x06, 0x80, 0x00, 0x0E, 0x00, 0x00, 0xFE, 0x5A, 0x0B,
                           0x05, 0x05, 0x01, 0x01, 0x08, 0x00, 0x01, 0x02, 0x03};

B Reply(uint8_t responseCode, uint8_t deviceStatus) {
    return Framed(5, {0x06, 0x80, 0x03, 0x02, responseCode, deviceStatus});
}

struct NoteCase {
    const char* name;
    B frame;
    std::string note;
    bool problem;
};

class HartNoteTest : public testing::TestWithParam<NoteCase> {};

TEST_P(HartNoteTest, HasNote) {
    const auto notes = AnnotateHartFrame(GetParam().frame);
    ASSERT_TRUE(notes);
    std::string all;
    for (const FrameNote& n : *notes) {
        all += n.text + "\n";
        if (n.text == GetParam().note) {
            EXPECT_EQ(n.problem, GetParam().problem);
            return;
        }
    }
    ADD_FAILURE() << "no note \"" << GetParam().note << "\" in:\n" << all;
}

INSTANTIATE_TEST_SUITE_P(
    Notes, HartNoteTest,
    testing::Values(
        NoteCase{"Command0Preambles", HartCommand0Frame(6, kPrimaryMaster, 0), "7 preamble bytes",
                 false},
        NoteCase{"Command0Delimiter", HartCommand0Frame(6, kPrimaryMaster, 0),
                 "delimiter 02: master to slave, short frame", false},
        NoteCase{"SecondaryMasterAddress3", HartCommand0Frame(6, kSecondaryMaster, 3),
                 "short address 3 (secondary master)", false},
        NoteCase{"Command0Checksum", HartCommand0Frame(6, kPrimaryMaster, 0), "checksum 82 OK",
                 false},
        NoteCase{"Command3LongAddress",
                 HartCommand3Frame(2, kPrimaryMaster, {0x5A, 0x0B, {0x12, 0x34, 0x56}}),
                 "long address 9A 0B 12 34 56: manufacturer bits 26, device type 11, device id "
                 "1193046 (primary master)",
                 false},
        NoteCase{"Command3Name", HartCommand3Frame(2, kPrimaryMaster, {}),
                 "command 3 read dynamic variables and loop current", false},
        NoteCase{"ReplyDelimiter", Framed(3, kCommand0ReplyBody),
                 "delimiter 06: slave to master, short frame", false},
        NoteCase{"ReplySuccess", Framed(3, kCommand0ReplyBody), "response code 0 success", false},
        NoteCase{"ReplyDeviceOk", Framed(3, kCommand0ReplyBody), "device status device OK", false},
        NoteCase{"BurstLongFrame", Framed(3, {0x81, 0xC0, 0, 0, 0, 1, 0x01, 0x02, 0x00, 0x00}),
                 "delimiter 81: burst frame, long frame", false},
        NoteCase{"CorruptedChecksum", Cat(Cat(B(7, 0xFF), {0x02, 0x80, 0x00, 0x00}), {0x83}),
                 "checksum 83 wrong, expected 82", true},
        NoteCase{"ByteCountLargerThanTheReply",
                 Cat(B{0xFF, 0xFF},
                     Framed(0, Cat({0x06, 0x80, 0x00, 0x10},
                                   B(kCommand0ReplyBody.begin() + 4, kCommand0ReplyBody.end())))),
                 "byte count 16, but 15 bytes follow it (17 with the checksum)", true},
        NoteCase{"BytesAfterTheChecksum", Cat(Framed(3, kCommand0ReplyBody), {0x00, 0x00}),
                 "byte count 14, but 17 bytes follow it (15 with the checksum)", true},
        NoteCase{"EndsBeforeItsChecksum", B{0xFF, 0xFF, 0x06, 0x80, 0x00, 0x04, 0x00, 0x00},
                 "checksum missing: the frame ends early", true},
        NoteCase{"CommunicationError", Reply(0x88, 0x00),
                 "response code communication error: longitudinal parity", true},
        NoteCase{"NotImplemented", Reply(64, 0x00), "response code 64 command not implemented",
                 false},
        NoteCase{"CommandSpecificCode", Reply(9, 0x00), "response code 9 command-specific", false},
        NoteCase{"StatusBits", Reply(0, 0x41),
                 "device status configuration changed, primary variable out of limits", false},
        NoteCase{"Malfunction", Reply(0, 0x80), "device status device malfunction", true},
        NoteCase{"NoStatusBytes", Framed(2, {0x06, 0x80, 0x00, 0x00}), "no status bytes", true},
        NoteCase{"BytesBeforeThePreamble", Cat({0x00, 0x41}, Framed(5, kCommand0ReplyBody)),
                 "2 bytes before the preamble", true},
        NoteCase{"OnePreambleByte", HartCommand0Frame(0, kPrimaryMaster, 0), "1 preamble bytes",
                 true},
        NoteCase{"UnknownFrameType", Framed(2, {0x05, 0x80, 0x00, 0x00}),
                 "delimiter 05: unknown frame type, short frame", true},
        NoteCase{"EndsInsideTheHeader", B{0xFF, 0xFF, 0x82, 0x80, 0x00},
                 "frame ends inside its header", true}),
    [](const testing::TestParamInfo<NoteCase>& info) { return std::string(info.param.name); });

TEST(HartFrameAnnotator, CleanFramesHaveNoProblemAndOtherBlocksAreNoFrame) {
    for (const B& frame :
         {HartCommand0Frame(6, kPrimaryMaster, 0), HartCommand6Frame(6, kPrimaryMaster, {}, 2),
          Framed(5, kCommand0ReplyBody)}) {
        const auto notes = AnnotateHartFrame(frame);
        ASSERT_TRUE(notes);
        EXPECT_FALSE(HasProblem(*notes));
    }
    const std::string text = "QQQ#QV#";
    EXPECT_FALSE(AnnotateHartFrame(B(text.begin(), text.end())));
    EXPECT_FALSE(AnnotateHartFrame(B{0x00, 0xFF, 0xFF}));
    EXPECT_FALSE(AnnotateHartFrame(B{}));
}

}  // namespace
