// The kind of port a name asks for: a serial device server's network name
// (rfc2217://HOST:PORT, socket://HOST:PORT) or else a serial device.
#pragma once

#include <memory>
#include <string>

#include "serial/port.h"

Port::Kind PortKindFor(const std::string& name);
std::unique_ptr<Port> MakePort(const std::string& name);
