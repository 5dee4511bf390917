// The one CSV dialect of every file the program writes (the traffic log, the
// trend) and the reader for it: RFC 4180 fields, quoted only where needed
// (a comma, a quote, a line break, a blank at either end, a leading '#'),
// quotes doubled, one record a line ending in LF. Times are ISO 8601 local
// time with the offset from UTC.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using CsvRecord = std::vector<std::string>;

std::string CsvField(std::string_view field);
// The fields joined by commas, with the line end.
std::string CsvLine(const CsvRecord& fields);

// Splits `text` into records; nullopt with the line of the fault in `error`
// ("line 3: a quote inside an unquoted field") when it is not well-formed CSV.
std::optional<std::vector<CsvRecord>> ParseCsv(std::string_view text, std::string* error = nullptr);

// "2026-12-09T11:20:57.123+01:00".
std::string IsoLocalTime(std::chrono::system_clock::time_point t);
// The time an IsoLocalTime text (or one ending in "Z") names; nullopt for any
// other text.
std::optional<std::chrono::system_clock::time_point> ParseIsoTime(std::string_view text);
