// The traffic journal: every traffic event appended to a file the moment it
// is recorded, so a program that is killed, or a session that ends, leaves
// the record of what went to the module behind. One file per session, in the
// traffic text format (comment lines starting "# ", the column names, one
// tab-separated row an event), in the user's state folder; the oldest files
// go when the folder passes its size cap. No Qt: the window and tavrix-cli
// feed it the rows of their own traffic logs.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "traffic/trafficformat.h"

inline constexpr uint64_t kJournalSizeCap = 50ull * 1024 * 1024;

// $XDG_STATE_HOME/tavrix, else ~/.local/state/tavrix.
std::string JournalFolder();
// "traffic-YYYY-MM-DD_HH-MM-SS-PORT.txt": the port's file name, with
// anything but letters, digits, '.', '-' and '_' as '_' ("none" when empty).
std::string JournalFileName(std::chrono::system_clock::time_point start, const std::string& port);
// Removes the oldest journal files of `folder` until those left come to at
// most `cap` bytes; `keep` (a path) is never removed. How many went.
size_t PruneJournals(const std::string& folder, uint64_t cap, const std::string& keep = {});
// One row as the journal writes it: the cells tab-separated, a tab or line
// break inside a cell as a blank, so every event stays one line.
std::string JournalLine(const TrafficRow& row);

class TrafficJournal {
public:
    TrafficJournal() = default;
    TrafficJournal(const TrafficJournal&) = delete;
    TrafficJournal& operator=(const TrafficJournal&) = delete;
    ~TrafficJournal();

    // Creates the folder and a new file for this session, headed by the
    // tool's version, the start and the line; the older files are pruned to
    // `cap` first. False, with error() saying why, when it cannot.
    bool Open(const std::string& folder, const std::string& toolVersion,
              const std::string& lineText, const std::string& port,
              std::chrono::system_clock::time_point start, uint64_t cap = kJournalSizeCap);
    bool IsOpen() const { return fd_ >= 0; }
    // Writes the row at once: nothing waits in a buffer of ours, so a killed
    // program has lost none of it. A failed write closes the journal (error()).
    // A file past a quarter of the cap is followed by a new one, headed the
    // same, so a session of days stays within the cap too.
    void Append(const TrafficRow& row);
    // The statistics as closing comment lines, and the file closed.
    void Close(const std::vector<std::string>& statistics = {});

    const std::string& path() const { return path_; }
    const std::string& error() const { return error_; }
    uint64_t bytesWritten() const { return written_; }

private:
    bool Write(const std::string& text);

    int fd_ = -1;
    std::string path_;
    std::string folder_;
    std::string toolVersion_, lineText_, port_;  // for the next file of a long session
    std::string error_;
    uint64_t written_ = 0;
    uint64_t cap_ = kJournalSizeCap;
    uint64_t nextPrune_ = 0;  // bytes written when the folder is pruned again
};
