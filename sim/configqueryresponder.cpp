#include "sim/configqueryresponder.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

#include "protocol/hexbytes.h"

namespace {

// A setting as one decimal digit; the module keeps its lists within 0..9.
char Digit(int value) { return static_cast<char>('0' + std::clamp(value, 0, 9)); }

std::string TwoDigits(int value) {
    value = std::clamp(value, 0, 99);
    return {Digit(value / 10), Digit(value % 10)};
}

// A setting in its fixed reply width, so the fields after it stay in place;
// longer values are cut. Numbers are zero-filled on the left ("50" -> "050"),
// decimal texts blank-filled on the right, as their set commands carry them.
std::string Number(const std::string& text, size_t width) {
    if (text.size() >= width) return text.substr(0, width);
    return std::string(width - text.size(), '0') + text;
}

std::string Text(const std::string& text, size_t width) {
    std::string fixed = text.substr(0, width);
    fixed.resize(width, ' ');
    return fixed;
}

// The module carries at most 14 command bytes.
constexpr size_t kMaxCommandBytes = 14;

// "NN,AA BB CC": the byte count, then the bytes as hexadecimal pairs.
std::string CountedHex(const std::vector<uint8_t>& bytes) {
    const size_t n = std::min(bytes.size(), kMaxCommandBytes);
    return TwoDigits(static_cast<int>(n)) + "," + HexText(std::span(bytes).first(n));
}

}  // namespace

std::string SystemParametersReply(const ModuleSettings& s) {
    return std::string("QX#BA2:") + Digit(s.rs485Baud) + Digit(s.rs485Parity) +
           ",MD:" + Digit(s.mode) + ",ADR:" + Number(s.slaveAddress, 3) +
           ",JTM:" + Number(s.pollInterval, 3) + ",XY1:" + Digit(s.responseTime) + "#";
}

std::string CurrentOutputReply(const ModuleSettings& s) {
    std::string reply = "QD#";
    for (size_t v = 0; v < 3; ++v) {
        reply += "DA" + std::to_string(v + 2) + ":" + Text(s.range4mA[v], 5) + "," +
                 Text(s.range20mA[v], 5) + ",";
    }
    return reply + "MD:" + Digit(s.mode) + ",YSM:" + Digit(s.var1Map) + "#";
}

std::string ModbusParametersReply(const ModuleSettings& s) {
    std::string reply = std::string("QQ0#FMW:") + Digit(s.coefficientMode) + "," +
                        Text(s.coefficient1, 5) + ";FMU:" + Text(s.coefficients[0], 5) + "," +
                        Text(s.coefficients[1], 5) + "," + Text(s.coefficients[2], 5) + ";HART" +
                        Digit(s.meterId) + ":" + Digit(s.hartEnable) + "," + Digit(s.hartMode) +
                        "," + TwoDigits(s.meterType) + "," + Digit(s.preambles) + "," +
                        Number(s.bufferClearTime, 3) + ",";
    for (int order : s.floatOrder) reply += Digit(order);
    // A universal meter needs no parsing format, so the module leaves it out.
    if (s.meterType == 0) {
        reply += std::string(";ZDY") + Digit(s.meterId) + ":" + Digit(s.addressBits);
        for (const auto& p : s.parsing) {
            reply +=
                std::string(",") + Digit(p.command) + TwoDigits(p.startAddress) + Digit(p.length);
        }
        for (size_t row = 0; row < s.readCommands.size(); ++row) {
            reply += ";CAMD0" + std::to_string(row + 1) + ":" + Digit(s.readCommands[row].on) +
                     "," + CountedHex(s.readCommands[row].bytes);
        }
    }
    return reply + "#";
}

std::string MonitoringCommandReply(const ModuleSettings& s, int row) {
    const auto& command = s.monitoringCommands[static_cast<size_t>(row - 1)];
    return "RCAD" + std::to_string(row) + ":" + Digit(command.on) + "," +
           CountedHex(command.bytes) + "#";
}

std::optional<Bytes> ConfigQueryResponder::Answer(const Bytes& request) {
    using Reply = std::string (*)(const ModuleSettings&);
    static constexpr struct {
        std::string_view query;
        Reply reply;
    } kQueries[] = {
        {"QQQ#QX#", SystemParametersReply},
        {"QQQ#QD#", CurrentOutputReply},
        {"QQQ#QQ0#", ModbusParametersReply},
        {"QQQ#RCAD01#", [](const ModuleSettings& s) { return MonitoringCommandReply(s, 1); }},
        {"QQQ#RCAD02#", [](const ModuleSettings& s) { return MonitoringCommandReply(s, 2); }},
    };
    const std::string_view text(reinterpret_cast<const char*>(request.data()), request.size());
    for (const auto& entry : kQueries) {
        if (text == entry.query) {
            const std::string reply = entry.reply(settings_);
            return Bytes(reply.begin(), reply.end());
        }
    }
    return std::nullopt;
}
