// The simulated module, built from its own sources: a profile is read from
// it and applied to it in-process, and these tests link the profile library
// only, which knows nothing of the simulator.
#include "sim/configqueryresponder.cpp"
#include "sim/configsetresponder.cpp"
#include "sim/hartinstrument.cpp"
#include "sim/modbusslave.cpp"
#include "sim/tavrixmodule.cpp"
#include "sim/versionresponder.cpp"
