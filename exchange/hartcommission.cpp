#include "exchange/hartcommission.h"

#include <cmath>
#include <cstdio>

#include "exchange/hartinstrument.h"
#include "exchange/loopcheck.h"
#include "exchange/requeststeps.h"
#include "hart/status.h"
#include "hart/units.h"
#include "modbus/reply.h"

namespace {

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}


uint8_t CommandOf(HartCommission::Kind kind) {
    switch (kind) {
        case HartCommission::Kind::Damping:
            return kHartWriteDamping;
        case HartCommission::Kind::PvUnits:
            return kHartWritePvUnits;
        case HartCommission::Kind::ResetChanged:
            return kHartResetConfigChanged;
        case HartCommission::Kind::SelfTest:
            return kHartSelfTest;
        case HartCommission::Kind::DeviceReset:
            break;
    }
    return kHartDeviceReset;
}

uint16_t CounterOf(const HartCommission& write, const HartDeviceReply& device) {
    return write.changeCounter.value_or(device.configChangeCounter.value_or(0));
}

std::string Refusal(uint8_t code, int command) {
    return "response code " + HartResponseCodeText(code, command);
}

// The device status of a short-frame reply (command 0 at a polling address):
// delimiter, address, command, byte count, response code, status.
std::optional<uint8_t> ShortReplyStatus(std::span<const uint8_t> reply) {
    const auto at = FindHartStart(reply, kShortReplyDelimiter);
    if (!at || *at + 6 >= reply.size()) return std::nullopt;
    return reply[*at + 6];
}

// The damping as a float carries it: 2.1 goes out as 2.0999999.
bool SameSeconds(float a, float b) { return std::fabs(a - b) <= 1e-4f * std::max(1.0f, b); }

}  // namespace

std::optional<SequenceStep> HartCommissionStep(const HartDeviceReply& device,
                                               const HartCommission& write, std::string* error) {
    const HartIdentity& id = device.identity;
    const uint8_t command = CommandOf(write.kind);
    switch (write.kind) {
        case HartCommission::Kind::Damping: {
            const HartWriteData data = HartDampingData(write.damping);
            if (!data.ok()) {
                if (error) *error = data.error;
                return std::nullopt;
            }
            return HartStep(command, id, data.data);
        }
        case HartCommission::Kind::PvUnits:
            return HartStep(command, id, HartPvUnitsData(write.unitCode));
        case HartCommission::Kind::ResetChanged:
            return HartStep(
                command, id,
                HartResetConfigChangedData(device.universalRevision, CounterOf(write, device)));
        case HartCommission::Kind::SelfTest:
        case HartCommission::Kind::DeviceReset:
            break;
    }
    return HartStep(command, id);
}

std::optional<SequenceStep> HartCommissionReadBack(const HartDeviceReply& device,
                                                   int pollingAddress,
                                                   const HartCommission& write) {
    switch (write.kind) {
        case HartCommission::Kind::Damping:
        case HartCommission::Kind::PvUnits:
            return HartStep(kHartReadDeviceInfo, device.identity);
        case HartCommission::Kind::ResetChanged:
            return HartCommand0Step(pollingAddress);
        case HartCommission::Kind::SelfTest:
            return HartStep(kHartReadMoreStatus, device.identity);
        case HartCommission::Kind::DeviceReset:
            break;
    }
    return std::nullopt;
}

std::string HartCommissionChange(const HartCommission& write, const HartDeviceReply& device,
                                 const std::optional<HartDeviceInfo>& before) {
    switch (write.kind) {
        case HartCommission::Kind::Damping:
            return "damping " + (before ? HartNumberText(before->damping) + " s" : std::string("?")) +
                   " → " + HartNumberText(write.damping) + " s";
        case HartCommission::Kind::PvUnits:
            return "PV units " + (before ? HartUnitName(before->rangeUnitCode) : std::string("?")) +
                   " → " + HartUnitName(write.unitCode);
        case HartCommission::Kind::ResetChanged: {
            std::string text = "reset the configuration changed flag";
            if (device.universalRevision >= 7 || write.changeCounter || device.configChangeCounter)
                text += " (change counter " + std::to_string(CounterOf(write, device)) + ")";
            return text;
        }
        case HartCommission::Kind::SelfTest:
            return "self test";
        case HartCommission::Kind::DeviceReset:
            break;
    }
    return "device reset";
}

