// The HART instrument behind the module in transparent mode: answers
// the universal and common practice commands 0, 1, 2, 3, 6, 12, 13, 15, 17,
// 18, 34, 35, 38, 40, 41, 42, 44, 45, 46 and 48
// addressed to it, as a field device would, keeping what is written, and
// stays silent for frames with a bad checksum or for another address.
#pragma once

#include "sim/modulesettings.h"
#include "sim/responder.h"

// The current the instrument drives into the loop: what it is commanded to
// (the fixed current, else its loop current) through its output stage's
// zero and gain errors. A meter in the loop, and the module, read this.
float HartLoopCurrent(const ModuleSettings::HartInstrumentSettings& hart);

class HartInstrument : public Responder {
public:
    explicit HartInstrument(ModuleSettings& settings) : settings_(settings) {}
    std::optional<Bytes> Answer(const Bytes& request) override;

private:
    ModuleSettings& settings_;
};
