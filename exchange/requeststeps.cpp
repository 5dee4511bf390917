#include "exchange/requeststeps.h"

#include "exchange/replyverdict.h"
#include "exchange/requestcodes.h"
#include "modbus/request.h"

int HartPreamblesFor(const HartIdentity& identity) {
    // The frame builders send P + 1 bytes 0xFF for a preamble length P.
    return identity.preambles > 0 ? identity.preambles - 1 : kDefaultHartPreamble;
}

SequenceStep HartCommand0Step(int pollingAddress) {
    const HartBytes frame = HartCommand0Frame(kDefaultHartPreamble, kPrimaryMaster, pollingAddress);
    return {std::string(frame.begin(), frame.end()), kCodeHartCommand0, "HART command 0"};
}

SequenceStep HartCommand3Step(const HartIdentity& identity) {
    const HartBytes frame = HartCommand3Frame(HartPreamblesFor(identity), kPrimaryMaster, identity);
    return {std::string(frame.begin(), frame.end()), kCodeHartCommand3, "HART command 3"};
}

SequenceStep ModbusReadStep(int slave, int start, int count) {
    const ModbusRequest frame = ReadHoldingRegisters(slave, start, count);
    return {std::string(frame.begin(), frame.end()), kCodeModbusTest, "MODBUS read"};
}

SequenceStep HartStep(uint8_t command, const HartIdentity& identity,
                      std::span<const uint8_t> data) {
    const HartBytes frame =
        HartLongFrame(HartPreamblesFor(identity), kPrimaryMaster, identity, command, data);
    return {std::string(frame.begin(), frame.end()), HartCommandCode(command),
            "HART command " + std::to_string(command)};
}

std::string StepWarning(const SequenceStep& step, const std::string& reply) {
    const ReplyVerdict v = JudgeReply(step.code, step.frame, reply);
    if (v.state != VerdictState::Valid || v.hartResponse.value_or(0) == 0 || v.notes.empty())
        return {};
    return v.notes.front();
}
