// One simulated module on a pseudo-terminal and the tool's link to it, the
// port open as a sequence finds it: the jobs' tests build on this.
#pragma once

#include "serial/tcomm.h"
#include "session/link.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"

struct SimulatedLine {
    explicit SimulatedLine(SimOptions options = {}) : server(module, options) {
        TestApp();
        comm.CommName = server.Open();
        server.Start();
        comm.SetOutx_XonXoffFlow(false);
        comm.SetInx_XonXoffFlow(false);
        comm.SetReadIntervalTimeout(400);
        comm.OpenPort();
    }
    ~SimulatedLine() {
        comm.ClosePort();
        server.Stop();
    }

    TavrixModule module;
    SimServer server;
    Link link;
    TComm& comm = *link.Comm();
};
