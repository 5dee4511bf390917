// The HART command 3 reply: at most four variables, each value text at most
// nine characters.
#include <cstdlib>

#include "hart/replies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (const auto variables = ParseHartCommand3Reply(AsBytes(data, size), ',')) {
        if (variables->size() > 4) std::abort();
        for (const HartVariable& v : *variables)
            if (v.valueText.size() > 9) std::abort();
    }
    return 0;
}
