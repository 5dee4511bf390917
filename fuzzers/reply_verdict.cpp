// The reply verdict under every request code, against a request of the kind
// the program sends for it. The first byte picks the code (one past the table:
// a code nobody knows), the second the request's parameters, the rest arrives.
// A verdict is the same each time, says why when it is not valid, ends its
// frame inside the bytes received, stays the same when the bytes after its
// frame end are left off, and a valid reply was never judged wrong while it
// was still arriving.
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "input.h"
#include "modbus/request.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromText(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes RequestFor(int code, uint8_t v) {
    const uint8_t master = (v & 1) ? kSecondaryMaster : kPrimaryMaster;
    // The simulator's instrument, or one not identified yet.
    const HartIdentity identity =
        (v & 2) ? HartIdentity{} : HartIdentity{0x5A, 0x0B, {0x12, 0x34, 0x56}};
    static constexpr std::string_view kSets[] = {
        "QQS#MD:1#", "QQS#RESET#", "QQS#HART0:1,0,00,4,060#", "QQS#CAMD01:1<03,\x01\x0F\x2A"};
    static constexpr std::string_view kRanges[] = {"QQKORV#DA2:4.000,20.00#",
                                                   "QQKORV#DA4:0.000,100.0#"};
    switch (code) {
        case kCodeHartCommand0:
            return HartCommand0Frame(5, master, (v >> 1) & 0x3F);
        case kCodeHartCommand3:
            return HartCommand3Frame(5, master, identity);
        case kCodeHartCommand6:
            return HartCommand6Frame(5, master, identity, v >> 2);
        case kCodeHartTyped:
            return HartTypedFrame(5, HartBytes{0x02, 0x80, 0x00, 0x00});
        case kCodeModbusTest: {
            const auto r = ReadHoldingRegistersRequest((v & 7) + 1, 0, (v >> 3) ? (v >> 3) : 10);
            return Bytes(r.begin(), r.end());
        }
        case kCodeCommunicationQuery:
            return FromText("QQQ#QV#");
        case kCodeSystemQuery:
            return FromText("QQQ#QX#");
        case kCodeCurrentOutputQuery:
            return FromText("QQQ#QD#");
        case kCodeModbusQuery:
            return FromText("QQQ#QQ0#");
        case kCodeMonitoringQuery:
            return FromText((v & 1) ? "QQQ#RCAD02#" : "QQQ#RCAD01#");
        case kCodeSet:
            return FromText(kSets[v % std::size(kSets)]);
        case kCodeRangeSet:
            return FromText(kRanges[v % std::size(kRanges)]);
        default:
            return FromText("QQQ#QV#");
    }
}

bool Same(const ReplyVerdict& a, const ReplyVerdict& b) {
    return a.state == b.state && a.reason == b.reason && a.notes == b.notes &&
           a.exception == b.exception && a.frameEnd == b.frameEnd && a.retry == b.retry;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    constexpr size_t kCodes = std::size(kRequestCodes);
    const size_t pick = data[0] % (kCodes + 1);
    const int code = pick < kCodes ? kRequestCodes[pick].code : 999;
    const Bytes request = RequestFor(code, data[1]);
    const auto received = AsBytes(data + 2, size - 2);

    const ReplyVerdict v = JudgeReply(code, request, received);
    if (!Same(v, JudgeReply(code, request, received))) std::abort();
    if ((v.state == VerdictState::Wrong || v.state == VerdictState::Incomplete) && v.reason.empty())
        std::abort();
    if (v.state == VerdictState::Valid && !v.reason.empty()) std::abort();
    if (v.exception && v.state != VerdictState::Wrong) std::abort();
    // Only a wrong reply says whether asking again helps; an exception never does.
    if (v.retry != VerdictRetry::No && (v.state != VerdictState::Wrong || v.exception))
        std::abort();
    if (!v.complete()) return 0;
    if (v.frameEnd == 0 || v.frameEnd > received.size()) std::abort();
    // Nothing past the frame's end decided the verdict.
    const ReplyVerdict cut = JudgeReply(code, request, received.first(v.frameEnd));
    if (cut.state != v.state || cut.frameEnd != v.frameEnd || cut.retry != v.retry) std::abort();
    // A valid reply was never past repair on its way in, nor valid further on.
    if (v.state == VerdictState::Valid) {
        for (const size_t n : {v.frameEnd - 1, v.frameEnd / 2, size_t{data[1]} % v.frameEnd}) {
            const ReplyVerdict early = JudgeReply(code, request, received.first(n));
            if (early.state == VerdictState::Wrong) std::abort();
            if (early.state == VerdictState::Valid && early.frameEnd > n) std::abort();
        }
    }
    return 0;
}
