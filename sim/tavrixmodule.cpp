#include "sim/tavrixmodule.h"

#include "sim/configqueryresponder.h"
#include "sim/configsetresponder.h"
#include "sim/hartinstrument.h"
#include "sim/modbusslave.h"
#include "sim/versionresponder.h"

TavrixModule::TavrixModule() {
    // Order matters only where two parts could claim the same bytes.
    AddResponder(std::make_unique<VersionResponder>(settings_));
    AddResponder(std::make_unique<ConfigQueryResponder>(settings_));
    AddResponder(std::make_unique<HartInstrument>(settings_));
    AddResponder(std::make_unique<ModbusSlave>(settings_));
    AddResponder(std::make_unique<ConfigSetResponder>(settings_));
}

TavrixModule::~TavrixModule() = default;

void TavrixModule::AddResponder(std::unique_ptr<Responder> responder) {
    responders_.push_back(std::move(responder));
}

std::optional<Bytes> TavrixModule::Answer(const Bytes& request) {
    std::lock_guard lock(mutex_);
    for (auto& responder : responders_) {
        if (auto reply = responder->Answer(request)) return reply;
    }
    return std::nullopt;
}
