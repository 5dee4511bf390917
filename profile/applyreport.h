// The report of applying a profile, as plain text: each set command with the
// module's reply, what was not sent, and the verification table.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "profile/profilecommands.h"

struct ApplyReport {
    std::vector<std::pair<std::string, std::string>> applied;  // command, module's reply
    std::vector<std::string> skipped;
    std::vector<VerifyRow> rows;  // empty when not verified
    std::string failure;          // why the run stopped early; empty when it ran through
};

// Mismatched rows are marked "MISMATCH" in the last column.
std::string ApplyReportText(const ApplyReport& report);
