#include "exchange/crosscheck.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "modbus/byteorder.h"

namespace {

constexpr double kCubicMetresPerSecondToPerHour = 3600;

std::optional<double> Number(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    const size_t last = text.find_last_not_of(' ');
    double value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [at, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || at != end) return std::nullopt;
    return value;
}

// Seven significant digits: what a single-precision register can carry.
std::string Short(double value) {
    char text[32];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 7);
    return error == std::errc() ? std::string(text, end) : "?";
}

std::string OrderText(int order) {
    return std::to_string(order) + " (" + kFloatByteOrders[order].pattern + ")";
}

std::string ListText(int listOrder) {
    if (listOrder < 0 || listOrder >= kFloatByteOrderCount) return "the list holds no order";
    return "the list says " + std::to_string(listOrder);
}

std::vector<int> Matching(const ModbusFloatPair& pair, double expected, double tolerance) {
    std::vector<int> orders;
    for (int order = 0; order < kFloatByteOrderCount; ++order) {
        if (AgreeWithin(pair.value[static_cast<size_t>(order)], expected, tolerance)) {
            orders.push_back(order);
        }
    }
    return orders;
}

std::string Verdict(const CrossCheckRow& row, int listOrder, const ModbusFloatPair& pair,
                    double tolerance) {
    if (row.agree) return "agrees in byte order " + OrderText(listOrder);
    if (!row.matchingOrders.empty()) {
        return "byte order " + OrderText(row.matchingOrders.front()) + " matches; " +
               ListText(listOrder);
    }
    std::string text = "no byte order matches " + Short(*row.expected);
    // The other common fault: the value arrives, but scaled differently.
    if (*row.factor != 1) {
        const auto unscaled = Matching(pair, *row.hartValue, tolerance);
        if (!unscaled.empty()) {
            text += "; byte order " + OrderText(unscaled.front()) +
                    " matches without the coefficient " + Short(*row.factor);
        }
    }
    return text;
}

}  // namespace

std::optional<double> ModuleCoefficient(int variable, int coefficientMode,
                                        const std::string& coefficient1,
                                        const std::array<std::string, 3>& coefficients) {
    if (variable >= 2 && variable <= 4)
        return Number(coefficients[static_cast<size_t>(variable - 2)]);
    if (variable != 1) return std::nullopt;
    switch (coefficientMode) {
        case 0:
            return 1.0;
        case 1:
            return kCubicMetresPerSecondToPerHour;
        case 2:
            return Number(coefficient1);
        case 3:
            if (const auto c = Number(coefficient1)) return *c * 100;
            return std::nullopt;
    }
    return std::nullopt;
}

bool AgreeWithin(double a, double b, double tolerancePercent) {
    if (std::isnan(a) || std::isnan(b)) return false;
    return std::fabs(a - b) <= tolerancePercent / 100 * std::max(std::fabs(a), std::fabs(b));
}

std::vector<CrossCheckRow> CrossCheck(const HartDynamicValues& hart,
                                      std::span<const uint16_t> registers, int firstAddress,
                                      const CrossCheckSettings& settings) {
    const auto pairs = ModbusFloatPairs(registers, firstAddress);
    std::vector<CrossCheckRow> rows;
    for (int v = 1; v <= kModuleVariables; ++v) {
        CrossCheckRow row;
        row.variable = v;
        row.address = kFirstVariableRegister + 2 * (v - 1);
        const auto prefix = "Variable " + std::to_string(v) + ": ";
        const int listOrder = settings.listOrder[static_cast<size_t>(v - 1)];
        const auto pair = std::find_if(pairs.begin(), pairs.end(), [&](const ModbusFloatPair& p) {
            return p.address == row.address;
        });
        if (pair != pairs.end() && listOrder >= 0 && listOrder < kFloatByteOrderCount) {
            row.modbusValue = pair->value[static_cast<size_t>(listOrder)];
        }
        row.factor = ModuleCoefficient(v, settings.coefficientMode, settings.coefficient1,
                                       settings.coefficients);
        if (static_cast<size_t>(v) <= hart.variables.size()) {
            const auto& variable = hart.variables[static_cast<size_t>(v - 1)];
            row.hartValue = variable.value;
            row.unitItem = variable.unitItem;
            row.unitCode = variable.unitCode;
        }

        if (!row.hartValue) {
            row.verdict = prefix + "could not compare: not in the HART reply (it carries " +
                          std::to_string(hart.variables.size()) +
                          (hart.variables.size() == 1 ? " variable)" : " variables)");
        } else if (HartNotAvailable(*row.hartValue)) {
            row.verdict = prefix + "could not compare: the instrument reports the value " +
                          kHartNotAvailableText;
        } else if (pair == pairs.end()) {
            row.verdict = prefix + "registers " + std::to_string(row.address) + " and " +
                          std::to_string(row.address + 1) + " are not in the MODBUS reply";
        } else if (!row.factor) {
            row.verdict = prefix + "the coefficient is not a number";
        } else {
            row.expected = *row.hartValue * *row.factor;
            row.matchingOrders = Matching(*pair, *row.expected, settings.tolerancePercent);
            row.agree = std::find(row.matchingOrders.begin(), row.matchingOrders.end(),
                                  listOrder) != row.matchingOrders.end();
            row.verdict = prefix + Verdict(row, listOrder, *pair, settings.tolerancePercent);
            if (row.agree)
                row.state = CrossCheckState::Agrees;
            else if (row.modbusValue)
                row.state = CrossCheckState::Disagrees;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

const char* CrossCheckStateName(CrossCheckState state) {
    switch (state) {
        case CrossCheckState::Agrees:
            return "agrees";
        case CrossCheckState::Disagrees:
            return "disagrees";
        case CrossCheckState::CouldNotCompare:
            return "could not compare";
    }
    return "";
}

std::optional<std::string> WhyNotComparable(const CrossCheckSources& s) {
    if (!s.hart) return "no HART command 3 reply yet";
    if (!s.modbus && s.modbusTimedOut) return "no MODBUS reply: the request timed out";
    if (!s.modbus) return "no MODBUS reply yet";
    if (s.modbusTimedOut)
        return "the last MODBUS request timed out: the reply kept (" + AgeText(s.modbusAgeMs) +
               ") is not what the module serves now";
    if (s.modbusPending) return "a MODBUS request still awaits its reply";
    if (s.modbusVerdict.exception) return "the MODBUS reply is an " + s.modbusVerdict.reason;
    if (s.modbusVerdict.state == VerdictState::Wrong)
        return "the MODBUS reply is wrong: " + s.modbusVerdict.reason;
    if (s.modbusVerdict.state == VerdictState::Incomplete)
        return "the MODBUS reply is incomplete: " + s.modbusVerdict.reason;
    if (s.modbusAgeMs > s.hartAgeMs)
        return "the MODBUS reply (" + AgeText(s.modbusAgeMs) + ") is older than the HART values (" +
               AgeText(s.hartAgeMs) + "): read MODBUS again";
    return std::nullopt;
}

std::optional<int> VariablesReadStart(std::span<const uint8_t> request) {
    if (request.size() != 8 || request[1] != 0x03) return std::nullopt;
    const int start = kFirstHoldingRegister + (request[2] << 8 | request[3]);
    const int count = request[4] << 8 | request[5];
    const int last = kFirstVariableRegister + 2 * kModuleVariables - 1;
    if (start > kFirstVariableRegister || start + count - 1 < last) return std::nullopt;
    return start;
}
