#include "traffic/trafficfile.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "exchange/csvtext.h"
#include "exchange/requestcodes.h"
#include "traffic/trafficformat.h"

namespace {

struct Row {
    size_t line;  // 1-based, in the file
    std::vector<std::string> cells;
};

struct Parsed {
    std::vector<Row> rows;
    std::vector<std::string> comments;  // header and statistics lines, without "# "
};

std::string CellCount(size_t n) { return std::to_string(n) + (n == 1 ? " cell" : " cells"); }

bool IsColumnNames(const std::vector<std::string>& cells) {
    return cells.size() == kTrafficColumnCount &&
           std::equal(cells.begin(), cells.end(), std::begin(kTrafficColumns));
}

bool Fail(std::string* error, size_t line, const std::string& what) {
    if (error) *error = "line " + std::to_string(line) + ": " + what;
    return false;
}

std::string Shown(std::string_view text) {
    std::string shown(text.substr(0, 60));
    if (text.size() > 60) shown += "…";
    return "\"" + shown + "\"";
}

// Text: comment lines, the column names, tab-separated rows.
bool SplitText(std::string_view text, Parsed& parsed, std::string* error) {
    bool columns = false;
    size_t line = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view content = text.substr(at, end - at);
        at = end + 1;
        ++line;
        if (content.ends_with('\r')) content.remove_suffix(1);
        if (content.starts_with('#')) {
            parsed.comments.emplace_back(content.substr(content.starts_with("# ") ? 2 : 1));
            continue;
        }
        if (content.empty()) continue;
        std::vector<std::string> cells;
        for (size_t from = 0;;) {
            const size_t tab = content.find('\t', from);
            cells.emplace_back(content.substr(from, tab == std::string_view::npos ? tab : tab - from));
            if (tab == std::string_view::npos) break;
            from = tab + 1;
        }
        if (!columns) {
            if (!IsColumnNames(cells))
                return Fail(error, line, "not the traffic log's column names: " + Shown(content));
            columns = true;
            continue;
        }
        if (cells.size() != kTrafficColumnCount)
            return Fail(error, line,
                        CellCount(cells.size()) + " where a traffic row has " +
                            std::to_string(kTrafficColumnCount) + ": " + Shown(content));
        parsed.rows.push_back({line, std::move(cells)});
    }
    if (!columns) return Fail(error, line, "no column names: not a traffic log");
    return true;
}

bool SplitCsv(std::string_view text, Parsed& parsed, std::string* error) {
    std::string csvError;
    const auto records = ParseCsv(text, &csvError);
    if (!records) {
        if (error) *error = csvError;
        return false;
    }
    // Records and lines differ only where a quoted field holds a line break.
    size_t line = 0;
    bool columns = false;
    for (const CsvRecord& record : *records) {
        ++line;
        for (const std::string& cell : record) line += static_cast<size_t>(std::count(cell.begin(), cell.end(), '\n'));
        if (!record.empty() && record[0] == "#") {
            parsed.comments.push_back(record.size() > 1 ? record[1] : std::string());
            continue;
        }
        if (record.size() == 1 && record[0].empty()) continue;
        if (!columns) {
            if (!IsColumnNames(record))
                return Fail(error, line, "not the traffic log's column names");
            columns = true;
            continue;
        }
        if (record.size() != kTrafficColumnCount)
            return Fail(error, line,
                        CellCount(record.size()) + " where a traffic row has " +
                            std::to_string(kTrafficColumnCount));
        parsed.rows.push_back({line, record});
    }
    if (!columns) return Fail(error, line, "no column names: not a traffic log");
    return true;
}

bool Split(std::string_view text, Parsed& parsed, std::string* error) {
    // The first line past the comments, the column names, tells the form: tabs
    // in text, commas in CSV. Not a search of the whole file: a comment (a port's
    // name) may hold either form's names.
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view content = text.substr(at, end - at);
        at = end + 1;
        if (content.ends_with('\r')) content.remove_suffix(1);
        if (content.empty() || content.starts_with('#')) continue;
        // Tabs mean text even where the names are damaged, so that the error
        // names this line rather than the first comment read as CSV.
        if (content.find('\t') != std::string_view::npos) return SplitText(text, parsed, error);
        break;
    }
    return SplitCsv(text, parsed, error);
}

std::optional<int64_t> Number(std::string_view text) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "1500" after `key` up to the next blank.
std::optional<int64_t> NumberAfter(std::string_view text, std::string_view key) {
    const size_t at = text.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    const size_t from = at + key.size();
    const size_t end = text.find(' ', from);
    return Number(text.substr(from, end == std::string_view::npos ? end : end - from));
}

