// The HART instrument behind the module, driven with the tool's own frames
// and read back with its own decoders.
#include <gtest/gtest.h>

#include <cmath>
#include <string_view>

#include "hart/frames.h"
#include "hart/replies.h"
#include "hart/universal.h"
#include "modbus/reply.h"
#include "modbus/ieee754.h"
#include "modbus/request.h"
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
    const struct {
        int revision;
        uint8_t byteCount;
        uint16_t deviceType;
        std::optional<uint16_t> counter;
    } cases[] = {{5, 14, 0x0B, {}}, {6, 19, 0x0B, 2}, {7, 24, 0x5A0B, 2}};
    for (auto [revision, byteCount, deviceType, counter] : cases) {
        TavrixModule module;
        module.settings().hart.revision = revision;
        module.settings().hart.configChangeCounter = 2;
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
        EXPECT_EQ(device->manufacturerCode, 0x5A);
        EXPECT_EQ(device->expandedDeviceType, deviceType);
        EXPECT_EQ(device->configChangeCounter, counter);
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
    EXPECT_EQ(ParseHartCommand6(*reply)->loopCurrentMode, std::nullopt);
    EXPECT_FALSE(module.Answer(HartCommand0Frame(6, kPrimaryMaster, 0)));
    EXPECT_TRUE(module.Answer(HartCommand0Frame(6, kPrimaryMaster, 4)));

    // Out of range for a revision 5 instrument: refused, address kept.
    const auto refused = module.Answer(HartCommand6Frame(6, kPrimaryMaster, id, 16));
    ASSERT_TRUE(refused);
    EXPECT_EQ(CheckedFrame(*refused, 5).responseCode, 2);
    EXPECT_EQ(module.settings().hart.pollingAddress, 4);
}

}  // namespace

namespace {

HartBytes To(TavrixModule& module, uint8_t command, const HartBytes& data = {}) {
    const auto reply =
        module.Answer(HartLongFrame(6, kPrimaryMaster, IdentityOf(module.settings()), command, data));
    EXPECT_TRUE(reply) << int{command};
    return reply.value_or(HartBytes{});
}

float Register40003(TavrixModule& module) {
    const auto request = ReadHoldingRegistersRequest(1, 2, 2);
    const auto reply = module.Answer(Bytes(request.begin(), request.end()));
    EXPECT_TRUE(reply);
    const ModbusReply decoded = DecodeModbusReply(*reply);
    EXPECT_EQ(decoded.registers.size(), 2u);
    const uint8_t wire[] = {static_cast<uint8_t>(decoded.registers[0] >> 8),
                            static_cast<uint8_t>(decoded.registers[0]),
                            static_cast<uint8_t>(decoded.registers[1] >> 8),
                            static_cast<uint8_t>(decoded.registers[1])};
    return SingleFromBigEndian(wire);
}

}  // namespace

// What is written is what is read: tag, message and range; the range moves
// the percent of range.
TEST(HartInstrument, WritesPersist) {
    TavrixModule module;
    const HartTagRecord record{"FT-7", "OUTLET FLOW", {1, 2, 2027}};
    EXPECT_EQ(ParseHartTag(To(module, 18, HartTagData(record).data), 18), record);
    EXPECT_EQ(ParseHartTag(To(module, 13)), record);
    To(module, 17, HartMessageData("Calibrated").data);
    EXPECT_EQ(ParseHartMessage(To(module, 12)), "CALIBRATED");

    const auto before = ParseHartCommand2(To(module, 2));
    ASSERT_TRUE(before);
    EXPECT_FLOAT_EQ(before->percent, 50.0f);  // 12.5 kPa of 0..25
    ASSERT_TRUE(ParseHartCommand35(To(module, 35, HartRangeData({12, 50.0f, 0.0f}).data)));
    const auto info = ParseHartCommand15(To(module, 15));
    ASSERT_TRUE(info);
    EXPECT_FLOAT_EQ(info->upper, 50.0f);
    EXPECT_FLOAT_EQ(info->lower, 0.0f);
    EXPECT_FLOAT_EQ(ParseHartCommand2(To(module, 2))->percent, 25.0f);
}

TEST(HartInstrument, RefusalsLeaveTheStateAlone) {
    TavrixModule module;
    auto& hart = module.settings().hart;
    hart.writeProtect = true;
    const struct {
        uint8_t command;
        HartBytes data;
        uint8_t code;
    } cases[] = {
        {18, HartTagData({"X", "", {1, 1, 2000}}).data, 7},
        {17, HartMessageData("X").data, 7},
        {35, HartRangeData({12, 9.0f, 1.0f}).data, 7},
        {18, {0x01}, 5},
        {40, HartFixedCurrentData(2.0f), 4},
        {40, HartFixedCurrentData(23.0f), 3},
    };
    for (const auto& c : cases) {
        const auto body = ParseHartReplyBody(To(module, c.command, c.data), c.command);
        ASSERT_TRUE(body) << int{c.command};
        EXPECT_EQ(body->responseCode, c.code) << int{c.command};
    }
    EXPECT_EQ(hart.tag, "PT-101");
    EXPECT_EQ(hart.upperRange, 25.0f);
    EXPECT_FALSE(hart.fixedCurrent);

    hart.forcedResponse = std::pair{13, uint8_t{32}};
    hart.deviceStatus = 0x81;
    const auto busy = ParseHartReplyBody(To(module, 13), 13);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->responseCode, 32);
    EXPECT_EQ(busy->deviceStatus, 0x81);
    EXPECT_TRUE(busy->data.empty());
}

