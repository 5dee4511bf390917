#include "serial/makeport.h"

#include "serial/netport.h"
#include "serial/ttyport.h"

Port::Kind PortKindFor(const std::string& name) {
    return IsNetworkPortName(name) ? Port::Kind::Network : Port::Kind::SerialDevice;
}

std::unique_ptr<Port> MakePort(const std::string& name) {
    if (PortKindFor(name) == Port::Kind::Network) return std::make_unique<NetPort>();
    return std::make_unique<TtyPort>();
}
