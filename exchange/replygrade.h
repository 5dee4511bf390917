// How a reply turned out, in the words the traffic log, the trend and the
// cross-check show: OK, warning, fault, exception, timeout, not handled, with
// the reason first. Pure: graded from the reply's verdict (replyverdict.h),
// HART response codes and device status by their severity.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "exchange/replyverdict.h"

enum class Grade {
    None,        // nothing to judge (a request, an opening) or not judged yet
    Ok,          // complete and what was asked
    Warning,     // complete, data usable, but the device says something is off
    Fault,       // wrong or broken: not what was asked
    Exception,   // the slave refused the request (MODBUS exception reply)
    Timeout,     // nothing came in time
    NotHandled,  // a block nobody asked for, or blocks dropped unseen
};

struct Graded {
    Grade grade = Grade::None;
    std::string reason;  // "" for a plain OK

    bool operator==(const Graded&) const = default;
};

// "OK", "warning", "fault", "exception", "timeout", "not handled"; "" for None.
const char* GradeName(Grade grade);
// The grade from its name; None for anything else.
Grade GradeFromName(std::string_view name);
// Everything but None and OK.
bool IsProblem(Grade grade);

// The grade of a complete verdict. An incomplete or unjudged one grades None
// with the verdict's reason.
Graded GradeVerdict(const ReplyVerdict& verdict);

// One line, reason first after the grade: "fault: checksum 3A, expected 3B".
std::string GradedText(const Graded& graded);

// What a request asked, to pair its reply with: "slave 1, function 03, 10
// registers from 40001", "HART short address 0, command 3", or the
// configuration frame's text.
std::string RequestSummary(int code, std::span<const uint8_t> frame);