std::optional<std::vector<uint8_t>> HexBytes(std::string_view text) {
    std::vector<uint8_t> bytes;
    for (size_t at = 0; at < text.size();) {
        if (at + 2 > text.size()) return std::nullopt;
        uint8_t value = 0;
        const auto [end, ec] = std::from_chars(text.data() + at, text.data() + at + 2, value, 16);
        if (ec != std::errc() || end != text.data() + at + 2) return std::nullopt;
        bytes.push_back(value);
        at += 2;
        if (at < text.size()) {
            if (text[at] != ' ') return std::nullopt;
            ++at;
        }
    }
    return bytes;
}

// "/dev/ttyUSB0 9600 8N1" as TrafficLine::Text writes it.
std::optional<TrafficLine> LineFromText(std::string_view text) {
    const size_t last = text.rfind(' ');
    if (last == std::string_view::npos || last == 0) return std::nullopt;
    const size_t before = text.rfind(' ', last - 1);
    if (before == std::string_view::npos) return std::nullopt;
    const std::string_view frame = text.substr(last + 1);
    const auto baud = Number(text.substr(before + 1, last - before - 1));
    if (!baud || *baud <= 0 || frame.size() < 3 || frame[0] < '5' || frame[0] > '8')
        return std::nullopt;
    TrafficLine line;
    line.port = std::string(text.substr(0, before));
    line.baud = static_cast<uint32_t>(*baud);
    line.dataBits = frame[0] - '0';
    line.parity = frame[1];
    line.stopBits = std::string(frame.substr(2));
    line.pseudoTerminal = IsPseudoTerminalPath(line.port);
    return line;
}

// The header's "Port: /dev/ttyUSB0 9600 8N1, read interval 400 ms".
TrafficLine HeaderLine(const std::vector<std::string>& comments) {
    for (const std::string& comment : comments) {
        if (!comment.starts_with("Port: ")) continue;
        const size_t comma = comment.rfind(", read interval ");
        if (comma == std::string::npos) break;
        TrafficLine line = LineFromText(std::string_view(comment).substr(6, comma - 6))
                               .value_or(TrafficLine{});
        line.readIntervalMs = static_cast<uint32_t>(
            NumberAfter(comment, ", read interval ").value_or(0));
        return line;
    }
    return {};
}

std::optional<int> CodeOf(std::string_view name) {
    if (name.empty()) return kCodeNone;
    for (const RequestCode& entry : kRequestCodes)
        if (entry.name && name == entry.name) return entry.code;
    return std::nullopt;
}

enum Column { kTime, kSince, kDir, kRequest, kVerdict, kLen, kHex, kText, kDecoded };

class Replay {
public:
    Replay(TrafficLog& log, TrafficLine line) : log_(log), line_(std::move(line)) {}

