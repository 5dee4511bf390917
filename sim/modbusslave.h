// The module's RS485 side as a MODBUS RTU slave: function 03 (Read Holding
// Registers) over registers 40001-40010. 40001 is the status word (0: the
// instrument answers), 40002 the slave address, 40003-40010 the four
// variables as IEEE 754 floats, two registers each, in the byte order set
// for each of them and scaled by the coefficients set. It also plays the
// other modules on the line (ModuleSettings::otherModules), each answering
// at its own address with that address in 40002.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/modulesettings.h"
#include "sim/responder.h"

class ModbusSlave : public Responder {
public:
    static constexpr int kRegisterCount = 10;

    explicit ModbusSlave(const ModuleSettings& settings) : settings_(settings) {}
    // Answers only 8-byte requests with a valid CRC for the address of a
    // module on the line; configuration commands and HART frames are left
    // to the other parts.
    std::optional<Bytes> Answer(const Bytes& request) override;

    // Holding register `offset` (0 = 40001) as the module at `address` holds it.
    uint16_t Register(int offset, uint8_t address) const;

private:
    // Variable 0..3 as served: the process variable times its coefficient.
    float VariableValue(size_t variable) const;

    const ModuleSettings& settings_;
};
