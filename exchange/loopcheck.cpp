#include "exchange/loopcheck.h"

#include <cmath>
#include <cstdio>

#include "exchange/requestcodes.h"
#include "exchange/requeststeps.h"
#include "modbus/byteorder.h"
#include "modbus/reply.h"
#include "protocol/strtoint.h"

namespace {

std::optional<double> Number(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return TryStrToDecimal(text);
}

std::string Fixed(double value, int decimals, bool sign = false) {
    char text[32];
    std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, value);
    return text;
}

}  // namespace

std::optional<std::vector<double>> ParseLoopPoints(std::string_view text, std::string* error) {
    const auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    std::vector<double> points;
    for (size_t start = 0; start <= text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        const auto value = Number(item);
        if (!value) return fail("the loop point \"" + std::string(item) + "\" is not a number");
        if (*value < kLowestLoopPoint || *value > kHighestLoopPoint)
            return fail("the loop point " + std::string(item) + " mA is outside 3.5 to 22.5 mA");
        points.push_back(*value);
        start = comma + 1;
    }
    if (points.size() > kMaxLoopPoints)
        return fail("at most " + std::to_string(kMaxLoopPoints) + " loop points, " +
                    std::to_string(points.size()) + " given");
    return points;
}

std::optional<double> ParseLoopTolerance(std::string_view text, std::string* error) {
    const auto value = Number(text);
    if (!value || *value <= 0 || *value > 2) {
        if (error)
            *error = "the tolerance \"" + std::string(text) +
                     "\" must be a number of mA above 0, at most 2";
        return std::nullopt;
    }
    return value;
}

std::string LoopCurrentText(double milliamperes) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", milliamperes);
    return text;
}

std::string LoopCheckAnnouncement(const std::vector<double>& points) {
    std::string list;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0) list += i + 1 == points.size() ? " and " : ", ";
        list += LoopCurrentText(points[i]);
    }
    return "the loop current will be held at " + list +
           " mA: the control system will see these values";
}

std::vector<SequenceStep> LoopPointSteps(const HartIdentity& identity, int slave, double target) {
    const std::string at = " at " + LoopCurrentText(target) + " mA";
    std::vector<SequenceStep> steps = {
        HartStep(kHartFixCurrent, identity, HartFixedCurrentData(static_cast<float>(target))),
        HartStep(kHartReadLoopCurrent, identity),
        HartCommand3Step(identity),
        ModbusReadStep(slave, kFirstVariableRegister - kFirstHoldingRegister, 2),
    };
    for (SequenceStep& step : steps) step.label += at;
    return steps;
}

SequenceStep LeaveFixedCurrentStep(const HartIdentity& identity) {
    SequenceStep step = HartStep(kHartFixCurrent, identity, HartFixedCurrentData(0.0f));
    step.label += " with 0 (leave fixed current mode)";
    return step;
}

std::optional<double> ModbusLoopCurrent(const std::vector<uint16_t>& registers,
                                        const CrossCheckSettings& module, std::string* why,
                                        float* raw) {
    const auto fail = [why](std::string text) {
        if (why) *why = std::move(text);
        return std::nullopt;
    };
    const int order = module.listOrder[0];
    const auto factor =
        ModuleCoefficient(1, module.coefficientMode, module.coefficient1, module.coefficients);
    const auto pairs = ModbusFloatPairs(registers, kFirstVariableRegister);
    if (pairs.empty()) return fail("register 40003 was not read");
    if (order < 0 || order >= kFloatByteOrderCount)
        return fail("the module's byte order of register 40003 is unknown");
    if (!factor || *factor == 0)
        return fail("variable 1's coefficient \"" + module.coefficient1 + "\" is not usable");
    const float value = pairs.front().value[static_cast<size_t>(order)];
    if (!std::isfinite(value))
        return fail("MODBUS 40003 holds no number (" + std::string(kHartNotAvailableText) + ")");
    if (raw) *raw = value;
    return value / *factor;
}

LoopPointResult JudgeLoopPoint(double target, const LoopPointReplies& replies,
                               const CrossCheckSettings& module, double tolerance) {
    LoopPointResult r;
    r.target = target;
    r.warning = replies.warning;
    std::vector<std::string> faults;
    const auto off = [&](const char* what, double value) {
        const double deviation = value - target;
        if (!(std::fabs(deviation) <= tolerance + 1e-9))
            faults.push_back(std::string(what) + " " + Fixed(value, 3) + " mA is " +
                             Fixed(deviation, 3, true) + " mA off");
        return deviation;
    };
    if (!replies.fixedEcho)
        faults.push_back("command 40 did not confirm the fixed current");
    else if (std::fabs(*replies.fixedEcho - target) > tolerance + 1e-9)
        faults.push_back("the instrument fixed " + Fixed(*replies.fixedEcho, 3) + " mA");

    // A reading the instrument reports not available fails the point and
    // says so: it is never held against the target as a number.
    const std::string notAvailable = std::string(" reports the loop current ") + kHartNotAvailableText;
    if (replies.loop && std::isfinite(replies.loop->current)) {
        r.hartCurrent = replies.loop->current;
        if (std::isfinite(replies.loop->percent)) r.percent = replies.loop->percent;
        r.hartDeviation = off("HART", replies.loop->current);
    } else {
        faults.push_back(replies.loop ? "command 2" + notAvailable
                                      : "command 2 gave no loop current");
    }
    if (replies.command3Current && std::isfinite(*replies.command3Current)) {
        r.command3Current = replies.command3Current;
        off("HART command 3", *replies.command3Current);
    } else {
        faults.push_back(replies.command3Current ? "command 3" + notAvailable
                                                 : "command 3 gave no loop current");
    }

    std::string why;
    float raw = 0;
    if (const auto current = ModbusLoopCurrent(replies.registers, module, &why, &raw)) {
        r.modbusValue = raw;
        r.modbusCurrent = *current;
        r.modbusDeviation = off("MODBUS 40003", *current);
    } else {
        faults.push_back(why);
    }
    r.pass = faults.empty();
    for (const std::string& f : faults) r.why += (r.why.empty() ? "" : "; ") + f;
    return r;
}

std::string LoopPointLine(const LoopPointResult& r) {
    std::string line = LoopCurrentText(r.target) + " mA: HART ";
    line += r.hartCurrent ? Fixed(*r.hartCurrent, 3) + " mA" : "-";
    if (r.percent && std::isfinite(*r.percent)) line += " (" + Fixed(*r.percent, 1) + " %)";
    line += ", MODBUS 40003 ";
    line += r.modbusCurrent ? Fixed(*r.modbusCurrent, 3) + " mA" : "-";
    if (r.modbusDeviation) line += ", deviation " + Fixed(*r.modbusDeviation, 3, true) + " mA";
    line += r.pass ? ": pass" : ": FAIL (" + r.why + ")";
    if (!r.warning.empty()) line += " (warning: " + r.warning + ")";
    return line;
}
