#include "sim/hartinstrument.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <utility>

#include "hart/status.h"
#include "hart/units.h"
#include "hart/universal.h"

namespace {

// Response codes of the first status byte (HART command response codes).
constexpr uint8_t kOk = 0;
constexpr uint8_t kInvalidSelection = 2;
constexpr uint8_t kTooLarge = 3;
constexpr uint8_t kTooSmall = 4;
constexpr uint8_t kTooFewDataBytes = 5;
constexpr uint8_t kWriteProtected = 7;
constexpr uint8_t kNearestValue = 8;    // command 34: a warning
constexpr uint8_t kCounterMismatch = 9;  // command 38
constexpr uint8_t kWrongLoopMode = 9;    // commands 45, 46
constexpr uint8_t kMultidrop = 11;       // commands 40, 45, 46
constexpr uint8_t kInvalidMode = 12;     // command 6
constexpr uint8_t kInvalidUnits = 12;    // command 44
constexpr uint8_t kInvalidSpan = 29;     // command 35
constexpr uint8_t kBusy = 32;
constexpr uint8_t kConfigChanged = 0x40;
constexpr uint8_t kColdStart = 0x20;
constexpr float kLongestDamping = 60.0f;  // s
// Trims: the level the loop must be fixed at, and how far a meter may differ.
constexpr float kTrimZeroAt = 4.0f;
constexpr float kTrimGainAt = 20.0f;
constexpr float kTrimReach = 1.0f;
constexpr uint8_t kLoopCurrentFixed = 0x08;
// What the loop can be driven to by command 40.
constexpr float kLowestFixed = 3.5f;
constexpr float kHighestFixed = 22.5f;
constexpr uint8_t kNotImplemented = 64;

constexpr uint8_t kBurstBit = 0x40;
constexpr uint8_t kAddressBits = 0x3F;

struct HartRequest {
    bool longAddress = false;
    Bytes address;
    uint8_t command = 0;
    Bytes data;
};

uint8_t Xor(const uint8_t* first, const uint8_t* last) {
    uint8_t sum = 0;
    for (; first != last; ++first) sum ^= *first;
    return sum;
}

// A master frame: at least one preamble byte, delimiter 0x02 or 0x82, the
// address, command, byte count, data and a correct checksum, nothing more.
std::optional<HartRequest> ParseRequest(const Bytes& frame) {
    size_t at = 0;
    while (at < frame.size() && frame[at] == 0xFF) ++at;
    if (at == 0 || at >= frame.size()) return std::nullopt;
    const size_t start = at;
    HartRequest request;
    if (frame[at] == 0x82) {
        request.longAddress = true;
    } else if (frame[at] != 0x02) {
        return std::nullopt;
    }
    const size_t addressSize = request.longAddress ? 5 : 1;
    ++at;
    if (frame.size() < at + addressSize + 2) return std::nullopt;
    request.address.assign(frame.begin() + at, frame.begin() + at + addressSize);
    at += addressSize;
    request.command = frame[at++];
    const size_t count = frame[at++];
    if (frame.size() != at + count + 1) return std::nullopt;
    request.data.assign(frame.begin() + at, frame.begin() + at + count);
    at += count;
    if (Xor(frame.data() + start, frame.data() + at) != frame[at]) return std::nullopt;
    return request;
}

bool AddressedToMe(const HartRequest& request, const ModuleSettings::HartInstrumentSettings& hart) {
    // Bit 7 names the master; bit 6 is the burst-mode bit, which only a field
    // device sets, so a frame carrying it is not a master's request.
    if (request.address[0] & kBurstBit) return false;
    if (!request.longAddress) {
        // Only command 0 may be sent to the polling address.
        return (request.address[0] & kAddressBits) == hart.pollingAddress && request.command == 0;
    }
    return (request.address[0] & kAddressBits) == (hart.manufacturer & kAddressBits) &&
           request.address[1] == hart.deviceType && request.address[2] == hart.deviceId[0] &&
           request.address[3] == hart.deviceId[1] && request.address[4] == hart.deviceId[2];
}

// HART float: IEEE 754 single, most significant byte first; a value that is
// not available is sent as 7F A0 00 00.
void PutFloat(Bytes& out, float value) {
    const uint32_t raw = std::isnan(value) ? 0x7FA00000u : std::bit_cast<uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(raw >> shift));
}