HartCommissionResult JudgeHartCommission(const HartCommission& write, const HartExchange& sent,
                                         const HartExchange& readBack) {
    using V = HartCommissionResult::Verdict;
    const uint8_t command = CommandOf(write.kind);
    if (!sent.reply) {
        if (sent.responseCode)
            return {V::Refused, "refused: " + Refusal(*sent.responseCode, command)};
        return {V::NoReply, "no reply: " + sent.why};
    }
    const auto body = ParseHartReplyBody(Bytes(*sent.reply), command);
    std::string warning;
    if (body && body->responseCode != 0)
        warning = " (carried out with " + Refusal(body->responseCode, command) + ")";

    if (write.kind == HartCommission::Kind::DeviceReset)
        return {V::Done, "done: the instrument restarts" + warning};
    const uint8_t readCommand = write.kind == HartCommission::Kind::ResetChanged ? 0
                                : write.kind == HartCommission::Kind::SelfTest
                                    ? kHartReadMoreStatus
                                    : kHartReadDeviceInfo;
    if (!readBack.reply) {
        if (write.kind == HartCommission::Kind::SelfTest && readBack.responseCode &&
            readBack.deviceStatus)
            return {V::Done,
                    "done; no additional status (" + Refusal(*readBack.responseCode, readCommand) +
                        "), device status: " + HartDeviceStatusText(*readBack.deviceStatus) +
                        warning};
        return {V::NoReply,
                "carried out" + warning + ", but the read back got " +
                    (readBack.responseCode ? Refusal(*readBack.responseCode, readCommand)
                                           : "no reply: " + readBack.why)};
    }
    const auto differs = [&](const std::string& what) {
        return HartCommissionResult{V::Differs, "read back differs: " + what + warning};
    };
    const auto done = [&](const std::string& what) {
        return HartCommissionResult{V::Done, "done and read back: " + what + warning};
    };
    switch (write.kind) {
        case HartCommission::Kind::Damping: {
            const auto info = ParseHartCommand15(Bytes(*readBack.reply));
            if (!info) return differs("the command 15 reply holds no damping");
            // With a warning the instrument took the value it echoes.
            float want = write.damping;
            if (!warning.empty())
                if (const auto echo = ParseHartCommand34(Bytes(*sent.reply))) want = echo->value;
            const std::string reads = "damping " + HartNumberText(info->damping) + " s";
            return SameSeconds(info->damping, want) ? done(reads) : differs(reads);
        }
        case HartCommission::Kind::PvUnits: {
            const auto info = ParseHartCommand15(Bytes(*readBack.reply));
            if (!info) return differs("the command 15 reply holds no unit");
            const std::string reads = "PV units " + HartUnitName(info->rangeUnitCode);
            return info->rangeUnitCode == write.unitCode ? done(reads) : differs(reads);
        }
        case HartCommission::Kind::ResetChanged: {
            const auto device = ParseHartCommand0Reply(Bytes(*readBack.reply));
            const auto status = ShortReplyStatus(Bytes(*readBack.reply));
            if (!device || !status) return differs("the command 0 reply holds no status");
            const std::string counter =
                device->configChangeCounter
                    ? ", change counter " + std::to_string(*device->configChangeCounter)
                    : "";
            return *status & 0x40 ? differs("the configuration changed flag is still set" + counter)
                                  : done("configuration changed flag clear" + counter);
        }
        case HartCommission::Kind::SelfTest: {
            const auto more = ParseHartCommand48(Bytes(*readBack.reply));
            if (!more) return differs("the command 48 reply holds no status");
            std::string set;
            for (const HartStatusByte& b : HartAdditionalStatus(*more)) {
                if (b.value == 0) continue;
                set += (set.empty() ? "" : "; ") + b.what;
                for (const std::string& bit : b.setBits) set += ", " + bit;
            }
            const std::string device =
                readBack.deviceStatus
                    ? ", device status: " + HartDeviceStatusText(*readBack.deviceStatus)
                    : "";
            return {V::Done, "done; additional status " + (set.empty() ? "all clear" : set) +
                                 device + warning};
        }
        case HartCommission::Kind::DeviceReset:
            break;
    }
    return {V::Done, "done" + warning};
}

