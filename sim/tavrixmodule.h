// The simulated Tavrix module: its settings and the parts that answer
// requests (configuration commands, the HART instrument behind it in
// transparent mode, the MODBUS RTU slave side).
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "sim/modulesettings.h"
#include "sim/responder.h"

class TavrixModule {
public:
    TavrixModule();
    ~TavrixModule();

    // The reply to one request, or nullopt for silence.
    std::optional<Bytes> Answer(const Bytes& request);

    // Direct access for tests and the command line; lock() while the server runs.
    ModuleSettings& settings() { return settings_; }
    std::mutex& mutex() { return mutex_; }
    void AddResponder(std::unique_ptr<Responder> responder);

private:
    std::mutex mutex_;
    ModuleSettings settings_;
    std::vector<std::unique_ptr<Responder>> responders_;
};
