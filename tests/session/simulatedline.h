// One simulated module on a pseudo-terminal and the tool's link to it, the
// port open as a sequence finds it: the jobs' tests build on this.
#pragma once

#include "session/link.h"
#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "tests/serial/eventpump.h"

struct SimulatedLine {
    explicit SimulatedLine(SimOptions options = {}) : server(module, options) {
        TestApp();
        const std::string path = server.Open();
        server.Start();
        link.Open({.name = path});
    }
    ~SimulatedLine() {
        link.Close();
        server.Stop();
    }

    TavrixModule module;
    SimServer server;
    Link link;
};
