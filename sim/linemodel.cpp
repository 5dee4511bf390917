#include "sim/linemodel.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace {

std::string Hex(uint8_t byte) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

}  // namespace

LineModel::LineModel(LineOptions options)
    : options_(options),
      random_(options.seed),
      toolLineFree_(std::numeric_limits<Micros>::min()) {}

LineModel::Micros LineModel::CharTime() const { return CharsTime(1); }

LineModel::Micros LineModel::CharsTime(size_t count) const {
    if (!options_.halfDuplex || frame_.baud <= 0) return 0;
    const Micros bits = frame_.parity == Parity::None ? 10 : 11;  // start, 8 data, (parity,) stop
    return static_cast<Micros>(count) * bits * 1000000 / frame_.baud;
}

void LineModel::ToolSent(const Bytes& bytes, Micros now) {
    if (bytes.empty()) return;
    // A byte after a quiet line starts a new request, for the notes' numbering.
    if (now > toolLineFree_) toolNumber_ = 0;
    const Micros begin = std::max(now, toolLineFree_);
    for (size_t i = 0; i < bytes.size(); ++i) {
        Char c{.start = begin + CharsTime(i),
               .end = begin + CharsTime(i + 1),
               .byte = bytes[i],
               .number = ++toolNumber_,
               .echo = options_.echo};
        if (Chance(options_.loseRequests)) {
            c.lost = true;
            ++requestBytesLost_;
            Note("request byte " + std::to_string(c.number) + " lost");
        }
        for (Char& m : fromModule_) {
            if (m.start < c.end && c.start < m.end) Collide(c, m);
        }
        fromTool_.push_back(c);
    }
    toolLineFree_ = begin + CharsTime(bytes.size());
    if (options_.echo) Note("echo of " + std::to_string(bytes.size()) + " bytes");
}

void LineModel::ModuleSends(const Bytes& reply, Micros start, size_t splitAt, Micros pause) {
    if (reply.empty()) return;
    Bytes sent = reply;
    if (Chance(options_.flipReplies)) {
        const size_t at = Below(static_cast<uint32_t>(sent.size()));
        const int bit = static_cast<int>(Below(8));
        sent[at] ^= static_cast<uint8_t>(1u << bit);
        ++repliesFlipped_;
        Note("reply byte " + std::to_string(at + 1) + " bit " + std::to_string(bit) + " flipped (" +
             Hex(reply[at]) + " -> " + Hex(sent[at]) + ")");
    }
    for (size_t i = 0; i < sent.size(); ++i) {
        const Micros at = start + (splitAt > 0 && i >= splitAt ? pause : 0);
        Char c{.start = at + CharsTime(i),
               .end = at + CharsTime(i + 1),
               .byte = sent[i],
               .number = static_cast<int>(i + 1)};
        if (Chance(options_.loseReplies)) {
            c.lost = true;
            ++replyBytesLost_;
            Note("reply byte " + std::to_string(c.number) + " lost");
        }
        for (Char& t : fromTool_) {
            if (t.start < c.end && c.start < t.end) Collide(t, c);
        }
        fromModule_.push_back(c);
    }
}

bool LineModel::FlipRequest(Bytes& request) {
    if (request.empty() || !Chance(options_.flipRequests)) return false;
    const size_t at = Below(static_cast<uint32_t>(request.size()));
    const int bit = static_cast<int>(Below(8));
    const uint8_t before = request[at];
    request[at] ^= static_cast<uint8_t>(1u << bit);
    ++requestsFlipped_;
    Note("request byte " + std::to_string(at + 1) + " bit " + std::to_string(bit) + " flipped (" +
         Hex(before) + " -> " + Hex(request[at]) + ")");
    return true;
}

void LineModel::Collide(Char& tool, Char& module) {
    // Two drivers on one pair: neither side reads what was sent. Counted
    // once per byte of the tool's, whatever it overlaps.
    if (!tool.collided) {
        tool.collided = true;
        tool.byte = Corrupt(tool.byte);
        ++collisions_;
    }
    if (!module.collided) {
        module.collided = true;
        module.byte = Corrupt(module.byte);
    }
    Note("collision at reply byte " + std::to_string(module.number) + " (request byte " +
         std::to_string(tool.number) + ")");
}

