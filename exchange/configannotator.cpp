#include "exchange/configannotator.h"

#include <string>

#include "exchange/configreplies.h"
#include "exchange/requestcodes.h"

namespace {


ConfigReply Decode(ConfigReplyKind kind, std::string_view reply) {
    switch (kind) {
        case ConfigReplyKind::System:
            return DecodeSystemParameters(reply);
        case ConfigReplyKind::CurrentOutput:
            return DecodeCurrentOutputParameters(reply);
        // No meter type known here: the custom groups count only when the
        // reply itself names a custom meter.
        case ConfigReplyKind::Modbus:
            return DecodeModbusParameters(reply, -1);
        case ConfigReplyKind::Monitoring:
            return DecodeMonitoringCommand(reply);
    }
    return {};
}

}  // namespace

std::optional<FrameNotes> AnnotateConfigReply(int requestCode, std::string_view reply) {
    const auto kind = ConfigReplyKindOf(requestCode);
    if (!kind) return std::nullopt;

    std::string found, missing, cutShort, customMissing;
    for (const ConfigKeyCheck& check : CheckConfigReplyKeys(*kind, reply)) {
        std::string& list = check.state == ConfigKeyState::Found      ? found
                            : check.state == ConfigKeyState::CutShort ? cutShort
                            : check.customMeterOnly                   ? customMissing
                                                                      : missing;
        if (!list.empty()) list += ' ';
        // A found key as the reply spells it; a missing one's free position as "n".
        std::string key(check.state == ConfigKeyState::Missing ? check.key
                                                                : check.group.substr(0, check.key.size()));
        for (char& c : key)
            if (c == '?') c = 'n';
        list += key;
    }
    FrameNotes notes;
    notes.push_back({"keys found: " + (found.empty() ? std::string("none") : found)});
    if (!missing.empty()) notes.push_back({"keys missing: " + missing, true});
    if (!cutShort.empty())
        notes.push_back({"reply ends inside the group of: " + cutShort + " (group skipped)", true});
    if (!customMissing.empty())
        notes.push_back(
            {"custom meter keys missing (read only for a custom meter): " + customMissing});
    const ConfigReply decoded = Decode(*kind, reply);
    if (decoded.failedText)
        notes.push_back(
            {"'" + *decoded.failedText + "' is not a number: decoding stopped there", true});
    return notes;
}
