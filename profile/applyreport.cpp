#include "profile/applyreport.h"

#include <algorithm>

namespace {

std::string Padded(const std::string& text, size_t width) {
    return text.size() >= width ? text + "  " : text + std::string(width - text.size() + 2, ' ');
}

}  // namespace

std::string ApplyReportText(const ApplyReport& report,
                            const std::function<std::string(const std::string&)>& name) {
    const auto named = [&name](const std::string& key) { return name ? name(key) : key; };
    std::string out;
    if (report.HalfConfigured())
        out += "HALF-CONFIGURED: " + std::to_string(report.applied.size()) + " set commands " +
               "acknowledged, " + std::to_string(report.unsent.size()) + " not. The module is " +
               "on " + report.lineNow + ".\n";
    if (!report.failure.empty()) out += "Stopped: " + report.failure + "\n";
    out += "Set commands sent and acknowledged:\n";
    for (const auto& [command, reply] : report.applied) out += "  " + command + ": " + reply + "\n";
    for (const std::string& unsent : report.unsent) {
        const bool went = std::find(report.sentUnacknowledged.begin(),
                                    report.sentUnacknowledged.end(),
                                    unsent) != report.sentUnacknowledged.end();
        out += (went ? "  sent, not acknowledged: " : "  not sent: ") + unsent + "\n";
    }
    for (const std::string& skipped : report.skipped) out += "  skipped: " + skipped + "\n";
    for (const std::string& retry : report.retries) out += "Retried: " + retry + "\n";
    if (!report.lineNow.empty() && !report.HalfConfigured())
        out += "Line settings now: " + report.lineNow + "\n";
    if (!report.restoreCommand.empty())
        out += "To restore the module as it was: " + report.restoreCommand + "\n";
    if (!report.resumeCommand.empty()) out += "To finish the apply: " + report.resumeCommand + "\n";
    if (report.rows.empty()) return out;

    size_t widths[3] = {7, 6, 9};  // "Setting", "Wanted", "Read back"
    for (const VerifyRow& row : report.rows) {
        widths[0] = std::max(widths[0], named(row.setting).size());
        widths[1] = std::max(widths[1], row.wanted.size());
        widths[2] = std::max(widths[2], row.readBack.size());
    }
    const auto mismatches = std::count_if(report.rows.begin(), report.rows.end(),
                                          [](const VerifyRow& r) { return r.mismatch; });
    out += "Verification: " + std::to_string(mismatches) + " mismatch" +
           (mismatches == 1 ? "" : "es") + "\n";
    out += Padded("Setting", widths[0]) + Padded("Wanted", widths[1]) + "Read back\n";
    for (const VerifyRow& row : report.rows) {
        std::string line = Padded(named(row.setting), widths[0]) + Padded(row.wanted, widths[1]) +
                           Padded(row.readBack, widths[2]) + (row.mismatch ? "MISMATCH" : "");
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}
