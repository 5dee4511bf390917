// Whoever the link hands received blocks to: the window's request pattern
// (session/windowrequest.h) or the run engine (session/requestrunner.h). The
// link routes each block to the one active client, or to nobody.
#pragma once

#include <cstdint>

class LineClient {
public:
    virtual ~LineClient() = default;
    // A block the line delivered while this client holds it.
    virtual void Block(const uint8_t* data, uint16_t length) = 0;
    // The echo of the frame just written came back changed: the line was busy
    // or noisy while it went out (session/link.h, echo On).
    virtual void EchoDiffers(const char* /*why*/) {}
    // Another client took the line: what this one awaited is given up.
    virtual void LineTaken() {}
    // The read interval the line delivers blocks after while this client holds it.
    virtual uint32_t ReadInterval() const = 0;
    // Still waits for a reply or its handling: a run started now would cut it off.
    virtual bool Awaiting() const { return false; }
};