std::string TrimCurrentText(double milliamperes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", milliamperes);
    return text;
}

std::string HartTrimReport::Summary() const {
    std::string text;
    if (Done())
        text = "loop current trimmed";
    else if (cancelled)
        text = "loop current trim cancelled";
    else if (!failure.empty())
        text = "loop current trim failed: " + failure;
    else
        text = "loop current trim not finished";
    std::string trims;
    if (zeroTrimmed && zeroReading) trims += "4 mA read " + TrimCurrentText(*zeroReading) + " mA";
    if (gainTrimmed && gainReading)
        trims += (trims.empty() ? "" : ", ") + std::string("20 mA read ") +
                 TrimCurrentText(*gainReading) + " mA";
    if (!trims.empty()) text += (Done() ? ": " : "; trimmed: ") + trims;
    if (!exitNote.empty()) text += "; " + exitNote;
    return text;
}

HartLoopTrim::HartLoopTrim(const HartIdentity& identity, std::optional<ModuleLoopMeter> meter)
    : identity_(identity), meter_(std::move(meter)) {}

double HartLoopTrim::Level() const {
    switch (stage_) {
        case Stage::FixGain:
        case Stage::SuggestGain:
        case Stage::ReadingGain:
        case Stage::TrimGain:
            return kTrimGainLevel;
        case Stage::Leave:
        case Stage::Finished:
            return 0;
        default:
            return kTrimZeroLevel;
    }
}

std::optional<SequenceStep> HartLoopTrim::Step() const {
    switch (stage_) {
        case Stage::FixZero:
        case Stage::FixGain: {
            SequenceStep step = HartStep(kHartFixCurrent, identity_,
                                         HartFixedCurrentData(static_cast<float>(Level())));
            step.label += " at " + LoopCurrentText(Level()) + " mA";
            return step;
        }
        case Stage::SuggestZero:
        case Stage::SuggestGain:
            if (!meter_) return std::nullopt;
            return ModbusReadStep(meter_->slave, kFirstVariableRegister - kFirstHoldingRegister, 2);
        case Stage::TrimZero:
        case Stage::TrimGain: {
            const double reading =
                stage_ == Stage::TrimZero ? *report_.zeroReading : *report_.gainReading;
            SequenceStep step =
                HartStep(stage_ == Stage::TrimZero ? kHartTrimLoopZero : kHartTrimLoopGain,
                         identity_, HartTrimCurrentData(static_cast<float>(reading)).data);
            step.label += " with " + TrimCurrentText(reading) + " mA";
            return step;
        }
        case Stage::Leave:
            return LeaveFixedCurrentStep(identity_);
        default:
            return std::nullopt;
    }
}

