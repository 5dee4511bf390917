// The serial devices present on this machine, from Qt Serial Port's port
// information (only the information: TComm keeps the line itself).
#pragma once

#include <vector>

#include "serial/portlist.h"

std::vector<TPortInfo> DiscoverSerialPorts();
