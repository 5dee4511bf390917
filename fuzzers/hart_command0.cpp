// The HART command 0 reply and the start-marker search under both delimiters.
#include <cstdlib>

#include "hart/replies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto reply = AsBytes(data, size);
    for (const uint8_t delimiter : {kShortReplyDelimiter, kLongReplyDelimiter}) {
        const auto at = FindHartStart(reply, delimiter);
        if (at && (*at + 1 >= size || data[*at] != 0xFF || data[*at + 1] != delimiter))
            std::abort();
    }
    ParseHartCommand0Reply(reply);
    return 0;
}
