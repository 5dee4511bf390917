#include "exchange/csvtext.h"

#include <cstdio>
#include <ctime>

std::string CsvField(std::string_view field) {
    const bool quote = field.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!field.empty() && (field.front() == ' ' || field.back() == ' ' ||
                                           field.front() == '#'));
    if (!quote) return std::string(field);
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string CsvLine(const CsvRecord& fields) {
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ',';
        line += CsvField(fields[i]);
    }
    return line + '\n';
}

std::optional<std::vector<CsvRecord>> ParseCsv(std::string_view text, std::string* error) {
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    size_t line = 1;
    size_t i = 0;
    const auto fail = [&](const char* what) -> std::optional<std::vector<CsvRecord>> {
        if (error) *error = "line " + std::to_string(line) + ": " + what;
        return std::nullopt;
    };
    while (i < text.size()) {
        // One field.
        if (text[i] == '"') {
            ++i;
            for (;;) {
                if (i >= text.size()) return fail("a quoted field is never closed");
                const char c = text[i++];
                if (c == '"') {
                    if (i < text.size() && text[i] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    break;
                }
                if (c == '\n') ++line;
                field += c;
            }
            if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r')
                return fail("text after a quoted field's closing quote");
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                if (text[i] == '"') return fail("a quote inside an unquoted field");
                field += text[i++];
            }
        }
        record.push_back(std::move(field));
        field.clear();
        if (i >= text.size()) break;
        if (text[i] == ',') {
            ++i;
            if (i == text.size()) record.emplace_back();
            continue;
        }
        if (text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
        records.push_back(std::move(record));
        record.clear();
        ++line;
    }
    if (!record.empty()) records.push_back(std::move(record));
    return records;
}

std::string IsoLocalTime(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() %
              1000;
    if (ms < 0) ms += 1000;
    const long offset = local.tm_gmtoff / 60;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(ms), offset < 0 ? '-' : '+',
                  (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
    return text;
}

std::optional<std::chrono::system_clock::time_point> ParseIsoTime(std::string_view text) {
    int year, month, day, hour, minute, second, ms = 0, consumed = 0;
    const std::string s(text);
    if (std::sscanf(s.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                    &second, &consumed) != 6 ||
        consumed != 19)
        return std::nullopt;
    size_t at = 19;
    if (at < s.size() && s[at] == '.') {
        if (at + 4 > s.size()) return std::nullopt;
        for (size_t k = at + 1; k < at + 4; ++k) {
            if (s[k] < '0' || s[k] > '9') return std::nullopt;
            ms = ms * 10 + (s[k] - '0');
        }
        at += 4;
    }
    long offsetMinutes = 0;
    if (at < s.size() && s[at] == 'Z' && at + 1 == s.size()) {
    } else if (at + 6 == s.size() && (s[at] == '+' || s[at] == '-') && s[at + 3] == ':') {
        int oh, om;
        if (std::sscanf(s.c_str() + at + 1, "%2d:%2d", &oh, &om) != 2 || oh > 23 || om > 59)
            return std::nullopt;
        offsetMinutes = (s[at] == '-' ? -1 : 1) * (oh * 60L + om);
    } else {
        return std::nullopt;
    }
    // The clock counts nanoseconds: years past 2200 are beyond it.
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 60 || year < 1970 || year > 2200)
        return std::nullopt;
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    const std::time_t epoch = timegm(&utc) - offsetMinutes * 60;
    return std::chrono::system_clock::from_time_t(epoch) + std::chrono::milliseconds(ms);
}
