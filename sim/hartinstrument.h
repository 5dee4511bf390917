// The HART instrument behind the module in transparent mode: answers
// commands 0, 3 and 6 addressed to it, as a field device would, and stays
// silent for frames with a bad checksum or for another address.
#pragma once

#include "sim/modulesettings.h"
#include "sim/responder.h"

class HartInstrument : public Responder {
public:
    explicit HartInstrument(ModuleSettings& settings) : settings_(settings) {}
    std::optional<Bytes> Answer(const Bytes& request) override;

private:
    ModuleSettings& settings_;
};
