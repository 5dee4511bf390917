// The traffic log's annotators, reached the way the log reaches them: a block
// sent or received under any request code. The first byte picks the code and
// the direction; the notes are the same each time and none is empty.
#include <cstdlib>
#include <iterator>

#include "exchange/requestcodes.h"
#include "input.h"
#include "traffic/blockannotation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    constexpr size_t kCodes = std::size(kRequestCodes);
    const size_t pick = data[0] >> 1;
    const int code = pick < kCodes ? kRequestCodes[pick].code : 0;
    const bool sent = data[0] & 1;
    const auto bytes = AsBytes(data + 1, size - 1);
    const FrameNotes notes = AnnotateBlock(code, sent, bytes);
    for (const FrameNote& note : notes)
        if (note.text.empty()) std::abort();
    if (AnnotateBlock(code, sent, bytes) != notes) std::abort();
    return 0;
}
