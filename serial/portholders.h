// Which programs have a serial device open, read from /proc: the answer to
// "busy" and the warning about a second program (a modem manager probing a
// freshly plugged adapter) that would take part of the replies.
#pragma once

#include <string>
#include <vector>

struct TPortHolder {
    int pid = 0;
    std::string name;  // the process's command name
    bool operator==(const TPortHolder&) const = default;
};

// Processes that have `path`'s device open, found in procRoot/<pid>/fd (those
// this account may look into). Matched by device number, so a by-id link and
// the /dev/ttyUSB0 it points to are the same device. Sorted by process id.
std::vector<TPortHolder> FindPortHolders(const std::string& path,
                                         const std::string& procRoot = "/proc");

// The warning shown after opening `path` when other programs hold it too;
// empty when there is nothing to warn about. The program that made a
// pseudo-terminal holds its device side by design (the simulator does), so a
// pseudo-terminal never warns.
std::string SharedPortWarning(const std::string& path, const std::vector<TPortHolder>& holders,
                              int ownPid);
