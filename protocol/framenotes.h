// What an annotator found in one frame: a line per field, problems marked.
// Annotators tell the truth about a frame even where the window's decoders
// accept it; the traffic log shows their notes.
#pragma once

#include <string>
#include <vector>

struct FrameNote {
    std::string text;
    bool problem = false;  // a check failed: checksum, length, missing key…

    bool operator==(const FrameNote&) const = default;
};

using FrameNotes = std::vector<FrameNote>;

inline bool HasProblem(const FrameNotes& notes) {
    for (const FrameNote& note : notes) {
        if (note.problem) return true;
    }
    return false;
}
