// Reading a saved traffic log (text or CSV, as TrafficText and TrafficCsv
// write it) back into a traffic log: its events are replayed as the link
// would have recorded them, so each row is decoded and judged again as if
// live, whoever made the file.
#pragma once

#include <string>
#include <string_view>

#include "traffic/trafficlog.h"

// The history a file needs: at least its rows, and the history it was saved with.
size_t TrafficFileCapacity(std::string_view text);

// Replays the file in `text` into `log` (an empty one). False, with what is
// wrong and its line ("line 7: direction \"XX\" is none of TX, RX, ..."), when
// it is not a traffic log; `log` then holds the rows before that line.
bool ReadTrafficFile(std::string_view text, TrafficLog& log, std::string* error);
