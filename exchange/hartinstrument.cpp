#include "exchange/hartinstrument.h"

#include <cctype>
#include <cstdio>

#include "exchange/requeststeps.h"
#include "hart/units.h"
#include "protocol/hexbytes.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}


std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// As packed ASCII will carry it: capitals, trailing blanks gone.
std::string Packed(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return TrimPacked(out);
}

std::string DateText(const HartDate& d) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

}  // namespace

std::string HartIdentityText(const HartInstrumentReading& r) {
    return HartIdentityText(r.device) + ", polling address " + std::to_string(r.pollingAddress);
}

std::vector<SequenceStep> HartReadSteps(const HartIdentity& identity) {
    std::vector<SequenceStep> steps;
    for (uint8_t command : kHartReadCommands) steps.push_back(HartStep(command, identity));
    return steps;
}

std::optional<SequenceStep> HartWriteStep(const HartIdentity& identity, const HartWrite& write,
                                          std::string* error) {
    HartWriteData data;
    uint8_t command = 0;
    switch (write.kind) {
        case HartWrite::Kind::Tag:
            data = HartTagData(write.tag);
            command = kHartWriteTag;
            break;
        case HartWrite::Kind::Message:
            data = HartMessageData(write.message);
            command = kHartWriteMessage;
            break;
        case HartWrite::Kind::Range:
            data = HartRangeData(write.range);
            command = kHartWriteRange;
            break;
    }
    if (!data.ok()) {
        if (error) *error = data.error;
        return std::nullopt;
    }
    return HartStep(command, identity, data.data);
}

uint8_t HartReadBackCommand(HartWrite::Kind kind) {
    switch (kind) {
        case HartWrite::Kind::Tag:
            return kHartReadTag;
        case HartWrite::Kind::Message:
            return kHartReadMessage;
        case HartWrite::Kind::Range:
            break;
    }
    return kHartReadDeviceInfo;
}

SequenceStep HartReadBackStep(const HartIdentity& identity, const HartWrite& write) {
    return HartStep(HartReadBackCommand(write.kind), identity);
}

std::string HartWriteChange(const HartWrite& write, const HartInstrumentReading& before) {
    switch (write.kind) {
        case HartWrite::Kind::Tag: {
            const HartTagRecord was = before.tag.value_or(HartTagRecord{});
            const HartTagRecord& to = write.tag;
            return "tag " + Quoted(was.tag) + " to " + Quoted(Packed(to.tag)) + ", descriptor " +
                   Quoted(was.descriptor) + " to " + Quoted(Packed(to.descriptor)) + ", date " +
                   (before.tag ? DateText(was.date) : "?") + " to " + DateText(to.date);
        }
        case HartWrite::Kind::Message:
            return "message " + Quoted(before.message.value_or("")) + " to " +
                   Quoted(Packed(write.message));
        case HartWrite::Kind::Range: {
            std::string was = "?";
            if (before.info)
                was =
                    HartRangeText({before.info->rangeUnitCode, before.info->upper, before.info->lower});
            return "range " + was + " to " + HartRangeText(write.range);
        }
    }
    return {};
}

std::string HartReadBackDifference(const HartWrite& write, const std::string& readBack) {
    switch (write.kind) {
        case HartWrite::Kind::Tag: {
            const auto got = ParseHartTag(Bytes(readBack));
            if (!got) return "the command 13 reply holds no tag";
            HartTagRecord want = write.tag;
            want.tag = Packed(want.tag);
            want.descriptor = Packed(want.descriptor);
            std::string diff;
            if (got->tag != want.tag) diff += "tag reads " + Quoted(got->tag) + "; ";
            if (got->descriptor != want.descriptor)
                diff += "descriptor reads " + Quoted(got->descriptor) + "; ";
            if (got->date != want.date) diff += "date reads " + DateText(got->date) + "; ";
            return diff.empty() ? diff : diff.substr(0, diff.size() - 2);
        }
        case HartWrite::Kind::Message: {
            const auto got = ParseHartMessage(Bytes(readBack));
            if (!got) return "the command 12 reply holds no message";
            return *got == Packed(write.message) ? "" : "message reads " + Quoted(*got);
        }
        case HartWrite::Kind::Range: {
            const auto got = ParseHartCommand15(Bytes(readBack));
            if (!got) return "the command 15 reply holds no range";
            const HartRange r{got->rangeUnitCode, got->upper, got->lower};
            const bool same = r.unitCode == write.range.unitCode && r.upper == write.range.upper &&
                              r.lower == write.range.lower;
            return same ? "" : "range reads " + HartRangeText(r);
        }
    }
    return {};
}

std::string HartNumberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string HartRangeText(const HartRange& r) {
    return HartNumberText(r.lower) + " to " + HartNumberText(r.upper) + " " +
           HartUnitName(r.unitCode);
}
