#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <optional>

#include "modbus/crc16.h"
#include "modbus/request.h"
#include "sim/modbusslave.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"

#ifdef TAVRIX_HAVE_LIBMODBUS
#include <modbus.h>
#endif

namespace {

Bytes Framed(Bytes body) {
    const auto crc = ModbusCrc16(body);
    body.insert(body.end(), crc.begin(), crc.end());
    return body;
}

Bytes Request(int slave, int start, int count) {
    const ModbusRequest r = ReadHoldingRegistersRequest(slave, start, count);
    return Bytes(r.begin(), r.end());
}

float FloatFromRegisters(uint16_t first, uint16_t second) {
    return std::bit_cast<float>(static_cast<uint32_t>(first) << 16 | second);
}

struct Case {
    const char* what;
    Bytes request;
    std::optional<Bytes> reply;  // nullopt: silence
};

TEST(ModbusSlave, AnswersAndRefuses) {
    ModuleSettings settings;  // slave "001", variables 12.5, 3.75, 101.325, 25
    settings.variables = {1.0f, -2.0f, 10.0f, 0.5f};
    ModbusSlave slave(settings);
    Bytes badCrc = Request(1, 0, 10);
    badCrc[7] ^= 0x01;
    const Case cases[] = {
        {"two variables", Request(1, 2, 4),
         Framed({0x01, 0x03, 0x08, 0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00})},
        {"status and address", Request(1, 0, 2), Framed({0x01, 0x03, 0x04, 0, 0, 0, 1})},
        {"last register", Request(1, 9, 1), Framed({0x01, 0x03, 0x02, 0x00, 0x00})},
        {"past the end", Request(1, 0, 11), Framed({0x01, 0x83, 0x02})},
        {"start 0x2C", Request(1, 300, 10), Framed({0x01, 0x83, 0x02})},
        {"high start byte", Framed({0x01, 0x03, 0x01, 0x00, 0x00, 0x01}),
         Framed({0x01, 0x83, 0x02})},
        {"count 0", Request(1, 0, 0), Framed({0x01, 0x83, 0x03})},
        {"function 04", Framed({0x01, 0x04, 0x00, 0x00, 0x00, 0x01}), Framed({0x01, 0x84, 0x01})},
        {"function 06", Framed({0x01, 0x06, 0x00, 0x00, 0x00, 0x01}), Framed({0x01, 0x86, 0x01})},
        {"another slave", Request(2, 0, 10), std::nullopt},
        {"broadcast", Request(0, 0, 10), std::nullopt},
        {"bad CRC", badCrc, std::nullopt},
        {"short frame", Framed({0x01, 0x03, 0x00, 0x00, 0x01}), std::nullopt},
        {"long frame", Framed({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00}), std::nullopt},
        {"configuration query", Bytes{'Q', 'Q', 'Q', '#', 'Q', 'V', '#'}, std::nullopt},
        {"HART command 0", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x80, 0x00, 0x00, 0x82},
         std::nullopt},
        {"empty", Bytes{}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(slave.Answer(c.request), c.reply) << c.what;
    }
}

TEST(ModbusSlave, FloatByteOrderAndAddressFollowTheSettings) {
    ModuleSettings settings;
    settings.slaveAddress = "017";
    settings.floatOrder = {0, 1, 0, 1};
    ModbusSlave slave(settings);
    const auto reply = slave.Answer(Request(17, 0, 10));
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), 3u + 20u + 2u);
    EXPECT_EQ((*reply)[0], 17);
    uint16_t r[10];
    for (int i = 0; i < 10; ++i)
        r[i] = static_cast<uint16_t>((*reply)[3 + 2 * i] << 8 | (*reply)[4 + 2 * i]);
    EXPECT_EQ(r[1], 17);
    EXPECT_EQ(FloatFromRegisters(r[2], r[3]), settings.variables[0]);
    EXPECT_EQ(FloatFromRegisters(r[5], r[4]), settings.variables[1]);  // FF2 FF1 FF4 FF3
    EXPECT_EQ(FloatFromRegisters(r[6], r[7]), settings.variables[2]);
    EXPECT_EQ(FloatFromRegisters(r[9], r[8]), settings.variables[3]);
    EXPECT_FALSE(slave.Answer(Request(1, 0, 10)));
}

TEST(ModbusSlave, ModulesOnOneLineAnswerAtTheirOwnAddresses) {
    ModuleSettings settings;
    settings.slaveAddress = "003";
    settings.otherModules = {17, 200};
    ModbusSlave slave(settings);
    const struct {
        int address;
        bool answers;
    } cases[] = {{3, true},  {17, true},  {200, true}, {0, false},   {1, false},   {2, false},
                 {4, false}, {16, false}, {18, false}, {199, false}, {201, false}, {247, false}};
    for (const auto& c : cases) {
        const auto reply = slave.Answer(Request(c.address, 0, 2));
        ASSERT_EQ(reply.has_value(), c.answers) << c.address;
        if (!reply) continue;
        const auto a = static_cast<uint8_t>(c.address);
        EXPECT_EQ(*reply, Framed({a, 0x03, 0x04, 0, 0, 0, a})) << c.address;  // 40002: its own
        EXPECT_EQ(slave.Answer(Framed({a, 0x04, 0x00, 0x00, 0x00, 0x01})), Framed({a, 0x84, 0x01}))
            << c.address;
    }
}

TEST(ModbusSlave, ModuleAnswersThroughItsResponders) {
    TavrixModule module;
    const auto reply = module.Answer(Request(1, 0, 10));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->size(), 25u);
    EXPECT_EQ(ModbusCrc16(*reply), (std::array<uint8_t, 2>{0, 0}));
}

#ifdef TAVRIX_HAVE_LIBMODBUS
// A MODBUS master that no one here wrote reads the simulator over a
// pseudo-terminal; libmodbus checks the reply's framing and CRC itself.
TEST(ModbusSlave, LibmodbusMasterReadsTheSimulator) {
    TavrixModule module;
    {
        std::lock_guard lock(module.mutex());
        module.settings().slaveAddress = "005";
        module.settings().floatOrder = {0, 1, 0, 0};
    }
    SimServer sim(module, SimOptions{});
    const std::string path = sim.Open();
    sim.Start();

    modbus_t* ctx = modbus_new_rtu(path.c_str(), 9600, 'N', 8, 1);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(modbus_connect(ctx), 0) << modbus_strerror(errno);
    modbus_set_slave(ctx, 5);
    modbus_set_response_timeout(ctx, 2, 0);

    uint16_t regs[10] = {};
    ASSERT_EQ(modbus_read_registers(ctx, 0, 10, regs), 10) << modbus_strerror(errno);
    const auto& v = module.settings().variables;
    EXPECT_EQ(regs[1], 5);
    EXPECT_EQ(modbus_get_float_abcd(regs + 2), v[0]);
    EXPECT_EQ(modbus_get_float_cdab(regs + 4), v[1]);
    EXPECT_EQ(modbus_get_float_abcd(regs + 6), v[2]);

    EXPECT_EQ(modbus_read_registers(ctx, 8, 3, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);

    modbus_close(ctx);
    modbus_free(ctx);
    sim.Stop();
}
#endif

}  // namespace
