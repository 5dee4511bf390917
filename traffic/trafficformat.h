// The traffic log as the panel shows it and as it is saved: one row of cells
// per event (the first row counts dropped events), the detail of one event,
// and the whole log as text or CSV with a header. Saving and showing use the
// same rows, so a saved file holds exactly what the panel showed.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "protocol/hexbytes.h"
#include "traffic/trafficlog.h"

inline constexpr const char* kTrafficColumns[] = {"Time", "+ms", "Dir",  "Request", "Verdict",
                                                  "Len",  "Hex", "Text", "Decoded"};
inline constexpr size_t kTrafficColumnCount = std::size(kTrafficColumns);
inline constexpr size_t kTrafficVerdictColumn = 4;
inline constexpr size_t kTrafficDecodedColumn = 8;

using TrafficRow = std::vector<std::string>;

// "HH:MM:SS.mmm" in local time.
std::string ClockText(std::chrono::system_clock::time_point t);
// Printable ASCII as it stands, every other byte as '.'.
std::string PrintableText(std::span<const uint8_t> bytes);

// What the log knew at the time and what the annotators find in the bytes.
FrameNotes EventNotes(const TrafficEvent& event);

size_t TrafficRowCount(const TrafficLog& log);
TrafficRow TrafficRowAt(const TrafficLog& log, size_t row);
// A row as files hold it: the time with its date and offset, the rest as shown.
TrafficRow SavedRow(const TrafficLog& log, size_t row);
// The event behind `row`; nullptr for the dropped-events row.
const TrafficEvent* TrafficEventAt(const TrafficLog& log, size_t row);
// The whole block in lines of 16 bytes with offsets, then every note.
std::string TrafficDetail(const TrafficEvent& event);

struct TrafficSaveHeader {
    std::string toolVersion;
    std::chrono::system_clock::time_point savedAt;
};

// Header lines, the column names, the rows, then the statistics.
std::string TrafficText(const TrafficLog& log, const TrafficSaveHeader& header);
std::string TrafficCsv(const TrafficLog& log, const TrafficSaveHeader& header);
