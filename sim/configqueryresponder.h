// Answers the configuration queries ("QQQ#QX#", "QQQ#QD#", "QQQ#QQ0#",
// "QQQ#RCAD01#", "QQQ#RCAD02#") from the settings the module keeps, in the
// reply texts a module sends: each group's key followed by its fields.
#pragma once

#include "sim/modulesettings.h"
#include "sim/responder.h"

class ConfigQueryResponder : public Responder {
public:
    explicit ConfigQueryResponder(const ModuleSettings& settings) : settings_(settings) {}
    std::optional<Bytes> Answer(const Bytes& request) override;

private:
    const ModuleSettings& settings_;
};

// The reply texts, for tests that look at them without a request.
std::string SystemParametersReply(const ModuleSettings& settings);
std::string CurrentOutputReply(const ModuleSettings& settings);
std::string ModbusParametersReply(const ModuleSettings& settings);
std::string MonitoringCommandReply(const ModuleSettings& settings, int row);  // row 1 or 2
