// The MODBUS RTU reply decoder: whatever arrives, the fields stay inside the
// reply, the registers are the data two bytes each, and a CRC judged good is
// the one the bytes before it call for.
#include <cstdlib>

#include "input.h"
#include "modbus/reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ModbusReply r = DecodeModbusReply(AsBytes(data, size));
    if (r.data.size() > size || r.registers.size() > r.data.size() / 2) std::abort();
    if (r.crcOk && (!r.crcPresent || r.crcReceived != r.crcExpected)) std::abort();
    ModbusFunctionName(r.function);
    ModbusExceptionName(r.exceptionCode);
    ModbusFloatPairs(r.registers, kFirstHoldingRegister);
    return 0;
}
