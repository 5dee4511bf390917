// What a profile becomes on the line: the set commands that apply it, with
// the frames the window's buttons build from the same values, and the
// queries that read a module back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/requestsequence.h"
#include "profile/profile.h"

struct ApplyPlan {
    std::vector<SequenceStep> steps;   // the RS485 line settings, if present, come last
    std::vector<std::string> skipped;  // commands not sent, with the reason; none at present
};

// Set commands whose settings the profile holds, for a profile that
// ValidateProfile accepts. A command with an empty byte list is sent with a
// count of 00 and no bytes ("QQS#WCAD01:0<00,"), which the module takes as
// clearing it; its button refuses to send that.
ApplyPlan PlanApply(const Profile& profile);

// The set commands of `wanted` that carry a setting `rows` marks as a
// mismatch: what a repair sends again. Empty when the RS485 line settings
// are among them: the module answers at its new line only once they hold.
ApplyPlan PlanRepair(const Profile& wanted, const std::vector<struct VerifyRow>& rows);

// A setting missing from a command whose other settings are present, by name.
std::optional<std::string> MissingSetting(const Profile& profile);

// Version, system parameters, current output, MODBUS parameters and both
// monitoring commands, in that order.
std::vector<SequenceStep> ReadModuleSteps();

// The settings the replies of ReadModuleSteps() report, through the window's
// decoders; `meterTypeItem` is the meter type assumed when the MODBUS reply
// does not carry one. Settings a reply did not report are left out.
Profile DecodeReadBack(const std::vector<std::string>& replies, int meterTypeItem);

struct VerifyRow {
    std::string setting;
    std::string wanted;
    std::string readBack;  // "(not reported)" when the module did not report it
    bool mismatch = false;
};

// One row per setting of `wanted`. A setting that only a custom meter reports
// is not a mismatch when the module reports a universal meter.
std::vector<VerifyRow> VerifyProfile(const Profile& wanted, const Profile& readBack);

// What applying `wanted` to a module that holds `now` changes: the rows of
// VerifyProfile(wanted, now) that differ, "readBack" being the value now.
std::vector<VerifyRow> ProfileChanges(const Profile& wanted, const Profile& now);
// Whether those changes move the module's RS-485 line (speed or parity): the
// bus's other masters lose it unless they follow.
bool MovesRs485Line(const std::vector<VerifyRow>& changes);
