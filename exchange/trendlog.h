// The samples of a live trend: the loop current and the four variables read
// at each poll, from a HART command 3 reply or a MODBUS test reply, with last,
// minimum and maximum per series and a CSV export. Pure: the trend window
// polls, plots and saves what this holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Series 0 is the loop current, 1 to 4 the module's variables.
inline constexpr int kTrendSeries = 5;

struct TrendValues {
    std::array<std::optional<double>, kTrendSeries> value;  // nullopt: not in the reply
    std::array<std::string, kTrendSeries> unit;             // UTF-8, "" when unknown
    // Why a value the reply holds is not there to plot ("not available"): its
    // line breaks at this sample rather than joining across it.
    std::array<std::string, kTrendSeries> missing;
};

// What a command 3 reply carries: loop current (mA) and 0 to 4 variables
// with their units named by HartUnitName; a value marked "not available" is
// left out, with that reason.
std::optional<TrendValues> TrendValuesFromHart(std::span<const uint8_t> reply);

// The four variables of a MODBUS reply to a read from `firstRegister` (40003
// to 40009, each in its list's byte order; -1 leaves it out); no loop current.
// nullopt for an exception, a bad CRC or a reply without registers.
std::optional<TrendValues> TrendValuesFromModbus(std::span<const uint8_t> reply, int firstRegister,
                                                 const std::array<int, 4>& listOrder);

struct TrendSample {
    int64_t epochMs = 0;  // wall-clock time of the poll (Unix time, ms)
    double seconds = 0;   // since the first sample
    TrendValues values;   // the polled source's (HART when both are polled)
    // Polling both: the MODBUS reply's variables, overlaid on the HART ones.
    std::optional<TrendValues> modbus;
    // Not empty: a missed or invalid poll, and why; no values then.
    std::string gap;
    // The first sample after polling stopped: no line joins it to the one before.
    bool resumed = false;

    bool IsGap() const { return !gap.empty(); }
};

// HART minus MODBUS of variable `series` (1 to 4) in `sample`, when both hold it.
std::optional<double> TrendDeviation(const TrendSample& sample, int series);

// Whether the line of `series` (0 to 4 of the polled source; `overlay`: the
// MODBUS overlay's variable) breaks at `sample` rather than joining its last
// point across it: a missed poll, the first poll after a stop, a value the
// instrument reported not available. The sample's own point starts a new stretch.
bool TrendBreaks(const TrendSample& sample, int series, bool overlay = false);

struct TrendStats {
    std::optional<double> last, min, max;
};

class TrendLog {
public:
    // Keeps the newest `capacity` samples (a day at one per second by default).
    explicit TrendLog(size_t capacity = 86400) : capacity_(capacity) {}

    const TrendSample& Add(int64_t epochMs, const TrendValues& values,
                           std::optional<TrendValues> modbus = std::nullopt);
    // A poll that gave no value to plot: the line breaks there.
    const TrendSample& AddGap(int64_t epochMs, std::string reason);
    // Polling stopped: the next sample starts every line afresh. Marked rather
    // than guessed from the time between samples, which a tick skipped for
    // the window's own request or a changed interval would stretch too.
    void Stop() { stopped_ = !samples_.empty(); }
    void Clear();
    const std::vector<TrendSample>& samples() const { return samples_; }
    TrendStats Stats(int series) const;
    // The stretches of one line (as TrendBreaks): the indices of the samples
    // whose points it joins, oldest first.
    std::vector<std::vector<size_t>> Segments(int series, bool overlay = false) const;

    // "time,seconds,loop_current,loop_current_unit,variable_1,variable_1_unit,..."
    // then one line per sample: local time with milliseconds and the offset from
    // UTC (ISO 8601), seconds
    // since the first, each value with its unit; an empty field where a value
    // is missing; the gap column says why a poll or a value the instrument
    // reported not available left no point.
    std::string Csv() const;

private:
    size_t capacity_;
    std::vector<TrendSample> samples_;
    int64_t firstMs_ = 0;
    bool stopped_ = false;
};