void HartLoopTrim::Took(const HartExchange& outcome) {
    const auto fail = [this](std::string why) {
        report_.failure = std::move(why);
        Leave();
    };
    // A run cancelled under way says nothing of the instrument: on to releasing the loop.
    if (report_.cancelled && !outcome.reply && stage_ != Stage::Leave) return Leave();
    switch (stage_) {
        case Stage::FixZero:
        case Stage::FixGain: {
            report_.fixedEntered = true;
            if (!outcome.reply)
                return fail(outcome.responseCode
                                ? "command 40 at " + LoopCurrentText(Level()) + " mA refused: " +
                                      Refusal(*outcome.responseCode, kHartFixCurrent)
                                : outcome.why);
            const auto echo = ParseHartCommand40Reply(Bytes(*outcome.reply));
            if (!echo || std::fabs(echo->value - Level()) > 1e-3)
                return fail("the instrument did not hold the loop at " + LoopCurrentText(Level()) +
                            " mA");
            if (CancelAsked()) return Leave();
            suggestion_.reset();
            suggestionNote_ = "the module's MODBUS reading was not asked";
            stage_ = stage_ == Stage::FixZero ? Stage::SuggestZero : Stage::SuggestGain;
            // Without the module's settings there is nothing to ask it.
            if (!meter_) {
                suggestionNote_ =
                    "no suggestion: the module's byte order and coefficient are unknown";
                stage_ = stage_ == Stage::SuggestZero ? Stage::ReadingZero : Stage::ReadingGain;
            }
            return;
        }
        case Stage::SuggestZero:
        case Stage::SuggestGain: {
            // The suggestion is a help only: without it the engineer still types the meter's
            // reading.
            if (outcome.reply) {
                std::string why;
                const auto registers = DecodeModbusReply(Bytes(*outcome.reply)).registers;
                suggestion_ =
                    meter_ ? ModbusLoopCurrent(registers, meter_->module, &why) : std::nullopt;
                suggestionNote_ = suggestion_ ? "" : "no suggestion: " + why;
            } else {
                suggestionNote_ = "no suggestion: " + outcome.why;
            }
            if (CancelAsked()) return Leave();
            stage_ = stage_ == Stage::SuggestZero ? Stage::ReadingZero : Stage::ReadingGain;
            return;
        }
        case Stage::TrimZero:
        case Stage::TrimGain: {
            const bool zero = stage_ == Stage::TrimZero;
            const uint8_t command = zero ? kHartTrimLoopZero : kHartTrimLoopGain;
            if (!outcome.reply)
                return fail(std::string(zero ? "the zero trim" : "the gain trim") +
                            (outcome.responseCode
                                 ? " was refused: " + Refusal(*outcome.responseCode, command)
                                 : " got no reply: " + outcome.why));
            (zero ? report_.zeroTrimmed : report_.gainTrimmed) = true;
            if (CancelAsked() || !zero) return Leave();
            stage_ = Stage::FixGain;
            return;
        }
        case Stage::Leave: {
            const auto echo =
                outcome.reply ? ParseHartCommand40Reply(Bytes(*outcome.reply)) : std::nullopt;
            if (echo && echo->value == 0.0f) {
                report_.fixedLeft = true;
                report_.exitNote =
                    "fixed current mode left: the loop current follows the process again";
                stage_ = Stage::Finished;
                return;
            }
            if (++leaveTries_ < kTrimLeaveTries) return;
            report_.exitNote =
                "fixed current mode may still be on: command 40 with 0 was not confirmed (" +
                (outcome.reply          ? std::string("its reply did not say 0 mA")
                 : outcome.responseCode ? Refusal(*outcome.responseCode, kHartFixCurrent)
                                        : outcome.why) +
                "); check the loop current before handing the loop back";
            stage_ = Stage::Finished;
            return;
        }
        default:
            return;
    }
}

std::string TrimReadingError(double level, double milliamperes) {
    if (std::isfinite(milliamperes) && std::fabs(milliamperes - level) <= kTrimReach) return {};
    return "the reading " + HartNumberText(milliamperes) + " mA is more than " + HartNumberText(kTrimReach) +
           " mA from " + LoopCurrentText(level) + " mA: check the meter and its range";
}

bool HartLoopTrim::Supply(double milliamperes, std::string* error) {
    if (!AwaitsReading()) {
        if (error) *error = "no reading is awaited";
        return false;
    }
    if (const std::string why = TrimReadingError(Level(), milliamperes); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    if (stage_ == Stage::ReadingZero) {
        report_.zeroReading = milliamperes;
        stage_ = Stage::TrimZero;
    } else {
        report_.gainReading = milliamperes;
        stage_ = Stage::TrimGain;
    }
    return true;
}

void HartLoopTrim::Cancel() {
    if (stage_ == Stage::Leave || stage_ == Stage::Finished) return;
    report_.cancelled = true;
    // A step under way ends first (Took), then the loop is released; a
    // reading awaited is dropped at once.
    if (AwaitsReading()) Leave();
}

bool HartLoopTrim::CancelAsked() const { return report_.cancelled; }

void HartLoopTrim::Leave() {
    if (!report_.fixedEntered) {
        report_.exitNote = "the loop current was never fixed";
        stage_ = Stage::Finished;
        return;
    }
    stage_ = Stage::Leave;
}

std::string HartLoopTrim::SuggestionText() const {
    if (suggestion_)
        return "suggested from the module's MODBUS reading: " + TrimCurrentText(*suggestion_) +
               " mA";
    return suggestionNote_;
}