Bytes Identity(const ModuleSettings::HartInstrumentSettings& hart) {
    const uint8_t revision = static_cast<uint8_t>(hart.revision);
    Bytes data{254,
               hart.manufacturer,
               hart.deviceType,
               hart.preamblesRequested,
               revision,  // universal command revision
               1,         // device revision
               1,         // software revision
               0x08,      // hardware revision 1, Bell 202 current signalling
               0,         // flags
               hart.deviceId[0],
               hart.deviceId[1],
               hart.deviceId[2]};
    if (hart.revision >= 6) {
        // Preambles the device sends, device variables, configuration change
        // counter, extended status.
        const Bytes more{static_cast<uint8_t>(hart.replyPreambles), 4,
                         static_cast<uint8_t>(hart.configChangeCounter >> 8),
                         static_cast<uint8_t>(hart.configChangeCounter), 0};
        data.insert(data.end(), more.begin(), more.end());
    }
    if (hart.revision >= 7) {
        // 16-bit manufacturer and distributor codes, device profile.
        const Bytes more{0, hart.manufacturer, 0, hart.manufacturer, 1};
        data.insert(data.end(), more.begin(), more.end());
    }
    return data;
}

float Variable(const ModuleSettings& settings, int i) {
    if (settings.hart.nanVariable == i) return NAN;
    return settings.variables[static_cast<size_t>(i)];
}

float PercentOfRange(const ModuleSettings& settings) {
    const auto& hart = settings.hart;
    if (hart.fixedCurrent) return (*hart.fixedCurrent - 4.0f) / 16.0f * 100.0f;
    const float span = hart.upperRange - hart.lowerRange;
    return span == 0 ? NAN : (settings.variables[0] - hart.lowerRange) / span * 100.0f;
}

float FloatFrom(const Bytes& data, size_t at) {
    const uint32_t raw = static_cast<uint32_t>(data[at]) << 24 | data[at + 1] << 16 |
                         data[at + 2] << 8 | data[at + 3];
    return std::bit_cast<float>(raw);
}

void PutPacked(Bytes& out, const std::string& text, int characters) {
    const auto packed = PackAscii(text, characters, nullptr);
    const HartBytes blanks = *PackAscii("", characters, nullptr);
    const HartBytes& bytes = packed ? *packed : blanks;
    out.insert(out.end(), bytes.begin(), bytes.end());
}

Bytes TagRecord(const ModuleSettings::HartInstrumentSettings& hart) {
    Bytes data;
    PutPacked(data, hart.tag, kHartTagChars);
    PutPacked(data, hart.descriptor, kHartDescriptorChars);
    data.push_back(static_cast<uint8_t>(hart.date[0]));
    data.push_back(static_cast<uint8_t>(hart.date[1]));
    data.push_back(static_cast<uint8_t>(hart.date[2] - 1900));
    return data;
}

Bytes DeviceInfo(const ModuleSettings::HartInstrumentSettings& hart) {
    Bytes data{hart.alarmSelection, hart.transferFunction, hart.rangeUnitCode};
    PutFloat(data, hart.upperRange);
    PutFloat(data, hart.lowerRange);
    PutFloat(data, hart.damping);
    data.push_back(hart.writeProtect ? 1 : 0);
    data.push_back(250);                        // private label distributor: none
    if (hart.revision >= 6) data.push_back(1);  // analog channel flags: the loop is an output
    return data;
}

// Commands 17, 18 and 35 change the configuration: refused while write
// protected, or when their data is short.
std::optional<uint8_t> WriteRefusal(const ModuleSettings::HartInstrumentSettings& hart,
                                    const Bytes& data, size_t needed) {
    if (data.size() < needed) return kTooFewDataBytes;
    if (hart.writeProtect) return kWriteProtected;
    return std::nullopt;
}

Bytes DynamicVariables(const ModuleSettings& settings) {
    const auto& hart = settings.hart;
    Bytes data;
    PutFloat(data, HartLoopCurrent(hart));
    const int count = std::clamp(hart.variableCount, 0, 4);
    for (int i = 0; i < count; ++i) {
        data.push_back(hart.unitCodes[static_cast<size_t>(i)]);
        PutFloat(data, Variable(settings, i));
    }
    return data;
}

}  // namespace

