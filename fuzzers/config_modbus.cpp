// The MODBUS parameters reply (kCodeModbusQuery); the first byte picks the meter
// type the window has selected, -1 (none) included.
#include "exchange/configreplies.h"
#include "input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    DecodeModbusParameters(AsText(data + 1, size - 1), data[0] % 4 - 1);
    return 0;
}
