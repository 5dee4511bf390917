// The current-output reply (kCodeCurrentOutputQuery).
#include "exchange/configreplies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeCurrentOutputParameters(AsText(data, size));
    return 0;
}
