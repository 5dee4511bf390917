// The report of applying a profile, as plain text: each set command with the
// module's reply, what was not sent, and the verification table.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "profile/profilecommands.h"

struct ApplyReport {
    std::vector<std::pair<std::string, std::string>> applied;  // command, module's reply
    std::vector<std::string> skipped;
    std::vector<VerifyRow> rows;  // empty when not verified
    std::string failure;          // why the run stopped early; empty when it ran through
    // Set commands of the plan the module did not acknowledge (not sent, or
    // sent with no acknowledgement), in plan order.
    std::vector<std::string> unsent;
    // Of those, the ones that went out (their acknowledgement never came):
    // the module may have taken them. The others were never sent.
    std::vector<std::string> sentUnacknowledged;
    std::vector<std::string> retries;  // one line per retried exchange
    std::string lineNow;               // the line settings the module is on now, as known
    bool snapshotTaken = false;        // the module was read before anything was sent
    // How to undo or finish it, where the caller can say (the CLI's commands).
    std::string restoreCommand;
    std::string resumeCommand;

    // Some of the plan was acknowledged and some not: the module is neither
    // as it was nor as wanted.
    bool HalfConfigured() const { return !applied.empty() && !unsent.empty(); }
};

// A half-configured module is said in the first line; mismatched rows are
// marked "MISMATCH" in the last column. `name` gives a setting's name as the
// reader knows it (the window's captions); by default its profile key.
std::string ApplyReportText(const ApplyReport& report,
                            const std::function<std::string(const std::string&)>& name = {});
