// The module's side of the configuration set commands: each one updates the
// settings and is acknowledged with a short text, the command's key followed
// by "OK#" ("QQS#MD:OK#", "QQS#RESET:OK#", "QQKORV#DA2:OK#"), or by "ERR#"
// when its fields do not parse (the settings then stay as they were).
// Queries are not answered here.
#pragma once

#include "sim/modulesettings.h"
#include "sim/responder.h"

class ConfigSetResponder : public Responder {
public:
    explicit ConfigSetResponder(ModuleSettings& settings) : settings_(settings) {}
    std::optional<Bytes> Answer(const Bytes& request) override;

private:
    ModuleSettings& settings_;
};
