// One part of the simulated device that may answer a request.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

using Bytes = std::vector<uint8_t>;

class Responder {
public:
    virtual ~Responder() = default;
    // The reply to `request`, or nullopt when this part does not answer it
    // (another part may; if none does, the device stays silent).
    virtual std::optional<Bytes> Answer(const Bytes& request) = 0;
};
