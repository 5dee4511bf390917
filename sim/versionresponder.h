// Answers the communication query "QQQ#QV#" with the module's version text.
#pragma once

#include "sim/modulesettings.h"
#include "sim/responder.h"

class VersionResponder : public Responder {
public:
    explicit VersionResponder(const ModuleSettings& settings) : settings_(settings) {}
    std::optional<Bytes> Answer(const Bytes& request) override;

private:
    const ModuleSettings& settings_;
};
