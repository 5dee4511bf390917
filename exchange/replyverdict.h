// The verdict on a reply, judged by its frame: given the request and the
// bytes received for it so far, is the reply incomplete, complete and valid,
// or complete and wrong (with the reason)? Pure; one judge per protocol,
// picked by the request code's protocol column:
//  - HART: preambles, delimiter answering the request's, address and command
//    echoing the request's, byte count, checksum; then the response code
//    (an error code is wrong, named; a warning code keeps the reply valid,
//    named as its first note) and the device status (named notes);
//  - MODBUS: slave and function matching the request, byte count matching the
//    registers asked for, CRC; exception replies named;
//  - configuration: the version text whole; a query's reply in the module's
//    shape, every field its decoder reads in its encoding (configreplies.h,
//    CheckConfigReplyShape); a set command's acknowledgement, "ERR" being wrong.
// A wrong reply also says whether asking again may help (`retry`): a damaged
// reply may come whole next time, a clean refusal would only be repeated.
// A reply whose shape the judge cannot know (an unknown code, a typed HART
// frame) is Unknown: its end is found by silence alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class VerdictState {
    Incomplete,  // more bytes are needed before anything can be said
    Valid,       // complete, and it says what was asked
    Wrong,       // complete (or past repair), and not what was asked
    Unknown,     // no judge for this kind of reply
};

// What asking again may do about a reply that is not valid.
enum class VerdictRetry {
    No,       // a clean answer (an exception, a response code): asking again repeats it
    Damaged,  // not a well-formed answer to the request: bytes lost, changed or another's
    // A clean refusal that a request damaged on the way gets too: a set
    // command's "ERR", a HART device's communication error. Such a request
    // may simply be sent again.
    Refused,
};

struct ReplyVerdict {
    VerdictState state = VerdictState::Unknown;
    std::string reason;              // why wrong or what is still missing; "" when valid
    std::vector<std::string> notes;  // on a valid reply: device status bits and the like
    bool exception = false;          // a MODBUS exception reply (state Wrong)
    // A HART reply whose frame checked out: its two status bytes.
    std::optional<uint8_t> hartResponse;
    std::optional<uint8_t> hartStatus;
    size_t frameEnd = 0;             // bytes up to the frame's last byte, once complete
    VerdictRetry retry = VerdictRetry::No;  // on a wrong reply

    bool complete() const { return state == VerdictState::Valid || state == VerdictState::Wrong; }
};

// Whether a step whose reply ended with `verdict` is worth asking again: the
// reply stayed incomplete (cut on the way), or it is wrong in a way asking
// again may mend (damaged, or a refusal a damaged request also gets).
bool WorthAskingAgain(const ReplyVerdict& verdict);

// The verdict on `received`, the bytes that came for `request` (the frame as
// sent) under request code `code`.
ReplyVerdict JudgeReply(int code, std::span<const uint8_t> request,
                        std::span<const uint8_t> received);
ReplyVerdict JudgeReply(int code, std::string_view request, std::string_view received);

// "incomplete", "valid", "wrong", "unknown".
const char* VerdictStateName(VerdictState state);
// One line: "valid", "wrong: checksum 3A, expected 3B", "incomplete: 7 of 24 bytes".
std::string VerdictText(const ReplyVerdict& verdict);
