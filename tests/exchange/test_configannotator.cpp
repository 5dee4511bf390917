// Configuration reply annotator: keys found, missing and cut short, and the
// conversion that stopped a decoder.
#include <gtest/gtest.h>

#include <string>

#include "exchange/configannotator.h"

namespace {

struct Case {
    const char* name;
    int code;
    std::string reply;
    FrameNotes expected;
};

TEST(AnnotateConfigReply, KeysOfThePendingRequestsDecoder) {
    const Case cases[] = {
        {"system reply complete",
         202,
         "QX#BA2:31,MD:1,ADR:007,JTM:050,XY1:3#",
         {{"keys found: QX BA2: MD: ADR: JTM: XY1:"}}},
        {"system reply missing a key",
         202,
         "QX#BA2:31,MD:1,ADR:007,XY1:3#",
         {{"keys found: QX BA2: MD: ADR: XY1:"}, {"keys missing: JTM:", true}}},
        {"system reply without its marker",
         202,
         "BA2:31",
         {{"keys found: BA2:"}, {"keys missing: QX MD: ADR: JTM: XY1:", true}}},
        {"group cut by the end of the reply",
         202,
         "QX#BA2:31,MD:1,JTM:050,XY1:3,ADR:00",
         {{"keys found: QX BA2: MD: JTM: XY1:"},
          {"reply ends inside the group of: ADR: (group skipped)", true}}},
        {"letter where a digit belongs",
         203,
         "DA2:04.00,20.00DA3:04.00,20.00DA4:04.00,20.00MD:XYSM:1",
         {{"keys found: DA2 DA3 DA4 MD: YSM"},
          {"'X' is not a number: decoding stopped there", true}}},
        {"MODBUS reply of a standard meter",
         301,
         "QQ#FMW:1,1.000FMU:1.000,1.000,1.000HART1:1,0,01,5,100,0000#",
         {{"keys found: QQ FMW: FMU: HART1:"},
          {"custom meter keys missing (read only for a custom meter): ZDYn: CAMDn1: CAMDn2:"}}},
        {"monitoring row 2", 501, "RCAD2:1,02 01 03", {{"keys found: RCAD2:"}}},
        {"monitoring reply empty", 501, "", {{"keys found: none"}, {"keys missing: RCADn:", true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto notes = AnnotateConfigReply(c.code, c.reply);
        ASSERT_TRUE(notes);
        ASSERT_EQ(notes->size(), c.expected.size());
        for (size_t i = 0; i < notes->size(); ++i) {
            EXPECT_EQ((*notes)[i].text, c.expected[i].text);
            EXPECT_EQ((*notes)[i].problem, c.expected[i].problem);
        }
    }
    // Replies no key decoder reads: version text, acknowledgements.
    EXPECT_FALSE(AnnotateConfigReply(201, "QV#V2.0#"));
    EXPECT_FALSE(AnnotateConfigReply(200, "OK"));
}

}  // namespace
