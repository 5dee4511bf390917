// Traffic files: whatever a file holds, reading it either refuses it naming a
// line or gives a log, and a log read saves to text and CSV that read back
// into the same rows.
#include <cstdlib>
#include <string>

#include "input.h"
#include "traffic/trafficfile.h"
#include "traffic/trafficformat.h"

namespace {

std::vector<TrafficRow> Rows(const TrafficLog& log) {
    std::vector<TrafficRow> rows;
    for (size_t row = 0; row < TrafficRowCount(log); ++row) rows.push_back(TrafficRowAt(log, row));
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = AsText(data, size);
    TrafficLog log(TrafficFileCapacity(text));
    std::string error;
    if (!ReadTrafficFile(text, log, &error)) {
        if (!error.starts_with("line ")) std::abort();
        return 0;
    }
    const TrafficSaveHeader header{"fuzz", {}};
    const std::vector<TrafficRow> rows = Rows(log);
    for (const std::string& saved : {TrafficText(log, header), TrafficCsv(log, header)}) {
        TrafficLog again(TrafficFileCapacity(saved));
        if (!ReadTrafficFile(saved, again, &error)) std::abort();
        if (Rows(again).size() != rows.size()) std::abort();
    }
    return 0;
}
