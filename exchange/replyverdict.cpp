#include "exchange/replyverdict.h"

#include <algorithm>

#include "exchange/configreplies.h"
#include "exchange/requestcodes.h"
#include "hart/frames.h"
#include "hart/framestart.h"
#include "hart/status.h"
#include "modbus/crc16.h"
#include "modbus/reply.h"
#include "protocol/hexbytes.h"

namespace {

using Bytes = std::span<const uint8_t>;

ReplyVerdict Make(VerdictState state, std::string reason, size_t frameEnd) {
    ReplyVerdict v;
    v.state = state;
    v.reason = std::move(reason);
    v.frameEnd = frameEnd;
    return v;
}

ReplyVerdict Incomplete(std::string reason) {
    return Make(VerdictState::Incomplete, std::move(reason), 0);
}

// A clean answer that says no.
ReplyVerdict Wrong(std::string reason, size_t frameEnd) {
    return Make(VerdictState::Wrong, std::move(reason), frameEnd);
}

// Not a well-formed answer to the request.
ReplyVerdict Damaged(std::string reason, size_t frameEnd) {
    ReplyVerdict v = Wrong(std::move(reason), frameEnd);
    v.retry = VerdictRetry::Damaged;
    return v;
}

ReplyVerdict Valid(size_t frameEnd) { return Make(VerdictState::Valid, {}, frameEnd); }

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

std::string Count(size_t have, size_t need) {
    return std::to_string(have) + " of " + std::to_string(need) + " bytes";
}

// HART (data link layer: slave-to-master frame; status bytes from the common tables).
ReplyVerdict JudgeHart(Bytes request, Bytes received) {
    const auto asked = FindHartFrameStart(request);
    if (!asked) return {};  // not a frame we can hold a reply against
    const uint8_t askedDelimiter = request[asked->delimiterAt];
    const bool longAddress = askedDelimiter & 0x80;
    const size_t addressSize = longAddress ? 5 : 1;
    const size_t askedAddressAt = asked->delimiterAt + 1;
    if (askedAddressAt + addressSize >= request.size()) return {};
    const uint8_t askedCommand = request[askedAddressAt + addressSize];

    const uint8_t expectedDelimiter = longAddress ? 0x86 : 0x06;
    // Noise before the reply may hold a stray 0xFF: the reply is the first
    // preamble run followed by the delimiter that answers the request.
    std::optional<HartFrameStart> start;
    std::optional<size_t> otherDelimiter;
    for (auto run = FindHartFrameStart(received); run;
         run = FindHartFrameStart(received, run->delimiterAt)) {
        if (received[run->delimiterAt] == expectedDelimiter) {
            start = run;
            break;
        }
        otherDelimiter = run->delimiterAt;
    }
    if (!start) {
        if (!otherDelimiter) return Incomplete("no preamble and delimiter yet");
        // Noise may hold a preamble byte; the reply may still follow it, so
        // this stays incomplete (and fails at the timeout, naming it).
        return Incomplete("delimiter " + ByteToHex(received[*otherDelimiter]) + ", expected " +
                          ByteToHex(expectedDelimiter) + " so far");
    }
    const size_t d = start->delimiterAt;

    const size_t header = d + 1 + addressSize + 2;  // delimiter, address, command, byte count
    if (received.size() < header) return Incomplete(Count(received.size(), header));
    const Bytes address = received.subspan(d + 1, addressSize);
    const Bytes askedAddress = request.subspan(askedAddressAt, addressSize);
    // The burst-mode bit is the device's; the master bit and the rest echo the request.
    const bool echoed = (address[0] & 0xBF) == (askedAddress[0] & 0xBF) &&
                        std::equal(address.begin() + 1, address.end(), askedAddress.begin() + 1);
    if (!echoed) {
        return Damaged(
            "address " + HexText(address) + " does not echo the request's " + HexText(askedAddress),
            header);
    }
    const uint8_t command = received[header - 2];
    if (command != askedCommand)
        return Damaged("command " + std::to_string(command) +
                           " answers no request: " + std::to_string(askedCommand) + " was sent",
                       header);
    const size_t byteCount = received[header - 1];
    if (byteCount < 2)
        return Damaged("byte count " + std::to_string(byteCount) + " leaves no room for the status",
                       header);
    const size_t end = header + byteCount + 1;
    if (received.size() < end) return Incomplete(Count(received.size(), end));
    const uint8_t checksum = HartChecksum(received.subspan(d, end - 1 - d));
    if (received[end - 1] != checksum)
        return Damaged(
            "checksum " + ByteToHex(received[end - 1]) + ", expected " + ByteToHex(checksum), end);

    const uint8_t code = received[header];
    // A warning-class code means the command was carried out and its data
    // holds: the reply is valid, the warning its first note.
    const bool warning = code != 0 && !(code & kHartCommunicationError) &&
                         HartResponseCodeClass(code, askedCommand) == HartResponseClass::Warning;
    ReplyVerdict v = code & kHartCommunicationError
                         ? Wrong(HartResponseCodeText(code), end)
                     : code != 0 && !warning
                         ? Wrong("response code " + HartResponseCodeText(code, askedCommand), end)
                         : Valid(end);
    // The device got our request damaged: sent again, it may come through.
    if (code & kHartCommunicationError) v.retry = VerdictRetry::Refused;
    v.hartResponse = code;
    v.hartStatus = received[header + 1];
    if (code == 0 || warning) v.notes = HartDeviceStatusBits(received[header + 1]);
    if (warning)
        v.notes.insert(v.notes.begin(), "response code " + HartResponseCodeText(code, askedCommand));
    return v;
}

// MODBUS RTU (application protocol: read holding registers, exception replies).
ReplyVerdict JudgeModbus(Bytes request, Bytes received) {
    if (request.size() < 6) return {};
    const uint8_t slave = request[0];
    const uint8_t function = request[1];
    if (received.empty()) return Incomplete("nothing yet");
    if (received[0] != slave)
        return Damaged("slave " + std::to_string(received[0]) + " answered; " +
                           std::to_string(slave) + " was asked",
                       1);
    if (received.size() < 2) return Incomplete(Count(1, 5));
    if (received[1] == (function | 0x80)) {
        if (received.size() < 5) return Incomplete(Count(received.size(), 5));
        if (ModbusCrc16(received.first(3)) != std::array{received[3], received[4]})
            return Damaged("exception reply with a wrong CRC", 5);
        ReplyVerdict v = Wrong("exception " + ModbusExceptionName(received[2]), 5);
        v.exception = true;
        return v;
    }
    if (received[1] != function)
        return Damaged("function " + ByteToHex(received[1]) +
                           " answers no request: " + ByteToHex(function) + " was sent",
                       2);
    if (received.size() < 3) return Incomplete(Count(2, 5));
    const size_t asked = 2u * ((request[4] << 8) | request[5]);
    const size_t byteCount = received[2];
    if (function == 0x03 && byteCount != asked)
        return Damaged("byte count " + std::to_string(byteCount) + " for " +
                           std::to_string(asked / 2) + " registers asked",
                       3);
    const size_t end = 5 + byteCount;
    if (received.size() < end) return Incomplete(Count(received.size(), end));
    const auto crc = ModbusCrc16(received.first(end - 2));
    if (crc != std::array{received[end - 2], received[end - 1]})
        return Damaged("CRC " + ByteToHex(received[end - 2]) + " " + ByteToHex(received[end - 1]) +
                           ", expected " + ByteToHex(crc[0]) + " " + ByteToHex(crc[1]),
                       end);
    return Valid(end);
}

std::string_view Text(Bytes bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// "QV:" and the version text up to its closing '#'.
ReplyVerdict JudgeVersion(std::string_view reply) {
    constexpr std::string_view kKey = "QV:";
    const size_t n = std::min(reply.size(), kKey.size());
    if (reply.substr(0, n) != kKey.substr(0, n))
        return Damaged("not a version reply: it does not begin with \"QV:\"", reply.size());
    const size_t end = reply.find('#', kKey.size());
    if (end == std::string_view::npos)
        return Incomplete("the version text has no closing \"#\" yet");
    return Valid(end + 1);
}

// The reply in the module's shape. While it is still in shape but not whole,
// what is missing is said by the groups the decoder looks for.
ReplyVerdict JudgeQuery(ConfigReplyKind kind, std::string_view request, std::string_view reply) {
    char row = 0;  // the monitoring row asked: "QQQ#RCAD01#"
    if (const size_t at = request.find("RCAD0");
        at != std::string_view::npos && at + 5 < request.size())
        row = request[at + 5];
    const ConfigReplyShape shape = CheckConfigReplyShape(kind, reply, row);
    if (shape.state == ConfigReplyShape::State::Whole) return Valid(shape.end);
    if (shape.state == ConfigReplyShape::State::Damaged) return Damaged(shape.reason, shape.end);

    // The custom meter's groups are read only when the reply's meter type
    // (item 0 of the meter list) says custom.
    bool customMeter = false;
    if (kind == ConfigReplyKind::Modbus) {
        for (const ConfigField& field : DecodeModbusParameters(reply, -1).fields)
            if (field.setting == ConfigSetting::HartMeterType) customMeter = field.number == 0;
    }
    std::string missing, cut;
    for (const ConfigKeyCheck& key : CheckConfigReplyKeys(kind, reply)) {
        std::string& list = key.state == ConfigKeyState::CutShort ? cut : missing;
        if (key.state == ConfigKeyState::Found ||
            (key.customMeterOnly && !customMeter && key.state == ConfigKeyState::Missing))
            continue;
        list += (list.empty() ? "" : " ") + std::string(key.key);
    }
    if (!missing.empty()) return Incomplete("groups missing: " + missing);
    if (!cut.empty()) return Incomplete("groups cut short: " + cut);
    if (!reply.ends_with('#')) return Incomplete("no closing \"#\" yet");
    return Incomplete("cut after " + std::to_string(reply.size()) + " characters");
}

// A set command is acknowledged with its frame up to the first ':' (or, for a
// frame without one, up to its '#' and a ':') and "OK#" or "ERR#".
std::string AckKey(std::string_view frame) {
    const size_t colon = frame.find(':');
    if (colon != std::string_view::npos) return std::string(frame.substr(0, colon + 1));
    return std::string(frame.substr(0, frame.find('#', 4))) + ":";
}

ReplyVerdict JudgeAcknowledgement(std::string_view request, std::string_view reply) {
    const std::string key = AckKey(request);
    const std::string ok = key + "OK#", refused = key + "ERR#";
    if (reply.starts_with(ok)) return Valid(ok.size());
    if (reply.starts_with(refused)) {
        // A set command damaged on the way is refused too.
        ReplyVerdict v =
            Wrong("the module refused the setting: \"" + refused + "\"", refused.size());
        v.retry = VerdictRetry::Refused;
        return v;
    }
    // Until its closing '#' an unexpected text might still be noise ahead of the reply.
    const size_t end = reply.find('#', std::min(reply.size(), key.size()));
    if (ok.starts_with(reply) || refused.starts_with(reply) || end == std::string_view::npos)
        return Incomplete("acknowledgement so far: \"" + std::string(reply) + "\"");
    return Damaged("not the acknowledgement of \"" + key + "\": \"" + std::string(reply) + "\"",
                   end + 1);
}

ReplyVerdict JudgeConfig(int code, Bytes request, Bytes received) {
    const std::string_view reply = Text(received);
    switch (code) {
        case kCodeCommunicationQuery:
            return JudgeVersion(reply);
        case kCodeSystemQuery:
            return JudgeQuery(ConfigReplyKind::System, Text(request), reply);
        case kCodeCurrentOutputQuery:
            return JudgeQuery(ConfigReplyKind::CurrentOutput, Text(request), reply);
        case kCodeModbusQuery:
            return JudgeQuery(ConfigReplyKind::Modbus, Text(request), reply);
        case kCodeMonitoringQuery:
            return JudgeQuery(ConfigReplyKind::Monitoring, Text(request), reply);
        case kCodeSet:
        case kCodeRangeSet:
            return JudgeAcknowledgement(Text(request), reply);
        default:
            return {};
    }
}

}  // namespace

ReplyVerdict JudgeReply(int code, std::span<const uint8_t> request,
                        std::span<const uint8_t> received) {
    const RequestCode* entry = FindRequestCode(code);
    if (!entry || code == kCodeHartTyped) return {};
    switch (entry->protocol) {
        case Protocol::Hart:
            return JudgeHart(request, received);
        case Protocol::Modbus:
            return JudgeModbus(request, received);
        case Protocol::Config:
            return JudgeConfig(code, request, received);
    }
    return {};
}

ReplyVerdict JudgeReply(int code, std::string_view request, std::string_view received) {
    const auto bytes = [](std::string_view s) {
        return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size());
    };
    return JudgeReply(code, bytes(request), bytes(received));
}

bool WorthAskingAgain(const ReplyVerdict& verdict) {
    return verdict.state == VerdictState::Incomplete ||
           (verdict.state == VerdictState::Wrong && verdict.retry != VerdictRetry::No);
}

const char* VerdictStateName(VerdictState state) {
    switch (state) {
        case VerdictState::Incomplete:
            return "incomplete";
        case VerdictState::Valid:
            return "valid";
        case VerdictState::Wrong:
            return "wrong";
        case VerdictState::Unknown:
            return "unknown";
    }
    return "unknown";
}

std::string VerdictText(const ReplyVerdict& verdict) {
    std::string text = VerdictStateName(verdict.state);
    if (!verdict.reason.empty()) text += ": " + verdict.reason;
    if (!verdict.notes.empty()) text += " (" + Join(verdict.notes) + ")";
    return text;
}
