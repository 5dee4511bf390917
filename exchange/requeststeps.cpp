#include "exchange/requeststeps.h"

#include "exchange/requestcodes.h"
#include "modbus/request.h"

SequenceStep HartCommand0Step(int pollingAddress) {
    const HartBytes frame = HartCommand0Frame(kDefaultHartPreamble, kPrimaryMaster, pollingAddress);
    return {std::string(frame.begin(), frame.end()), kCodeHartCommand0, "HART command 0"};
}

SequenceStep HartCommand3Step(const HartIdentity& identity) {
    const HartBytes frame = HartCommand3Frame(kDefaultHartPreamble, kPrimaryMaster, identity);
    return {std::string(frame.begin(), frame.end()), kCodeHartCommand3, "HART command 3"};
}

SequenceStep ModbusReadStep(int slave, int start, int count) {
    const ModbusRequest frame = ReadHoldingRegisters(slave, start, count);
    return {std::string(frame.begin(), frame.end()), kCodeModbusTest, "MODBUS read"};
}

SequenceStep HartStep(uint8_t command, const HartIdentity& identity,
                      std::span<const uint8_t> data) {
    const HartBytes frame =
        HartLongFrame(kDefaultHartPreamble, kPrimaryMaster, identity, command, data);
    return {std::string(frame.begin(), frame.end()), HartCommandCode(command),
            "HART command " + std::to_string(command)};
}
