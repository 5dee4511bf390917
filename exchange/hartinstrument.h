// Commissioning the HART instrument: what is read of it (identity, tag,
// message, device information, loop current, status) and the writes an
// engineer makes (tag, descriptor and date; message; range), each built whole
// or refused, put in words for its confirmation and checked against what the
// instrument reads back. Pure; session/hartinstrumentjob runs the steps.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/requestsequence.h"
#include "hart/replies.h"
#include "hart/universal.h"

struct HartInstrumentReading {
    int pollingAddress = 0;
    HartDeviceReply device;
    std::optional<HartTagRecord> tag;
    std::optional<std::string> message;
    std::optional<HartDeviceInfo> info;
    std::optional<HartLoopReading> loop;
    std::optional<HartPrimaryVariable> primary;
    uint8_t deviceStatus = 0;                        // of the last reply
    std::optional<std::vector<uint8_t>> moreStatus;  // command 48, when the instrument has it
    std::string moreStatusNote;                      // why there is none
};

// The one identity text and the polling address it answered at:
// "manufacturer 0x005A, device type 0x0B, id 1193046, HART 5, polling address 0"
std::string HartIdentityText(const HartInstrumentReading& reading);
// A value as short as it reads: "25", "0.5", "19.968".
std::string HartNumberText(double value);
// A range in words: "0 to 25 kPa".
std::string HartRangeText(const HartRange& range);

// What is read of the instrument after command 0, in this order; the
// additional status last, as not every instrument has it.
inline constexpr uint8_t kHartReadCommands[] = {
    kHartReadTag,         kHartReadMessage,         kHartReadDeviceInfo,
    kHartReadLoopCurrent, kHartReadPrimaryVariable, kHartReadMoreStatus};
// One step a command of kHartReadCommands to the instrument read by command 0.
std::vector<SequenceStep> HartReadSteps(const HartIdentity& identity);

struct HartWrite {
    enum class Kind { Tag, Message, Range };
    Kind kind = Kind::Tag;
    HartTagRecord tag;    // Kind::Tag
    std::string message;  // Kind::Message
    HartRange range;      // Kind::Range
};

// The write's one step, or why it cannot be sent (`error`, step empty).
std::optional<SequenceStep> HartWriteStep(const HartIdentity& identity, const HartWrite& write,
                                          std::string* error);
// The read that shows what the write left: command 13, 12 or 15.
uint8_t HartReadBackCommand(HartWrite::Kind kind);
SequenceStep HartReadBackStep(const HartIdentity& identity, const HartWrite& write);

// The change in words, from what was read before to what is to be written:
// "tag \"PT-101\" to \"FT-7\", descriptor ... ", "range 0 to 25 kPa to 0 to 50 kPa".
std::string HartWriteChange(const HartWrite& write, const HartInstrumentReading& before);

// "" when `readBack` (the reply to HartReadBackStep) holds what was written
// (texts as packed ASCII carries them: capitals, no trailing blanks), else
// what differs.
std::string HartReadBackDifference(const HartWrite& write, const std::string& readBack);
