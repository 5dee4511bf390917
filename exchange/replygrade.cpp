#include "exchange/replygrade.h"

#include "exchange/requestcodes.h"
#include "hart/framestart.h"
#include "hart/status.h"
#include "modbus/reply.h"
#include "protocol/hexbytes.h"

namespace {

constexpr const char* kGradeNames[] = {"",        "OK",      "warning",    "fault",
                                       "exception", "timeout", "not handled"};

std::string Printable(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    return text;
}

}  // namespace

const char* GradeName(Grade grade) {
    const auto index = static_cast<size_t>(grade);
    return index < std::size(kGradeNames) ? kGradeNames[index] : "";
}

Grade GradeFromName(std::string_view name) {
    for (size_t i = 1; i < std::size(kGradeNames); ++i)
        if (name == kGradeNames[i]) return static_cast<Grade>(i);
    return Grade::None;
}

bool IsProblem(Grade grade) { return grade != Grade::None && grade != Grade::Ok; }

Graded GradeVerdict(const ReplyVerdict& verdict) {
    switch (verdict.state) {
        case VerdictState::Incomplete:
        case VerdictState::Unknown:
            return {Grade::None, verdict.reason};
        case VerdictState::Wrong:
            if (verdict.exception) {
                std::string_view reason = verdict.reason;
                if (reason.starts_with("exception ")) reason.remove_prefix(10);
                return {Grade::Exception, std::string(reason)};
            }
            // A warning code means the command was carried out: its data holds.
            if (verdict.hartResponse && HartResponseCodeIsWarning(*verdict.hartResponse))
                return {Grade::Warning, verdict.reason};
            return {Grade::Fault, verdict.reason};
        case VerdictState::Valid:
            break;
    }
    if (!verdict.hartStatus) return {Grade::Ok, {}};
    const std::string status = "device status: " + HartDeviceStatusText(*verdict.hartStatus);
    // A valid reply with a response code came with a warning (its first note).
    const bool warned = verdict.hartResponse.value_or(0) != 0 && !verdict.notes.empty();
    const std::string warning = warned ? verdict.notes.front() : std::string();
    const auto withWarning = [&](const std::string& reason) {
        return warned ? warning + "; " + reason : reason;
    };
    switch (HartDeviceStatusSeverity(*verdict.hartStatus)) {
        case HartStatusSeverity::Fault:
            return {Grade::Fault, withWarning(status)};
        case HartStatusSeverity::Warning:
            return {Grade::Warning, withWarning(status)};
        case HartStatusSeverity::Notice:
            return {warned ? Grade::Warning : Grade::Ok, withWarning(status)};
        case HartStatusSeverity::None:
            break;
    }
    if (warned) return {Grade::Warning, warning};
    return {Grade::Ok, {}};
}

std::string GradedText(const Graded& graded) {
    std::string text = GradeName(graded.grade);
    if (!graded.reason.empty()) text += (text.empty() ? "" : ": ") + graded.reason;
    return text;
}

std::string RequestSummary(int code, std::span<const uint8_t> frame) {
    const RequestCode* entry = FindRequestCode(code);
    if (!entry) return {};
    switch (entry->protocol) {
        case Protocol::Modbus: {
            if (frame.size() < 6) return "MODBUS request of " + std::to_string(frame.size()) + " bytes";
            const unsigned start = kFirstHoldingRegister + frame[2] * 256u + frame[3];
            const unsigned count = frame[4] * 256u + frame[5];
            return "slave " + std::to_string(frame[0]) + ", function " + ByteToHex(frame[1]) +
                   ", " + std::to_string(count) + (count == 1 ? " register" : " registers") +
                   " from " + std::to_string(start);
        }
        case Protocol::Hart: {
            const auto start = FindHartFrameStart(frame);
            if (!start) return "HART frame without preamble";
            const size_t d = start->delimiterAt;
            const bool longFrame = frame[d] & 0x80;
            const size_t size = longFrame ? 5 : 1;
            if (d + 1 + size >= frame.size()) return "HART frame cut short";
            std::string address;
            if (longFrame) {
                address = "long address";
                for (size_t i = 0; i < size; ++i) address += " " + ByteToHex(frame[d + 1 + i]);
            } else {
                address = "short address " + std::to_string(frame[d + 1] & 0x3F);
            }
            return "HART " + address + ", command " + std::to_string(frame[d + 1 + size]);
        }
        case Protocol::Config:
            return "\"" + Printable(frame) + "\"";
    }
    return {};
}
