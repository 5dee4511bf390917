// The monitoring command reply (kCodeMonitoringQuery).
#include "exchange/configreplies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeMonitoringCommand(AsText(data, size));
    return 0;
}
