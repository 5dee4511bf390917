// Every reply decoder on random and damaged replies: whatever the line
// delivers, nothing is read outside the reply (the sanitizer build checks
// that) and the results stay within what the window can apply.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "exchange/configreplies.h"
#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "hart/replies.h"
#include "hart/units.h"

namespace {

// Replies a module or instrument might send, to be cut and mutated.
const std::vector<std::string> kSeeds = {
    "QX#BA2:30,MD:1,ADR:001,JTM:050,XY1:3#",
    "QD#DA2:0.000,100.0;DA3:0.000,100.0;DA4:0.000,100.0;MD:1;YSM:0#",
    "QQ0#FMW:0,0.001;FMU:1.000,1.000,1.000;HART0:0,0,00,4,060,0000;ZDY0:8,0000,0000,0000,0000;"
    "CAMD01:1,03,01 0F 2A;CAMD02:0,00,#",
    "RCAD1:1,03,FF 00 AB#",
    // The current-output reply in the module's own shape, which the verdict takes whole.
    "QD#DA2:0.000,100.0,DA3:2.5  ,30.00,DA4:-1.00,100.0,MD:1,YSM:0#",
    std::string(
        "\xFF\xFF\xFF\x06\x80\x00\x0E\x00\x00\xFE\x5A\x0B\x05\x05\x01\x01\x08\x00\x12\x34\x56\x00",
        22),
    std::string(
        "\xFF\xFF\x86\x9A\x0B\x12\x34\x56\x03\x1A\x00\x00\x41\x80\x00\x00\x20\x41\x45\x70\xA4"
        "\x3D\x3D\xCC\xCC\xCD\x91\x7F\xA0\x00\x00\xFA\xBF\x00\x00\x00\x00",
        37),
};

std::string Mutate(std::mt19937& rng, std::string text) {
    std::uniform_int_distribution<int> byte(0, 255), op(0, 3);
    const int edits = std::uniform_int_distribution<int>(0, 6)(rng);
    for (int i = 0; i < edits && !text.empty(); ++i) {
        const size_t at = std::uniform_int_distribution<size_t>(0, text.size() - 1)(rng);
        switch (op(rng)) {
            case 0: text[at] = static_cast<char>(byte(rng)); break;
            case 1: text.erase(at, 1); break;
            case 2: text.insert(at, 1, static_cast<char>(byte(rng))); break;
            default: text.resize(at); break;  // cut off
        }
    }
    return text;
}

void CheckConfigReply(const ConfigReply& reply, size_t length) {
    for (const ConfigField& field : reply.fields) {
        EXPECT_LE(field.text.size(), length);
        if (field.kind == ConfigFieldKind::Checked || field.kind == ConfigFieldKind::Visible) {
            EXPECT_TRUE(field.number == 0 || field.number == 1);
        }
    }
}

}  // namespace

TEST(DecoderFuzz, DamagedAndRandomRepliesStayInsideTheReply) {
    std::mt19937 rng(20261208);
    int decodedSomething = 0;
    int whole = 0;  // replies the verdict took whole
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        if (round % 4 == 0) {
            const size_t n = std::uniform_int_distribution<size_t>(0, 300)(rng);
            for (size_t i = 0; i < n; ++i) text.push_back(static_cast<char>(rng()));
        } else {
            text = Mutate(rng, kSeeds[static_cast<size_t>(round) % kSeeds.size()]);
        }
        if (text.size() > 255) text.resize(255);  // what the window keeps of a block
        // Decode from an exact-size heap copy, so a read past the end is caught.
        const std::vector<char> exact(text.begin(), text.end());
        const std::string_view reply(exact.data(), exact.size());

        const ConfigReply system = DecodeSystemParameters(reply);
        if (!system.fields.empty()) ++decodedSomething;
        CheckConfigReply(system, reply.size());
        CheckConfigReply(DecodeCurrentOutputParameters(reply), reply.size());
        for (int meter : {-1, 0, 1}) CheckConfigReply(DecodeModbusParameters(reply, meter), reply.size());
        CheckConfigReply(DecodeMonitoringCommand(reply), reply.size());
        // A reply the verdict takes whole is one the decoders read whole:
        // no conversion fails and every list item is one of its list.
        const struct {
            int code;
            const char* query;
            ConfigReply decoded;
        } judged[] = {
            {kCodeSystemQuery, "QQQ#QX#", system},
            {kCodeCurrentOutputQuery, "QQQ#QD#", DecodeCurrentOutputParameters(reply)},
            {kCodeModbusQuery, "QQQ#QQ0#", DecodeModbusParameters(reply, -1)},
            {kCodeMonitoringQuery, "QQQ#RCAD01#", DecodeMonitoringCommand(reply)},
        };
        for (const auto& j : judged) {
            const ReplyVerdict verdict = JudgeReply(j.code, j.query, reply);
            if (verdict.state != VerdictState::Valid) continue;
            ++whole;
            EXPECT_FALSE(j.decoded.failedText) << reply;
            EXPECT_FALSE(j.decoded.fields.empty()) << reply;
            for (const ConfigField& field : j.decoded.fields)
                if (field.kind == ConfigFieldKind::ItemIndex) EXPECT_GE(field.number, 0) << reply;
        }

        const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(exact.data()), exact.size());
        if (auto device = ParseHartCommand0Reply(bytes)) {
            EXPECT_LE(device->DeviceNumber(), 0xFFFFFFu);
        }
        if (auto variables = ParseHartCommand3Reply(bytes, '.')) {
            EXPECT_LE(variables->size(), 4u);
            for (const HartVariable& variable : *variables) {
                EXPECT_LE(variable.valueText.size(), 9u);
                EXPECT_GE(variable.unitItem, 0);
                EXPECT_LT(variable.unitItem, kUnitItemCount);
            }
        }
    }
    // The mutations keep many replies decodable, so the fields are exercised too.
    EXPECT_GT(decodedSomething, 1000);
    EXPECT_GT(whole, 100);
}