uint8_t LineModel::Corrupt(uint8_t byte) {
    return static_cast<uint8_t>(byte ^ (1 + Below(255)));  // never the byte itself
}

LineModel::Micros LineModel::DueAtTool(Micros end) const {
    const Micros tick = static_cast<Micros>(options_.latencyMs) * 1000;
    if (tick <= 0) return end;
    const Micros ticks = end >= 0 ? (end + tick - 1) / tick : end / tick;
    return ticks * tick;
}

Bytes LineModel::TakeForModule(Micros now) {
    Bytes heard;
    for (Char& c : fromTool_) {
        if (c.end > now) break;
        if (c.toFar && !c.lost) heard.push_back(c.byte);
        c.toFar = false;
    }
    while (!fromTool_.empty() && !fromTool_.front().toFar && !fromTool_.front().echo) {
        fromTool_.pop_front();
    }
    return heard;
}

Bytes LineModel::TakeForTool(Micros now) {
    // The module's bytes and the echo of the tool's, in the order their stop
    // bits went through.
    std::vector<Char*> due;
    for (Char& c : fromTool_) {
        if (c.echo && DueAtTool(c.end) <= now) due.push_back(&c);
    }
    // At one instant the echo first: the module hears a request before it answers.
    for (Char& c : fromModule_) {
        if (c.toFar && DueAtTool(c.end) <= now) due.push_back(&c);
    }
    std::stable_sort(due.begin(), due.end(),
                     [](const Char* a, const Char* b) { return a->end < b->end; });
    Bytes read;
    // One note per tick, however late the caller asks.
    Micros tick = 0;
    size_t chunk = 0;
    const auto noteChunk = [&] {
        if (options_.latencyMs > 0 && chunk > 0) {
            Note("latency timer: " + std::to_string(chunk) + " bytes at " +
                 std::to_string(tick / 1000) + " ms");
        }
        chunk = 0;
    };
    for (Char* c : due) {
        if (DueAtTool(c->end) != tick) noteChunk();
        tick = DueAtTool(c->end);
        const size_t before = read.size();
        if (c->echo) {
            c->echo = false;
            read.push_back(c->byte);  // the adapter hears the line, collisions and all
        } else {
            c->toFar = false;
            if (!c->lost) read.push_back(c->byte);
        }
        chunk += read.size() - before;
    }
    noteChunk();
    while (!fromModule_.empty() && !fromModule_.front().toFar) fromModule_.pop_front();
    while (!fromTool_.empty() && !fromTool_.front().toFar && !fromTool_.front().echo) {
        fromTool_.pop_front();
    }
    return read;
}

std::optional<LineModel::Micros> LineModel::NextEvent() const {
    std::optional<Micros> next;
    const auto consider = [&next](Micros t) {
        if (!next || t < *next) next = t;
    };
    for (const Char& c : fromTool_) {
        if (c.toFar) consider(c.end);
        if (c.echo) consider(DueAtTool(c.end));
    }
    for (const Char& c : fromModule_) {
        if (c.toFar) consider(DueAtTool(c.end));
    }
    return next;
}

bool LineModel::ModuleTransmitting(Micros now) const {
    return !fromModule_.empty() && fromModule_.back().end > now;
}

void LineModel::Clear() {
    fromTool_.clear();
    fromModule_.clear();
    toolLineFree_ = std::numeric_limits<Micros>::min();
}

bool LineModel::Chance(double percent) {
    if (percent <= 0) return false;
    // mt19937's output is the same everywhere, unlike the standard distributions'.
    return static_cast<double>(random_()) / 4294967296.0 * 100.0 < percent;
}

void LineModel::Note(const std::string& note) {
    if (options_.trace) notes_.push_back(note);
}

std::vector<std::string> LineModel::TakeNotes() { return std::exchange(notes_, {}); }
