#include "sim/modbusslave.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

#include "exchange/crosscheck.h"
#include "modbus/byteorder.h"
#include "modbus/crc16.h"
#include "protocol/strtoint.h"
#include "sim/hartinstrument.h"

namespace {

// Exception codes of the MODBUS application protocol.
constexpr uint8_t kIllegalFunction = 0x01;
constexpr uint8_t kIllegalDataAddress = 0x02;
constexpr uint8_t kIllegalDataValue = 0x03;

constexpr uint8_t kReadHoldingRegisters = 0x03;
constexpr int kMaxReadCount = 125;  // what fits one RTU frame
constexpr int kFirstVariable = 2;   // 40003

// The slave address the module answers to: 1..247; anything else (broadcast,
// an unreadable setting) answers nothing.
std::optional<uint8_t> SlaveAddress(const std::string& text) {
    const auto value = TryStrToInt(text);
    if (!value || *value < 1 || *value > 247) return std::nullopt;
    return static_cast<uint8_t>(*value);
}

// ASCII configuration commands and HART frames share the line.
bool IsOtherTraffic(const Bytes& request) {
    const std::string_view head(reinterpret_cast<const char*>(request.data()),
                                std::min<size_t>(request.size(), 2));
    return head == "QQ" || head == "JX" || (!request.empty() && request[0] == 0xFF);
}

Bytes WithCrc(Bytes frame) {
    const auto crc = ModbusCrc16(frame);
    frame.insert(frame.end(), crc.begin(), crc.end());
    return frame;
}

Bytes Exception(uint8_t address, uint8_t function, uint8_t code) {
    return WithCrc({address, static_cast<uint8_t>(function | 0x80), code});
}

}  // namespace

float ModbusSlave::VariableValue(size_t variable) const {
    if (const auto fault = settings_.modbusValueFault[variable]) return *fault;
    // The module scales each variable by its coefficient before serving it.
    const auto factor = ModuleCoefficient(static_cast<int>(variable) + 1, settings_.coefficientMode,
                                          settings_.coefficient1, settings_.coefficients);
    const auto& fixed = settings_.hart.fixedCurrent;
    const auto& at = settings_.currentOffsetAt;
    const float offset =
        !at || (fixed && std::fabs(*fixed - *at) < 1e-3f) ? settings_.currentOffset : 0;
    // The module measures the current the instrument drives, errors and all.
    const double value =
        variable == 0 && fixed ? HartLoopCurrent(settings_.hart) + offset : settings_.variables[variable];
    return static_cast<float>(value * factor.value_or(1.0));
}

uint16_t ModbusSlave::Register(int offset, uint8_t address) const {
    if (offset == 0) return 0;
    if (offset == 1) return address;
    const int variable = (offset - kFirstVariable) / 2;
    if (variable < 0 || variable >= static_cast<int>(settings_.variables.size())) return 0;
    const auto v = static_cast<size_t>(variable);
    int order = settings_.modbusOrderFault[v] >= 0 ? settings_.modbusOrderFault[v]
                                                   : settings_.floatOrder[v];
    if (order < 0 || order >= kFloatByteOrderCount) order = 0;
    const auto wire = FloatToWire(order, VariableValue(v));
    const size_t first = static_cast<size_t>((offset - kFirstVariable) % 2) * 2;
    return static_cast<uint16_t>(wire[first] << 8 | wire[first + 1]);
}

std::optional<Bytes> ModbusSlave::Answer(const Bytes& request) {
    if (request.size() != 8 || IsOtherTraffic(request)) return std::nullopt;
    if (ModbusCrc16(std::span(request).first(6)) !=
        std::array<uint8_t, 2>{request[6], request[7]}) {
        return std::nullopt;
    }
    const uint8_t address = request[0];
    const auto own = SlaveAddress(settings_.slaveAddress);
    const bool onLine =
        (own && address == *own) ||
        std::ranges::find(settings_.otherModules, int{address}) != settings_.otherModules.end();
    if (address == 0 || !onLine) return std::nullopt;  // 0 is a broadcast, never answered

    const uint8_t function = request[1];
    if (function != kReadHoldingRegisters) return Exception(address, function, kIllegalFunction);
    const int start = request[2] << 8 | request[3];
    const int count = request[4] << 8 | request[5];
    if (count < 1 || count > kMaxReadCount) {
        return Exception(address, function, kIllegalDataValue);
    }
    const auto [extraFirst, extraLast] = settings_.extraRegisters;
    const bool extra = start >= extraFirst && start + count - 1 <= extraLast;
    if (start + count > kRegisterCount && !extra) {
        return Exception(address, function, kIllegalDataAddress);
    }
    Bytes reply{address, function, static_cast<uint8_t>(2 * count)};
    for (int offset = start; offset < start + count; ++offset) {
        const uint16_t value = extra ? static_cast<uint16_t>(offset) : Register(offset, address);
        reply.push_back(static_cast<uint8_t>(value >> 8));
        reply.push_back(static_cast<uint8_t>(value));
    }
    return WithCrc(std::move(reply));
}
