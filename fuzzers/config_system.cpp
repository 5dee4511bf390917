// The system parameters reply (kCodeSystemQuery).
#include "exchange/configreplies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeSystemParameters(AsText(data, size));
    return 0;
}
