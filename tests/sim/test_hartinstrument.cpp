// The HART instrument behind the module, driven with the tool's own frames
// and read back with its own decoders.
#include <gtest/gtest.h>

#include "hart/frames.h"
#include "hart/replies.h"
#include "sim/tavrixmodule.h"

namespace {

HartIdentity IdentityOf(const ModuleSettings& s) {
    return {s.hart.manufacturer, s.hart.deviceType, s.hart.deviceId};
}

uint8_t Xor(const Bytes& bytes, size_t from, size_t to) {
    uint8_t sum = 0;
    for (size_t i = from; i < to; ++i) sum ^= bytes[i];
    return sum;
}

// Byte count and response code of a reply, checking its frame on the way.
struct Frame {
    uint8_t byteCount;
    uint8_t responseCode;
    Bytes data;
};
Frame CheckedFrame(const Bytes& reply, size_t addressSize) {
    size_t p = 0;
    while (p < reply.size() && reply[p] == 0xFF) ++p;
    EXPECT_EQ(reply.back(), Xor(reply, p, reply.size() - 1)) << "checksum";
    const size_t countAt = p + 1 + addressSize + 1;
    EXPECT_EQ(reply.size(), countAt + 1 + reply[countAt] + 1) << "length";
    return {reply[countAt], reply[countAt + 1],
            Bytes(reply.begin() + countAt + 3, reply.end() - 1)};
}

TEST(HartInstrument, Command0LayoutFollowsTheRevision) {
    const std::pair<int, uint8_t> cases[] = {{5, 14}, {6, 19}, {7, 24}};
    for (auto [revision, byteCount] : cases) {
        TavrixModule module;
        module.settings().hart.revision = revision;
        const auto reply = module.Answer(HartCommand0Frame(6, kPrimaryMaster, 0));
        ASSERT_TRUE(reply) << revision;
        const Frame frame = CheckedFrame(*reply, 1);
        EXPECT_EQ(frame.byteCount, byteCount) << revision;
        ASSERT_GE(frame.data.size(), 12u);
        EXPECT_EQ(frame.data[0], 254);
        EXPECT_EQ(frame.data[4], revision);
        EXPECT_EQ(Bytes(frame.data.begin() + 9, frame.data.begin() + 12),
                  (Bytes{0x12, 0x34, 0x56}));

        const auto device = ParseHartCommand0Reply(*reply);
        ASSERT_TRUE(device) << revision;
        EXPECT_EQ(device->identity.manufacturer, 0x5A);
        EXPECT_EQ(device->identity.deviceType, 0x0B);
        EXPECT_EQ(device->preambles, 5);
    }
}

TEST(HartInstrument, SilentForFramesNotMeantForIt) {
    TavrixModule module;
    const ModuleSettings& s = module.settings();
    HartBytes badChecksum = HartCommand0Frame(6, kPrimaryMaster, 0);
    badChecksum.back() ^= 0x01;
    HartIdentity otherDevice = IdentityOf(s);
    otherDevice.deviceId[2] ^= 1;
    // The whole manufacturer byte in the address: its bit 6 reads as the
    // burst-mode bit, which no master sends.
    HartBytes wholeManufacturer = HartCommand3Frame(6, kPrimaryMaster, IdentityOf(s));
    wholeManufacturer[8] = static_cast<uint8_t>(0x80 | s.hart.manufacturer);
    wholeManufacturer.back() = Xor(wholeManufacturer, 7, wholeManufacturer.size() - 1);

    const std::pair<const char*, HartBytes> cases[] = {
        {"bad checksum", badChecksum},
        {"other polling address", HartCommand0Frame(6, kPrimaryMaster, 1)},
        {"command 3 to polling address", HartTypedFrame(6, HartBytes{0x02, 0x80, 0x03, 0x00})},
        {"other unique address", HartCommand3Frame(6, kPrimaryMaster, otherDevice)},
        {"no identity yet", HartCommand3Frame(6, kPrimaryMaster, HartIdentity{})},
        {"whole manufacturer byte", wholeManufacturer},
        {"no preamble", HartBytes{0x02, 0x80, 0x00, 0x00, 0x82}},
        {"cut short", HartBytes{0xFF, 0xFF, 0x02, 0x80, 0x00}},
    };
    for (const auto& [name, frame] : cases) EXPECT_FALSE(module.Answer(frame)) << name;
}

TEST(HartInstrument, Command6MovesThePollingAddress) {
    TavrixModule module;
    const HartIdentity id = IdentityOf(module.settings());
    const auto reply = module.Answer(HartCommand6Frame(6, kPrimaryMaster, id, 4));
    ASSERT_TRUE(reply);
    const Frame frame = CheckedFrame(*reply, 5);
    EXPECT_EQ(frame.responseCode, 0);
    EXPECT_EQ(frame.data, Bytes{4});
    EXPECT_FALSE(module.Answer(HartCommand0Frame(6, kPrimaryMaster, 0)));
    EXPECT_TRUE(module.Answer(HartCommand0Frame(6, kPrimaryMaster, 4)));

    // Out of range for a revision 5 instrument: refused, address kept.
    const auto refused = module.Answer(HartCommand6Frame(6, kPrimaryMaster, id, 16));
    ASSERT_TRUE(refused);
    EXPECT_EQ(CheckedFrame(*refused, 5).responseCode, 2);
    EXPECT_EQ(module.settings().hart.pollingAddress, 4);
}

}  // namespace
