// The loop check: the instrument's loop current held at known points
// (command 40), read back on both sides of the module at each: through HART
// (commands 2 and 3) and through MODBUS (register 40003, "Current_1", in the
// module's byte order and divided by variable 1's coefficient, as the
// cross-check applies them). Pure: the points and tolerance as typed, the
// steps of one point, the judgement of what came back and its lines.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/crosscheck.h"
#include "exchange/requestsequence.h"
#include "hart/frames.h"
#include "hart/universal.h"

inline constexpr double kDefaultLoopTolerance = 0.05;  // mA
inline constexpr std::string_view kDefaultLoopPoints = "4,12,20";
// What command 40 can hold a loop at: a little past the live range either way.
inline constexpr double kLowestLoopPoint = 3.5;
inline constexpr double kHighestLoopPoint = 22.5;
inline constexpr size_t kMaxLoopPoints = 10;

// "4,12,20" as currents; nullopt with `error` naming what is wrong (a number
// that is none, out of 3.5..22.5 mA, too many points, none at all).
std::optional<std::vector<double>> ParseLoopPoints(std::string_view text, std::string* error);
// A tolerance in mA above 0 and at most 2; nullopt with `error` else.
std::optional<double> ParseLoopTolerance(std::string_view text, std::string* error);

// "4", "12.5": a current as the announcement and table show it.
std::string LoopCurrentText(double milliamperes);
// Said before anything is sent: "the loop current will be held at 4, 12 and
// 20 mA: the control system will see these values".
std::string LoopCheckAnnouncement(const std::vector<double>& points);

// The steps of one point: command 40 to `target`, commands 2 and 3, and the
// module's registers 40003 and 40004 at `slave`.
std::vector<SequenceStep> LoopPointSteps(const HartIdentity& identity, int slave, double target);
// Command 40 with 0: the loop current follows the process again.
SequenceStep LeaveFixedCurrentStep(const HartIdentity& identity);

// What came back for one point, as decoded; nullopt where nothing usable came.
struct LoopPointReplies {
    std::optional<float> fixedEcho;        // command 40's reply
    std::optional<HartLoopReading> loop;   // command 2
    std::optional<float> command3Current;  // command 3's loop current
    std::vector<uint16_t> registers;       // 40003 and 40004
    // The warnings the HART replies came with, their values used all the
    // same: "command 2: response code 8 ...".
    std::string warning;
};

struct LoopPointResult {
    double target = 0;                 // mA
    std::optional<float> hartCurrent;  // command 2
    std::optional<float> percent;      // of range, command 2
    std::optional<float> command3Current;
    std::optional<float> modbusValue;     // register 40003 in the module's byte order
    std::optional<double> modbusCurrent;  // that divided by the coefficient: mA
    std::optional<double> hartDeviation;  // hartCurrent - target
    std::optional<double> modbusDeviation;
    bool pass = false;
    std::string why;  // what failed; "" on a pass
    std::string warning;  // as the replies gave it, pass or fail
};

// The module's reading of the loop current from registers 40003-40004: the
// float in variable 1's byte order divided by its coefficient (mA); nullopt
// with `why` when the registers are missing or the byte order or coefficient
// is unusable.
std::optional<double> ModbusLoopCurrent(const std::vector<uint16_t>& registers,
                                        const CrossCheckSettings& module, std::string* why,
                                        float* raw = nullptr);

// The point judged: each reading within `tolerance` mA of `target`. The
// byte order is that of variable 1 in `module` (listOrder[0]); its
// coefficient is variable 1's.
LoopPointResult JudgeLoopPoint(double target, const LoopPointReplies& replies,
                               const CrossCheckSettings& module, double tolerance);

// One line for the table, the CLI and the certificate:
// "12 mA: HART 12.000 mA (50.0 %), MODBUS 40003 12.000 mA, deviation +0.000 mA: pass".
std::string LoopPointLine(const LoopPointResult& result);
