// HART and MODBUS side by side: the four process variables as the instrument
// reports them (command 3) against the registers the module serves over
// MODBUS (40003 to 40009), with the byte orders and coefficients the window
// holds. Pure: the window reads its controls into CrossCheckSettings and
// shows the rows; it never changes the module's settings from them.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "exchange/replyverdict.h"
#include "exchange/silenceadvice.h"
#include "hart/replies.h"
#include "modbus/reply.h"

inline constexpr int kModuleVariables = 4;
// Register of the module's first float (variable 1); each takes two.
inline constexpr int kFirstVariableRegister = 40003;

// The factor the module applies to variable `variable` (1..4) before it puts
// it in its registers. Variable 1 by its coefficient mode: 0 "Close" none,
// 1 m3/s to m3/h (3600), 2 its coefficient, 3 its coefficient times 100;
// variables 2 to 4 always by their own coefficient. nullopt when the mode is
// none of these or the coefficient text is not a number.
std::optional<double> ModuleCoefficient(int variable, int coefficientMode,
                                        const std::string& coefficient1,
                                        const std::array<std::string, 3>& coefficients);

struct CrossCheckSettings {
    std::array<int, kModuleVariables> listOrder{};  // byte-order list items; -1 typed text
    int coefficientMode = 0;                        // "Variable 1 Coefficient" mode item
    std::string coefficient1 = "0.001";             // its coefficient text
    std::array<std::string, 3> coefficients{"1.000", "1.000", "1.000"};  // variables 2..4
    double tolerancePercent = 0.1;
};

// Whether a row's two sides could be held against each other at all.
enum class CrossCheckState { Agrees, Disagrees, CouldNotCompare };

// "agrees", "disagrees", "could not compare".
const char* CrossCheckStateName(CrossCheckState state);

// What the comparison rests on: both sides' last replies, and what became of
// the MODBUS requests since.
struct CrossCheckSources {
    bool hart = false;    // a command 3 reply decoded
    bool modbus = false;  // a MODBUS test reply kept
    ReplyVerdict modbusVerdict;
    bool modbusTimedOut = false;  // the last MODBUS request got no reply
    bool modbusPending = false;   // the last MODBUS request still awaits it
    int64_t hartAgeMs = 0;
    int64_t modbusAgeMs = 0;
};

// The first register a MODBUS read request (function 3) asks for, when it
// asks for every variable's registers (40003 to 40010): a reply to it can
// stand for the module's side. nullopt for any other request.
std::optional<int> VariablesReadStart(std::span<const uint8_t> request);

// Why the two sides can't be compared now (no reply yet, an exception or a
// wrong reply, a timeout since, a MODBUS reply older than the HART values);
// nullopt when they can.
std::optional<std::string> WhyNotComparable(const CrossCheckSources& sources);

struct CrossCheckRow {
    int variable = 0;  // 1..4
    int address = 0;   // 40003, 40005, ...
    std::optional<float> hartValue;  // NaN when the instrument reports it not available
    int unitItem = 0;
    int unitCode = 0;  // HART unit code of the value
    std::optional<double> factor;
    std::optional<double> expected;    // HART value times factor
    std::optional<float> modbusValue;  // in the list's order
    std::vector<int> matchingOrders;   // orders whose value agrees with `expected`
    bool agree = false;
    // Disagrees only where both values were there to compare.
    CrossCheckState state = CrossCheckState::CouldNotCompare;
    std::string verdict;  // one line: "Variable 2: byte order 1 (FF2 FF1 FF4 FF3) matches; ..."
};

// True when `a` and `b` differ by at most `tolerancePercent` of the larger.
bool AgreeWithin(double a, double b, double tolerancePercent);

// One row per module variable. `registers` are those of the MODBUS reply,
// the first being register `firstAddress` (40001 + the request's start).
std::vector<CrossCheckRow> CrossCheck(const HartDynamicValues& hart,
                                      std::span<const uint16_t> registers, int firstAddress,
                                      const CrossCheckSettings& settings);
