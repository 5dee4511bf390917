#include "exchange/trendlog.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

#include "exchange/crosscheck.h"
#include "exchange/csvtext.h"
#include "hart/replies.h"
#include "hart/units.h"
#include "modbus/reply.h"

namespace {

constexpr const char* kSeriesNames[kTrendSeries] = {"loop_current", "variable_1", "variable_2",
                                                    "variable_3", "variable_4"};

// Values came as single-precision floats: their shortest exact text.
std::string CsvNumber(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, static_cast<float>(value));
    return error == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

std::optional<TrendValues> TrendValuesFromHart(std::span<const uint8_t> reply) {
    const auto hart = ParseHartCommand3Values(reply);
    if (!hart) return std::nullopt;
    TrendValues values;
    const auto put = [&values](size_t series, float value) {
        if (HartNotAvailable(value))
            values.missing[series] = kHartNotAvailableText;
        else
            values.value[series] = value;
    };
    put(0, hart->loopCurrent);
    values.unit[0] = "mA";
    for (size_t i = 0; i < hart->variables.size() && i + 1 < kTrendSeries; ++i) {
        const auto& variable = hart->variables[i];
        put(i + 1, variable.value);
        values.unit[i + 1] = HartUnitName(variable.unitCode);
    }
    return values;
}

std::optional<TrendValues> TrendValuesFromModbus(std::span<const uint8_t> reply, int firstRegister,
                                                 const std::array<int, 4>& listOrder) {
    const ModbusReply modbus = DecodeModbusReply(reply);
    if (modbus.exception || !modbus.crcOk || modbus.registers.empty()) return std::nullopt;
    TrendValues values;
    for (const ModbusFloatPair& pair : ModbusFloatPairs(modbus.registers, firstRegister)) {
        const int variable = (pair.address - kFirstVariableRegister) / 2;
        if (pair.address < kFirstVariableRegister || variable >= kModuleVariables) continue;
        const int order = listOrder[static_cast<size_t>(variable)];
        if (order < 0 || order >= static_cast<int>(pair.value.size())) continue;
        values.value[static_cast<size_t>(variable) + 1] = pair.value[static_cast<size_t>(order)];
    }
    return values;
}

const TrendSample& TrendLog::Add(int64_t epochMs, const TrendValues& values,
                                 std::optional<TrendValues> modbus) {
    if (samples_.empty()) firstMs_ = epochMs;
    if (samples_.size() >= capacity_) {
        samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(
                                                                samples_.size() - capacity_ + 1));
    }
    samples_.push_back({epochMs, static_cast<double>(epochMs - firstMs_) / 1000.0, values,
                        std::move(modbus), {}, stopped_});
    stopped_ = false;
    return samples_.back();
}

const TrendSample& TrendLog::AddGap(int64_t epochMs, std::string reason) {
    Add(epochMs, {});
    samples_.back().gap = reason.empty() ? "no value" : std::move(reason);
    return samples_.back();
}

std::optional<double> TrendDeviation(const TrendSample& sample, int series) {
    if (series < 1 || series >= kTrendSeries || !sample.modbus) return std::nullopt;
    const auto& hart = sample.values.value[static_cast<size_t>(series)];
    const auto& modbus = sample.modbus->value[static_cast<size_t>(series)];
    if (!hart || !modbus) return std::nullopt;
    return *hart - *modbus;
}

bool TrendBreaks(const TrendSample& sample, int series, bool overlay) {
    if (sample.IsGap() || sample.resumed) return true;
    if (series < 0 || series >= kTrendSeries) return false;
    const TrendValues* values =
        overlay ? (sample.modbus ? &*sample.modbus : nullptr) : &sample.values;
    return values && !values->missing[static_cast<size_t>(series)].empty();
}

void TrendLog::Clear() {
    samples_.clear();
    stopped_ = false;
}

std::vector<std::vector<size_t>> TrendLog::Segments(int series, bool overlay) const {
    std::vector<std::vector<size_t>> segments;
    if (series < 0 || series >= kTrendSeries) return segments;
    bool broken = true;
    for (size_t i = 0; i < samples_.size(); ++i) {
        const TrendSample& sample = samples_[i];
        broken = broken || TrendBreaks(sample, series, overlay);
        const TrendValues* values =
            overlay ? (sample.modbus ? &*sample.modbus : nullptr) : &sample.values;
        if (!values || !values->value[static_cast<size_t>(series)]) continue;
        if (broken) segments.emplace_back();
        segments.back().push_back(i);
        broken = false;
    }
    return segments;
}

TrendStats TrendLog::Stats(int series) const {
    TrendStats stats;
    for (const TrendSample& sample : samples_) {
        const auto& value = sample.values.value[static_cast<size_t>(series)];
        if (!value) continue;
        stats.last = *value;
        stats.min = stats.min ? std::min(*stats.min, *value) : *value;
        stats.max = stats.max ? std::max(*stats.max, *value) : *value;
    }
    return stats;
}

std::string TrendLog::Csv() const {
    std::string csv = "time,seconds";
    for (const char* name : kSeriesNames) csv += std::string(",") + name + "," + name + "_unit";
    for (int v = 1; v < kTrendSeries; ++v) csv += ",modbus_variable_" + std::to_string(v);
    csv += ",gap\n";
    for (const TrendSample& sample : samples_) {
        char seconds[32];
        const auto end = std::to_chars(seconds, seconds + sizeof seconds, sample.seconds,
                                       std::chars_format::fixed, 3)
                             .ptr;
        csv += IsoLocalTime(std::chrono::system_clock::time_point(
                                std::chrono::milliseconds(sample.epochMs))) + "," + std::string(seconds, end);
        for (int s = 0; s < kTrendSeries; ++s) {
            const auto& value = sample.values.value[static_cast<size_t>(s)];
            csv += "," + (value ? CsvNumber(*value) : std::string()) + "," +
                   CsvField(sample.values.unit[static_cast<size_t>(s)]);
        }
        for (size_t v = 1; v < kTrendSeries; ++v) {
            const auto value = sample.modbus ? sample.modbus->value[v] : std::nullopt;
            csv += "," + (value ? CsvNumber(*value) : std::string());
        }
        // A value the instrument reported not available leaves its field
        // empty and says so here, so the file keeps why.
        std::string gap = sample.gap;
        for (int s = 0; s < kTrendSeries && !sample.IsGap(); ++s) {
            const std::string& missing = sample.values.missing[static_cast<size_t>(s)];
            if (!missing.empty())
                gap += (gap.empty() ? "" : "; ") + std::string(kSeriesNames[s]) + " " + missing;
        }
        csv += "," + CsvField(gap) + "\n";
    }
    return csv;
}