    bool Row(const ::Row& row, bool firstRow, std::string* error) {
        const auto& c = row.cells;
        if (c[kTime] == "...") {
            if (!firstRow) return Fail(error, row.line, "a dropped-events row after the first row");
            const auto count = NumberAfter(" " + c[kDecoded], " ");
            if (!count || *count <= 0) return Fail(error, row.line, "no count of dropped events");
            log_.SetDroppedBefore(static_cast<uint64_t>(*count));
            return true;
        }
        const auto wall = ParseIsoTime(c[kTime]);
        if (!wall)
            return Fail(error, row.line, "time " + Shown(c[kTime]) + " is not an ISO 8601 time");
        if (!first_) first_ = *wall;
        TrafficTime t{*wall, base_ + (*wall - *first_)};
        const auto code = CodeOf(c[kRequest]);
        if (!code) return Fail(error, row.line, "no request is called " + Shown(c[kRequest]));
        const auto bytes = HexBytes(c[kHex]);
        if (!bytes) return Fail(error, row.line, "hex bytes " + Shown(c[kHex]) + " are not hex bytes");
        const std::string& dir = c[kDir];
        const bool block = dir == "TX" || dir == "RX" || dir == "TIMEOUT";
        if (block && c[kLen] != std::to_string(bytes->size()))
            return Fail(error, row.line,
                        "length " + Shown(c[kLen]) + " but " + std::to_string(bytes->size()) +
                            " hex bytes");
        std::optional<int64_t> since;
        if (!c[kSince].empty()) {
            since = Number(c[kSince]);
            if (!since || *since < 0)
                return Fail(error, row.line, "+ms " + Shown(c[kSince]) + " is not a time");
        }
        const bool pending = request_ && (c[kDecoded].rfind("no request pending", 0) != 0 &&
                                          c[kDecoded].rfind("timeout with no request", 0) != 0);
        if ((dir == "RX" || dir == "TIMEOUT") && pending && since)
            t.steady = request_->sent + std::chrono::milliseconds(*since);
        // A clock set back between a request and its reply (or an edited
        // file) must not time the reply before its request.
        if ((dir == "RX" || dir == "TIMEOUT") && pending && t.steady < request_->sent)
            t.steady = request_->sent;

        if (dir == "TX") {
            ExchangeRecord request;
            request.code = *code;
            request.frame = *bytes;
            request.sent = t.steady;
            request.portOpen = c[kVerdict].find("port closed") == std::string::npos;
            request.readIntervalMs = line_.readIntervalMs;
            request_ = std::move(request);
            log_.Sent(*request_, t);
        } else if (dir == "RX") {
            if (!pending) {
                log_.Received(*bytes, nullptr, t);
                return true;
            }
            if (request_->code != *code)
                return Fail(error, row.line,
                            "a reply under " + Shown(c[kRequest]) + " to a request sent as " +
                                Shown(RequestName(request_->code)));
            log_.Received(*bytes, &*request_, t, NumberAfter(c[kDecoded], "response "));
            request_->answered = true;
            request_->bytesSince += bytes->size();
            const size_t room = 4096 - std::min<size_t>(4096, request_->received.size());
            request_->received.insert(request_->received.end(), bytes->begin(),
                                      bytes->begin() + static_cast<ptrdiff_t>(std::min(room, bytes->size())));
        } else if (dir == "TIMEOUT") {
            if (pending) request_->timedOut = true;
            log_.TimedOut(pending ? &*request_ : nullptr, t);
        } else if (dir == "RETRY") {
            // "retry 2 of 3: why"
            const std::string_view verdict = c[kVerdict];
            const size_t of = verdict.find(" of "), colon = verdict.find(": ");
            const bool shaped =
                verdict.starts_with("retry ") && of < colon && colon != std::string_view::npos;
            const auto attempt = shaped ? Number(verdict.substr(6, of - 6)) : std::nullopt;
            const auto tries =
                shaped ? Number(verdict.substr(of + 4, colon - of - 4)) : std::nullopt;
            if (!attempt || !tries || *attempt < 0 || *tries < 0)
                return Fail(error, row.line, "no \"retry N of M: why\" in " + Shown(verdict));
            log_.Retried(request_ ? &*request_ : nullptr, static_cast<int>(*attempt),
                         static_cast<int>(*tries), verdict.substr(colon + 2), t);
        } else if (dir == "ECHO") {
            const auto how = EchoFromText(c[kVerdict]);
            if (!how) return Fail(error, row.line, "no echo verdict in " + Shown(c[kVerdict]));
            log_.Echoed(*bytes, request_ ? &*request_ : nullptr, *how, t);
        } else if (dir == "OPEN") {
            TrafficLine line = line_;
            if (c[kDecoded].starts_with("opened ")) {
                if (auto opened = LineFromText(std::string_view(c[kDecoded]).substr(7))) {
                    opened->readIntervalMs = line_.readIntervalMs;
                    line = *opened;
                }
            }
            log_.Opened(line, t);
        } else if (dir == "CLOSE") {
            log_.Closed(t);
        } else if (dir == "HANG-UP") {
            log_.HungUp(t);
        } else if (dir == "DROPPED") {
            std::string_view notes = c[kDecoded];
            if (notes.starts_with("! ")) notes.remove_prefix(2);
            const auto count = Number(notes.substr(0, notes.find(' ')));
            const auto waiting = NumberAfter(notes, "handled: ");
            if (!count || !waiting || *count < 0 || *waiting < 0)
                return Fail(error, row.line, "no count of blocks dropped");
            log_.Dropped(static_cast<size_t>(*count), static_cast<size_t>(*waiting), t);
        } else {
            return Fail(error, row.line,
                        "direction " + Shown(dir) +
                            " is none of TX, RX, ECHO, TIMEOUT, RETRY, OPEN, CLOSE, HANG-UP, DROPPED");
        }
        return true;
    }

private:
    TrafficLog& log_;
    TrafficLine line_;
    std::optional<ExchangeRecord> request_;
    std::optional<std::chrono::system_clock::time_point> first_;
    // Replayed events keep their spacing on a clock of their own.
    std::chrono::steady_clock::time_point base_ = std::chrono::steady_clock::now();
};

}  // namespace

size_t TrafficFileCapacity(std::string_view text) {
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    return std::max<size_t>(TrafficLog::kDefaultCapacity, lines);
}

bool ReadTrafficFile(std::string_view text, TrafficLog& log, std::string* error) {
    Parsed parsed;
    if (!Split(text, parsed, error)) return false;
    Replay replay(log, HeaderLine(parsed.comments));
    for (size_t i = 0; i < parsed.rows.size(); ++i)
        if (!replay.Row(parsed.rows[i], i == 0, error)) return false;
    return true;
}
