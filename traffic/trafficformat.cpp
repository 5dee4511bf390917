#include "traffic/trafficformat.h"

#include <cstdio>
#include <ctime>

#include "exchange/csvtext.h"
#include "exchange/requestcodes.h"
#include "traffic/blockannotation.h"

namespace {

std::tm LocalTime(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    localtime_r(&seconds, &local);
    return local;
}

const char* Direction(TrafficKind kind) {
    switch (kind) {
        case TrafficKind::Sent:
            return "TX";
        case TrafficKind::Received:
            return "RX";
        case TrafficKind::Timeout:
            return "TIMEOUT";
        case TrafficKind::Retry:
            return "RETRY";
        case TrafficKind::Opened:
            return "OPEN";
        case TrafficKind::Closed:
            return "CLOSE";
        case TrafficKind::HangUp:
            return "HANG-UP";
        case TrafficKind::Dropped:
            return "DROPPED";
        case TrafficKind::Echo:
            return "ECHO";
    }
    return "";
}

bool IsBlock(TrafficKind kind) {
    return kind == TrafficKind::Sent || kind == TrafficKind::Received;
}

std::string NotesText(const FrameNotes& notes) {
    std::string text;
    for (const FrameNote& note : notes) {
        if (!text.empty()) text += "; ";
        if (note.problem) text += "! ";
        text += note.text;
    }
    return text;
}

std::string Joined(const TrafficRow& cells, char separator) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i) line += separator;
        line += cells[i];
    }
    return line;
}

// Text from the line or from a file read: no control character may break a
// table cell or a saved line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
    return text;
}

std::vector<std::string> HeaderLines(const TrafficLog& log, const TrafficSaveHeader& header) {
    const TrafficLine& line = log.line();
    std::vector<std::string> lines = {
        "Tavrix Configurator " + header.toolVersion + " traffic log",
        "Saved: " + IsoLocalTime(header.savedAt),
        "Port: " + (line.port.empty() ? std::string("(never opened)") : line.Text()) +
            ", read interval " + std::to_string(line.readIntervalMs) + " ms",
        "Events: " + std::to_string(log.events().size()) + " kept, " +
            std::to_string(log.dropped()) + " dropped (history of " +
            std::to_string(log.capacity()) + ")",
    };
    for (std::string& text : lines) text = OneLine(std::move(text));
    return lines;
}

TrafficRow ColumnNames() {
    return TrafficRow(std::begin(kTrafficColumns), std::end(kTrafficColumns));
}

}  // namespace

std::string ClockText(std::chrono::system_clock::time_point t) {
    const std::tm local = LocalTime(t);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count() % 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
    return text;
}

std::string PrintableText(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (uint8_t b : bytes) text += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
    return text;
}

FrameNotes EventNotes(const TrafficEvent& event) {
    FrameNotes notes = event.context;
    if (IsBlock(event.kind)) {
        const FrameNotes found =
            AnnotateBlock(event.code, event.kind == TrafficKind::Sent, event.bytes);
        notes.insert(notes.end(), found.begin(), found.end());
    }
    return notes;
}

size_t TrafficRowCount(const TrafficLog& log) {
    return log.events().size() + (log.dropped() > 0 ? 1 : 0);
}

const TrafficEvent* TrafficEventAt(const TrafficLog& log, size_t row) {
    if (log.dropped() > 0) {
        if (row == 0) return nullptr;
        --row;
    }
    return row < log.events().size() ? &log.events()[row] : nullptr;
}

TrafficRow TrafficRowAt(const TrafficLog& log, size_t row) {
    const TrafficEvent* event = TrafficEventAt(log, row);
    if (!event) {
        TrafficRow cells(kTrafficColumnCount);
        cells[0] = "...";
        cells[kTrafficDecodedColumn] = std::to_string(log.dropped()) +
                                       " earlier events dropped (the history keeps the last " +
                                       std::to_string(log.capacity()) + ")";
        return cells;
    }
    const bool block = IsBlock(event->kind) || event->kind == TrafficKind::Timeout ||
                       event->kind == TrafficKind::Echo;
    TrafficRow cells{
        ClockText(event->time.wall),
        event->sinceRequestMs ? std::to_string(*event->sinceRequestMs) : std::string(),
        Direction(event->kind),
        RequestName(event->code),
        GradedText(event->graded),
        block ? std::to_string(event->bytes.size()) : std::string(),
        HexText(event->bytes),
        PrintableText(event->bytes),
        NotesText(EventNotes(*event)),
    };
    // Notes quote what came on the line.
    for (std::string& cell : cells) cell = OneLine(std::move(cell));
    return cells;
}

std::string TrafficDetail(const TrafficEvent& event) {
    std::string text = ClockText(event.time.wall) + "  " + Direction(event.kind);
    if (event.code) text += std::string("  ") + RequestName(event.code);
    text += "  " + std::to_string(event.bytes.size()) + " bytes\n";
    const std::span<const uint8_t> bytes(event.bytes);
    for (size_t at = 0; at < bytes.size(); at += 16) {
        const auto line = bytes.subspan(at, std::min<size_t>(16, bytes.size() - at));
        char offset[20];
        std::snprintf(offset, sizeof offset, "%04zX", at);
        std::string hex = HexText(line);
        hex.resize(16 * 3 - 1, ' ');
        text += std::string(offset) + "  " + hex + "  " + PrintableText(line) + "\n";
    }
    if (event.graded.grade != Grade::None || !event.graded.reason.empty())
        text += "Verdict: " + GradedText(event.graded) + "\n";
    if (event.verdict && event.verdict->state != VerdictState::Unknown)
        text += "Frame check: " + VerdictText(*event.verdict) + "\n";
    for (const FrameNote& note : EventNotes(event))
        text += (note.problem ? "  ! " : "    ") + note.text + "\n";
    return text;
}

TrafficRow SavedRow(const TrafficLog& log, size_t row) {
    TrafficRow cells = TrafficRowAt(log, row);
    if (const TrafficEvent* event = TrafficEventAt(log, row))
        cells[0] = IsoLocalTime(event->time.wall);
    return cells;
}

namespace {

// A comment line of the CSV: "#" and its text, padded to the table's width
// so a strict reader sees rows of one width and a comment-aware one skips it.
std::string CsvComment(const std::string& text) {
    // The '#' unquoted, first on the line, for readers that skip comments.
    TrafficRow cells(kTrafficColumnCount - 1);
    cells[0] = text;
    return "#," + CsvLine(cells);
}

}  // namespace

std::string TrafficText(const TrafficLog& log, const TrafficSaveHeader& header) {
    std::string text;
    for (const std::string& line : HeaderLines(log, header)) text += "# " + line + "\n";
    text += Joined(ColumnNames(), '\t') + "\n";
    for (size_t row = 0; row < TrafficRowCount(log); ++row)
        text += Joined(SavedRow(log, row), '\t') + "\n";
    text += "# Statistics\n";
    for (const std::string& line : FormatTrafficStats(log.stats())) text += "# " + line + "\n";
    return text;
}

std::string TrafficCsv(const TrafficLog& log, const TrafficSaveHeader& header) {
    std::string text;
    for (const std::string& line : HeaderLines(log, header)) text += CsvComment(line);
    text += CsvLine(ColumnNames());
    for (size_t row = 0; row < TrafficRowCount(log); ++row) text += CsvLine(SavedRow(log, row));
    text += CsvComment("Statistics");
    for (const std::string& line : FormatTrafficStats(log.stats())) text += CsvComment(line);
    return text;
}
