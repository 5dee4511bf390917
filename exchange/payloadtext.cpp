#include "exchange/payloadtext.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "exchange/configreplies.h"
#include "exchange/requestcodes.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "modbus/byteorder.h"
#include "modbus/reply.h"
#include "protocol/hexbytes.h"

namespace {

std::string Number(float value) {
    if (std::isnan(value)) return "not available";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
    return text;
}

std::string Command0(std::span<const uint8_t> reply) {
    const auto device = ParseHartCommand0Reply(reply);
    if (!device) return {};
    return "identity: " + HartIdentityText(*device) + ", device revision " +
           std::to_string(device->deviceRevision) + ", " + std::to_string(device->preambles) +
           " preambles";
}

std::string Command3(std::span<const uint8_t> reply) {
    const auto values = ParseHartCommand3Values(reply);
    if (!values) return {};
    static constexpr const char* kNames[] = {"PV", "SV", "TV", "QV"};
    std::string text = "loop current " + HartNumberText(values->loopCurrent) +
                       (HartNotAvailable(values->loopCurrent) ? "" : " mA");
    for (size_t i = 0; i < values->variables.size() && i < std::size(kNames); ++i) {
        const auto& v = values->variables[i];
        text += std::string(", ") + kNames[i] + " " + HartNumberText(v.value);
        if (!HartNotAvailable(v.value)) text += " " + HartUnitName(v.unitCode);
    }
    return text;
}

// Register pairs from the first one at an odd register number (40001,
// 40003, ...), where the module keeps its floats.
std::string Registers(std::span<const uint8_t> request, std::span<const uint8_t> reply,
                      const PayloadContext& context) {
    if (request.size() < 6 || request[1] != 0x03) return {};
    const ModbusReply decoded = DecodeModbusReply(reply);
    if (decoded.exception || decoded.registers.empty()) return {};
    const int first = kFirstHoldingRegister + request[2] * 256 + request[3];
    std::string text;
    const auto& regs = decoded.registers;
    for (size_t i = (first - kFirstHoldingRegister) % 2; i + 1 < regs.size(); i += 2) {
        const int number = first + static_cast<int>(i);
        int order = 0;
        const int slot = (number - 40003) / 2;
        if (context.ordersKnown && number >= 40003 && number <= 40009 && (number - 40003) % 2 == 0)
            order = context.floatOrders[static_cast<size_t>(slot)];
        if (order < 0 || order >= kFloatByteOrderCount) order = 0;
        const std::array<uint8_t, 4> wire{static_cast<uint8_t>(regs[i] >> 8),
                                          static_cast<uint8_t>(regs[i] & 0xFF),
                                          static_cast<uint8_t>(regs[i + 1] >> 8),
                                          static_cast<uint8_t>(regs[i + 1] & 0xFF)};
        text += (text.empty() ? "" : ", ") + std::to_string(number) + " = " +
                Number(FloatFromWire(order, wire)) + " (" + kFloatByteOrders[order].pattern + ")";
    }
    return text.empty() ? text : "floats " + text;
}


// "BA2 = 30", the key as the reply spells it, without its ':'.
std::string Groups(ConfigReplyKind kind, std::string_view reply) {
    std::string text;
    for (const ConfigKeyCheck& check : CheckConfigReplyKeys(kind, reply)) {
        if (check.state != ConfigKeyState::Found || check.group.size() <= check.key.size())
            continue;
        std::string_view name = check.group.substr(0, check.key.size());
        std::string_view value = check.group.substr(check.key.size());
        if (name.ends_with(':')) name.remove_suffix(1);
        if (value.starts_with(':')) value.remove_prefix(1);
        text += (text.empty() ? "" : "; ") + std::string(name) + " = " + std::string(value);
    }
    return text;
}

}  // namespace

std::string PayloadText(int code, std::span<const uint8_t> request, std::span<const uint8_t> reply,
                        const PayloadContext& context) {
    const std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
    switch (code) {
        case kCodeHartCommand0:
            return Command0(reply);
        case kCodeHartCommand3:
            return Command3(reply);
        case kCodeModbusTest:
            return Registers(request, reply, context);
        case kCodeCommunicationQuery: {
            const size_t end = text.find('#');
            return text.starts_with("QV:") && end != std::string_view::npos
                       ? "version " + std::string(text.substr(3, end - 3))
                       : std::string();
        }
        default:
            if (const auto kind = ConfigReplyKindOf(code)) return Groups(*kind, text);
            return {};
    }
}

PayloadContext PayloadContextFromModbusParameters(std::string_view reply) {
    PayloadContext context;
    int found = 0;
    for (const ConfigField& field : DecodeModbusParameters(reply, -1).fields) {
        const int slot = field.setting == ConfigSetting::ModbusFloatOrder40003   ? 0
                         : field.setting == ConfigSetting::ModbusFloatOrder40005 ? 1
                         : field.setting == ConfigSetting::ModbusFloatOrder40007 ? 2
                         : field.setting == ConfigSetting::ModbusFloatOrder40009 ? 3
                                                                                 : -1;
        if (slot < 0) continue;
        context.floatOrders[static_cast<size_t>(slot)] = field.number;
        ++found;
    }
    context.ordersKnown = found == 4;
    return context;
}
