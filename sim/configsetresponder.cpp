#include "sim/configsetresponder.h"

#include <string>
#include <string_view>

#include "protocol/strtoint.h"

namespace {

// Reads a frame's fields left to right; every read fails past the end.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool Literal(std::string_view s) {
        if (text_.substr(pos_, s.size()) != s) return false;
        pos_ += s.size();
        return true;
    }
    // One decimal digit within lo..hi.
    bool Digit(int& value, int lo = 0, int hi = 9) {
        if (pos_ >= text_.size()) return false;
        const char c = text_[pos_];
        if (c < '0' || c > '9' || c - '0' < lo || c - '0' > hi) return false;
        value = c - '0';
        ++pos_;
        return true;
    }
    // Exactly `count` decimal digits.
    bool Digits(size_t count, std::string& out) {
        if (pos_ + count > text_.size()) return false;
        for (size_t i = 0; i < count; ++i) {
            const char c = text_[pos_ + i];
            if (c < '0' || c > '9') return false;
        }
        out = std::string(text_.substr(pos_, count));
        pos_ += count;
        return true;
    }
    int Number(const std::string& digits) { return TryStrToInt(digits).value_or(0); }
    // One or more characters up to (not including) `stop`.
    bool Until(char stop, std::string& out) {
        const size_t end = text_.find(stop, pos_);
        if (end == std::string_view::npos || end == pos_) return false;
        out = std::string(text_.substr(pos_, end - pos_));
        pos_ = end;
        return true;
    }
    // Exactly `count` characters of any kind.
    bool Take(size_t count, std::string& out) {
        if (pos_ + count > text_.size()) return false;
        out = std::string(text_.substr(pos_, count));
        pos_ += count;
        return true;
    }
    // The frame ends with `s` and nothing follows.
    bool Last(std::string_view s) { return Literal(s) && pos_ == text_.size(); }
    std::string_view Rest() const { return text_.substr(pos_); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// A coefficient field travels as five characters; blanks fill a shorter one.
std::string Trimmed(std::string text) {
    const size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

using Apply = bool (*)(Cursor&, ModuleSettings&);

bool SetMode(Cursor& c, ModuleSettings& s) { return c.Digit(s.mode, 0, 4) && c.Last("#"); }

bool SetAddress(Cursor& c, ModuleSettings& s) { return c.Digits(3, s.slaveAddress) && c.Last("#"); }

bool SetPollInterval(Cursor& c, ModuleSettings& s) {
    return c.Digits(3, s.pollInterval) && c.Last("#");
}

bool Reset(Cursor& c, ModuleSettings& s) {
    if (!c.Last("")) return false;
    // Factory data (board number, inspector, output calibration) and the
    // instrument's readings survive a parameter initialization.
    ModuleSettings fresh;
    fresh.pcbsn = s.pcbsn;
    fresh.inspector = s.inspector;
    fresh.range4mA = s.range4mA;
    fresh.range20mA = s.range20mA;
    fresh.variables = s.variables;
    fresh.ignoredSetCommand = s.ignoredSetCommand;
    fresh.refusedSetCommand = s.refusedSetCommand;
    fresh.otherModules = s.otherModules;  // the line's other modules keep theirs
    s = fresh;
    return true;
}

bool SetRs485(Cursor& c, ModuleSettings& s) {
    return c.Digit(s.rs485Baud, 0, 5) && c.Digit(s.rs485Parity, 0, 2) && c.Last("#");
}

bool SetResponseTime(Cursor& c, ModuleSettings& s) {
    return c.Digit(s.responseTime, 0, 5) && c.Last("#");
}

bool SetVar1Map(Cursor& c, ModuleSettings& s) { return c.Digit(s.var1Map, 0, 3) && c.Last("#"); }

bool SetFloatOrder(Cursor& c, ModuleSettings& s) {
    for (int& order : s.floatOrder) {
        if (!c.Digit(order, 0, 1)) return false;
    }
    return c.Last("#");
}

bool SetSerialNumber(Cursor& c, ModuleSettings& s) {
    std::string pcbsn, inspector;
    if (!c.Until(',', pcbsn) || !c.Literal(",") || !c.Until('#', inspector) || !c.Last("#")) {
        return false;
    }
    std::string ignored;
    if (!Cursor(pcbsn).Digits(pcbsn.size(), ignored)) return false;
    if (!Cursor(inspector).Digits(inspector.size(), ignored)) return false;
    s.pcbsn = pcbsn;
    s.inspector = inspector;
    return true;
}

bool SetRange(Cursor& c, ModuleSettings& s) {
    int output = 0;
    std::string low, high;
    if (!c.Digit(output, 2, 4) || !c.Literal(":") || !c.Until(',', low) || !c.Literal(",") ||
        !c.Until('#', high) || !c.Last("#")) {
        return false;
    }
    s.range4mA[output - 2] = low;
    s.range20mA[output - 2] = high;
    return true;
}

bool SetCoefficient1(Cursor& c, ModuleSettings& s) {
    std::string text;
    if (!c.Digit(s.coefficientMode, 0, 3) || !c.Literal(",") || !c.Take(5, text) || !c.Last("#")) {
        return false;
    }
    s.coefficient1 = Trimmed(text);
    return true;
}

bool SetCoefficients(Cursor& c, ModuleSettings& s) {
    for (size_t i = 0; i < s.coefficients.size(); ++i) {
        std::string text;
        if ((i > 0 && !c.Literal(",")) || !c.Take(5, text)) return false;
        s.coefficients[i] = Trimmed(text);
    }
    return c.Last("#");
}

bool SetHartMonitoring(Cursor& c, ModuleSettings& s) {
    std::string type, clear;
    if (!c.Digit(s.meterId) || !c.Literal(":") || !c.Digit(s.hartEnable, 0, 1) || !c.Literal(",") ||
        !c.Digit(s.hartMode, 0, 1) || !c.Literal(",") || !c.Digits(2, type) || !c.Literal(",") ||
        !c.Digit(s.preambles, 4, 9) || !c.Literal(",") || !c.Digits(3, clear) || !c.Last("#")) {
        return false;
    }
    s.meterType = c.Number(type);
    s.bufferClearTime = clear;
    return s.meterType <= 1;
}

bool SetParsingFormat(Cursor& c, ModuleSettings& s) {
    if (!c.Digit(s.meterId) || !c.Literal(":") || !c.Digit(s.addressBits, 3, 9)) return false;
    for (ModuleSettings::VariableParse& v : s.parsing) {
        std::string start;
        if (!c.Literal(",") || !c.Digit(v.command, 0, 2) || !c.Digits(2, start) ||
            !c.Digit(v.length, 0, 1)) {
            return false;
        }
        v.startAddress = c.Number(start);
    }
    return c.Last("#");
}

// "<" nn "," and then exactly nn raw bytes, no terminator.
bool SetPayload(Cursor& c, ModuleSettings::Payload& p) {
    std::string count;
    if (!c.Digit(p.on, 0, 1) || !c.Literal("<") || !c.Digits(2, count) || !c.Literal(",")) {
        return false;
    }
    const std::string_view bytes = c.Rest();
    if (bytes.size() != static_cast<size_t>(c.Number(count))) return false;
    p.bytes.assign(bytes.begin(), bytes.end());
    return true;
}

bool SetReadCommand1(Cursor& c, ModuleSettings& s) { return SetPayload(c, s.readCommands[0]); }
bool SetReadCommand2(Cursor& c, ModuleSettings& s) { return SetPayload(c, s.readCommands[1]); }
bool SetMonitoring1(Cursor& c, ModuleSettings& s) { return SetPayload(c, s.monitoringCommands[0]); }
bool SetMonitoring2(Cursor& c, ModuleSettings& s) { return SetPayload(c, s.monitoringCommands[1]); }

struct SetCommand {
    std::string_view prefix;
    Apply apply;
};

// "QQS#MD:" and "QQS#MDBS" differ in their fifth character, so no prefix
// hides another.
constexpr SetCommand kSetCommands[] = {
    {"QQS#MD:", SetMode},
    {"QQS#ADR:", SetAddress},
    {"QQS#JTM:", SetPollInterval},
    {"QQS#RESET#", Reset},
    {"QQS#BA2:", SetRs485},
    {"QQS#XY1:", SetResponseTime},
    {"QQS#YSM:", SetVar1Map},
    {"QQS#DFOT1:", SetFloatOrder},
    {"JXKORV#PCBSN:", SetSerialNumber},
    {"QQKORV#DA", SetRange},
    {"QQS#FMW:", SetCoefficient1},
    {"QQS#FMU:", SetCoefficients},
    {"QQS#HART", SetHartMonitoring},
    {"QQS#MDBS", SetParsingFormat},
    {"QQS#CAMD01:", SetReadCommand1},
    {"QQS#CAMD02:", SetReadCommand2},
    {"QQS#WCAD01:", SetMonitoring1},
    {"QQS#WCAD02:", SetMonitoring2},
};

// The acknowledgement names the command by its frame up to the first ":"
// ("QQS#HART0:", "QQKORV#DA3:"); the reset has none and gets one.
std::string AckKey(std::string_view frame) {
    const size_t colon = frame.find(':');
    if (colon != std::string_view::npos) return std::string(frame.substr(0, colon + 1));
    return std::string(frame.substr(0, frame.find('#', 4))) + ":";
}

}  // namespace

std::optional<Bytes> ConfigSetResponder::Answer(const Bytes& request) {
    const std::string_view frame(reinterpret_cast<const char*>(request.data()), request.size());
    for (const SetCommand& command : kSetCommands) {
        Cursor cursor(frame);
        if (!cursor.Literal(command.prefix)) continue;
        // Parsed into a copy: a command that fails half-way changes nothing.
        ModuleSettings updated = settings_;
        const bool refused =
            !settings_.refusedSetCommand.empty() && frame.starts_with(settings_.refusedSetCommand);
        const bool ok = !refused && command.apply(cursor, updated);
        // Built before the settings change: the RS485 command is answered at
        // the line settings it was received with.
        const std::string reply = AckKey(frame) + (ok ? "OK#" : "ERR#");
        const bool ignored =
            !settings_.ignoredSetCommand.empty() && frame.starts_with(settings_.ignoredSetCommand);
        if (ok && !ignored) settings_ = updated;
        return Bytes(reply.begin(), reply.end());
    }
    return std::nullopt;
}