// Command 40 holds the loop: commands 2 and 3 report the fixed current and
// register 40003 serves it (plus the module's offset) until 0 releases it.
TEST(HartInstrument, FixedCurrentModeReachesTheModbusSide) {
    TavrixModule module;
    module.settings().currentOffset = 0.2f;
    EXPECT_FLOAT_EQ(*ParseHartCommand40(To(module, 40, HartFixedCurrentData(20.0f))), 20.0f);
    const auto loop = ParseHartCommand2(To(module, 2));
    ASSERT_TRUE(loop);
    EXPECT_FLOAT_EQ(loop->current, 20.0f);
    EXPECT_FLOAT_EQ(loop->percent, 100.0f);
    EXPECT_FLOAT_EQ(ParseHartCommand3Values(To(module, 3))->loopCurrent, 20.0f);
    EXPECT_EQ(ParseHartReplyBody(To(module, 2), 2)->deviceStatus & 0x08, 0x08);
    EXPECT_NEAR(Register40003(module), 20.2f, 1e-4);

    EXPECT_FLOAT_EQ(*ParseHartCommand40(To(module, 40, HartFixedCurrentData(0.0f))), 0.0f);
    EXPECT_FALSE(module.settings().hart.fixedCurrent);
    EXPECT_FLOAT_EQ(ParseHartCommand2(To(module, 2))->current, 12.0f);
    EXPECT_FLOAT_EQ(Register40003(module), 12.5f);  // variable 1 again
}

// Commissioning: what each command changes is what the reads report; every
// write flags and counts the configuration change until 38 clears it.
TEST(HartInstrument, CommissioningCommandsKeepTheirState) {
    TavrixModule module;
    auto& hart = module.settings().hart;
    hart.revision = 7;
    hart.outputZero = 0.1f;   // 4.1 mA at 4 mA
    hart.outputGain = 1.01f;  // and 20.26 mA at 20 mA
    const struct {
        const char* name;
        uint8_t command;
        HartBytes data;
        uint8_t code;
        uint8_t status;  // configuration changed, cold start, loop current fixed
    } steps[] = {
        {"damping", 34, HartDampingData(2.0f).data, 0, 0x40},
        {"damping past 60 s", 34, HartDampingData(90.0f).data, 8, 0x40},
        {"unit kg/h", 44, HartPvUnitsData(75), 0, 0x40},
        {"no unit", 44, HartPvUnitsData(0), 12, 0x40},
        {"a stale counter", 38, HartResetConfigChangedData(7, 2), 9, 0x40},
        {"the counter", 38, HartResetConfigChangedData(7, 3), 0, 0x00},
        {"zero trim, loop free", 45, HartTrimCurrentData(4.1f).data, 9, 0x00},
        {"fixed at 4 mA", 40, HartFixedCurrentData(4.0f), 0, 0x08},
        {"gain trim at 4 mA", 46, HartTrimCurrentData(20.26f).data, 9, 0x08},
        {"meter far off", 45, HartTrimCurrentData(5.5f).data, 3, 0x08},
        {"zero trim", 45, HartTrimCurrentData(4.1f).data, 0, 0x48},
        {"fixed at 20 mA", 40, HartFixedCurrentData(20.0f), 0, 0x48},
        {"gain trim", 46, HartTrimCurrentData(20.16f).data, 0, 0x48},
        {"self test", 41, {}, 0, 0x48},
        {"busy after it", 48, {}, 32, 0x48},
        {"busy no more", 48, {}, 0, 0x48},
        {"reset", 42, {}, 0, 0x40},
        {"cold start after it", 48, {}, 0, 0x60},
        {"once", 48, {}, 0, 0x40},
    };
    for (const auto& s : steps) {
        if (std::string_view(s.name) == "gain trim") {
            // Zero trimmed: 4 + 16 * 1.01 at 20 mA.
            EXPECT_NEAR(ParseHartCommand2(To(module, 2))->current, 20.16f, 1e-4) << s.name;
        }
        const auto body = ParseHartReplyBody(To(module, s.command, s.data), s.command);
        ASSERT_TRUE(body) << s.name;
        EXPECT_EQ(body->responseCode, s.code) << s.name;
        EXPECT_EQ(body->deviceStatus & 0x68, s.status) << s.name;
    }
    EXPECT_EQ(hart.configChangeCounter, 5);
    EXPECT_EQ(ParseHartCommand0Reply(module.Answer(HartCommand0Frame(6, kPrimaryMaster, 0))
                                         .value_or(Bytes{}))
                  ->configChangeCounter,
              5);
    const auto info = ParseHartCommand15(To(module, 15));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->damping, 60.0f);
    EXPECT_EQ(info->rangeUnitCode, 75);
    EXPECT_EQ(ParseHartCommand1(To(module, 1))->unitCode, 75);
    // Trimmed: the loop carries what it is asked for.
    EXPECT_NEAR(ParseHartCommand3Values(To(module, 3))->loopCurrent, 12.0f, 1e-4);
    EXPECT_EQ(ParseHartCommand3Values(To(module, 3))->variables[0].unitCode, 75);

    hart.nanVariable = 1;
    const auto values = ParseHartCommand3Values(To(module, 3));
    ASSERT_TRUE(values);
    EXPECT_FALSE(std::isnan(values->variables[0].value));
    EXPECT_TRUE(std::isnan(values->variables[1].value));
}