float HartLoopCurrent(const ModuleSettings::HartInstrumentSettings& hart) {
    const float commanded = hart.fixedCurrent.value_or(hart.loopCurrent);
    return 4.0f + hart.outputZero + (commanded - 4.0f) * hart.outputGain;
}

std::optional<Bytes> HartInstrument::Answer(const Bytes& frame) {
    const auto request = ParseRequest(frame);
    auto& hart = settings_.hart;
    if (!request || !AddressedToMe(*request, hart)) return std::nullopt;

    uint8_t status = kOk;
    Bytes data;
    const Bytes& in = request->data;
    const auto refuse = [&](size_t needed) {
        const auto refusal = WriteRefusal(hart, in, needed);
        if (refusal) status = *refusal;
        return refusal.has_value();
    };
    const bool forced = hart.forcedResponse && hart.forcedResponse->first == request->command;
    const bool warning = forced && HartResponseCodeIsWarning(hart.forcedResponse->second);
    const bool busy = std::exchange(hart.selfTesting, false);
    const bool coldStarted = std::exchange(hart.coldStart, false);
    // A write carried out changes the configuration: flagged and counted.
    const auto changed = [&hart] {
        hart.configChanged = true;
        ++hart.configChangeCounter;
    };
    // Trims need the loop held where they trim, at a level a meter can show.
    const auto trimRefusal = [&](float at) -> std::optional<uint8_t> {
        if (hart.revision < 6 && hart.pollingAddress != 0) return kMultidrop;
        if (!hart.fixedCurrent || std::fabs(*hart.fixedCurrent - at) > 1e-3f)
            return kWrongLoopMode;
        const float measured = FloatFrom(in, 0);
        if (!(measured >= at - kTrimReach)) return kTooSmall;
        if (measured > at + kTrimReach) return kTooLarge;
        return std::nullopt;
    };
    switch (busy ? -2 : forced && !warning ? -1 : request->command) {
        case -2:
            status = kBusy;
            break;
        case -1:
            status = hart.forcedResponse->second;
            break;
        case 1:
            data.push_back(hart.unitCodes[0]);
            PutFloat(data, Variable(settings_, 0));
            break;
        case 2:
            PutFloat(data, HartLoopCurrent(hart));
            PutFloat(data, PercentOfRange(settings_));
            break;
        case 12:
            PutPacked(data, hart.message, kHartMessageChars);
            break;
        case 13:
            data = TagRecord(hart);
            break;
        case 15:
            data = DeviceInfo(hart);
            break;
        case 17:
            if (refuse(24)) break;
            hart.message = TrimPacked(UnpackAscii(std::span(in).first(24)));
            changed();
            PutPacked(data, hart.message, kHartMessageChars);
            break;
        case 18:
            if (refuse(21)) break;
            hart.tag = TrimPacked(UnpackAscii(std::span(in).first(6)));
            hart.descriptor = TrimPacked(UnpackAscii(std::span(in).subspan(6, 12)));
            hart.date = {in[18], in[19], 1900 + in[20]};
            changed();
            data = TagRecord(hart);
            break;
        case 35: {
            if (refuse(9)) break;
            const float upper = FloatFrom(in, 1), lower = FloatFrom(in, 5);
            if (!std::isfinite(upper) || !std::isfinite(lower) || upper == lower) {
                status = kInvalidSpan;
                break;
            }
            hart.rangeUnitCode = in[0];
            hart.upperRange = upper;
            hart.lowerRange = lower;
            changed();
            data.assign(in.begin(), in.begin() + 9);
            break;
        }
        case 34: {
            if (refuse(4)) break;
            float seconds = FloatFrom(in, 0);
            if (!(seconds >= 0)) {
                status = kTooSmall;
                break;
            }
            if (seconds > kLongestDamping) {
                seconds = kLongestDamping;
                status = kNearestValue;
            }
            hart.damping = seconds;
            changed();
            PutFloat(data, seconds);
            break;
        }
        case 38: {
            // Revision 7 names the counter it has seen, so a change made by
            // another master in between is not acknowledged unseen.
            if (hart.revision >= 7) {
                if (in.size() < 2) {
                    status = kTooFewDataBytes;
                    break;
                }
                if ((in[0] << 8 | in[1]) != hart.configChangeCounter) {
                    status = kCounterMismatch;
                    break;
                }
                data = {static_cast<uint8_t>(hart.configChangeCounter >> 8),
                        static_cast<uint8_t>(hart.configChangeCounter)};
            }
            hart.configChanged = false;
            break;
        }
        case 41:
            hart.selfTesting = true;
            break;
        case 42:
            // A reset leaves fixed current mode; the next reply says it started cold.
            hart.fixedCurrent.reset();
            hart.coldStart = true;
            break;
        case 44: {
            if (refuse(1)) break;
            if (HartUnitName(in[0]).rfind("unit code ", 0) == 0 || in[0] >= 250) {
                status = kInvalidUnits;
                break;
            }
            hart.unitCodes[0] = in[0];
            hart.rangeUnitCode = in[0];
            changed();
            data.push_back(in[0]);
            break;
        }
        case 45:
        case 46: {
            if (refuse(4)) break;
            const bool zero = request->command == 45;
            if (const auto refusal = trimRefusal(zero ? kTrimZeroAt : kTrimGainAt)) {
                status = *refusal;
                break;
            }
            const float measured = FloatFrom(in, 0);
            if (zero) {
                hart.outputZero -= measured - kTrimZeroAt;
            } else {
                // The span above 4 mA the meter saw, made the full 16 mA.
                const float span = measured - kTrimZeroAt - hart.outputZero;
                if (!(span > 0)) {
                    status = kTooSmall;
                    break;
                }
                hart.outputGain *= (kTrimGainAt - kTrimZeroAt - hart.outputZero) / span;
            }
            changed();
            PutFloat(data, measured);
            break;
        }
        case 40: {
            if (in.size() < 4) {
                status = kTooFewDataBytes;
                break;
            }
            const float level = FloatFrom(in, 0);
            // Below revision 6 a polling address other than 0 parks the loop at 4 mA.
            if (hart.revision < 6 && hart.pollingAddress != 0) {
                status = kMultidrop;
            } else if (level == 0.0f) {
                hart.fixedCurrent.reset();
                PutFloat(data, 0.0f);
            } else if (!(level >= kLowestFixed)) {
                status = kTooSmall;
            } else if (level > kHighestFixed) {
                status = kTooLarge;
            } else {
                hart.fixedCurrent = level;
                PutFloat(data, level);
            }
            break;
        }
        case 48:
            data = hart.moreStatus;
            break;
        case 0:
            data = Identity(hart);
            break;
        case 3:
            data = DynamicVariables(settings_);
            break;
        case 6: {
            const int maxAddress = hart.revision >= 6 ? 63 : 15;
            if (request->data.empty()) {
                status = kTooFewDataBytes;
            } else if (request->data[0] > maxAddress) {
                status = kInvalidSelection;
            } else if (hart.revision >= 6 && request->data.size() >= 2 &&
                       request->data[1] > 1) {
                status = kInvalidMode;
            } else {
                hart.pollingAddress = request->data[0];
                changed();
                data.push_back(request->data[0]);
                // Loop current mode as asked; without it the current is fixed
                // away from address 0, as before revision 6.
                if (hart.revision >= 6)
                    data.push_back(request->data.size() >= 2 ? request->data[1]
                                                             : hart.pollingAddress == 0 ? 1 : 0);
            }
            break;
        }
        default:
            status = kNotImplemented;
            break;
    }
    if (warning && status == kOk) status = hart.forcedResponse->second;

    Bytes reply(static_cast<size_t>(std::max(hart.replyPreambles, 0)), 0xFF);
    const size_t start = reply.size();
    reply.push_back(request->longAddress ? 0x86 : 0x06);
    reply.insert(reply.end(), request->address.begin(), request->address.end());
    reply.push_back(request->command);
    reply.push_back(static_cast<uint8_t>(data.size() + 2));
    reply.push_back(status);
    reply.push_back(static_cast<uint8_t>(hart.deviceStatus |
                                         (hart.fixedCurrent ? kLoopCurrentFixed : 0) |
                                         (hart.configChanged ? kConfigChanged : 0) |
                                         (coldStarted ? kColdStart : 0)));
    reply.insert(reply.end(), data.begin(), data.end());
    reply.push_back(Xor(reply.data() + start, reply.data() + reply.size()));
    return reply;
}
