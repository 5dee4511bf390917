#include "exchange/silenceadvice.h"

#include <algorithm>

namespace {

std::string Duration(int64_t ms) {
    const int64_t seconds = std::max<int64_t>(ms, 0) / 1000;
    if (seconds < 60) return std::to_string(seconds) + " s";
    if (seconds < 3600)
        return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(seconds / 3600) + " h " + std::to_string(seconds / 60 % 60) + " min";
}

}  // namespace

std::string AgeText(int64_t ms) { return Duration(ms) + " old"; }

std::string AgoText(int64_t ms) { return Duration(ms) + " ago"; }

std::string TimeoutAdvice(Protocol protocol, std::optional<std::chrono::milliseconds> sinceReply) {
    // Nothing answered yet: the module itself is in doubt. A HART request
    // may have found it fine and only the instrument silent, so the module
    // is to be asked on its own first.
    if (!sinceReply && protocol == Protocol::Hart)
        return "The module has not answered since the port was opened: check first that it "
               "answers its own queries (port, speed and parity, cable, power); if it does, the "
               "silence is the instrument's: check its loop wiring, supply and polling address.";
    if (!sinceReply)
        return "The module has not answered since the port was opened: check that this is its "
               "port, its speed and parity (Tools > Find Module searches them), the cable and "
               "the module's power, then try again.";
    // It answered on this line a moment ago, so the port, the cable and the
    // line settings are right: the next step lies past what answered.
    const std::string answered = "The module answered " + AgoText(sinceReply->count());
    switch (protocol) {
        case Protocol::Hart:
            return answered +
                   ", so the silence is the instrument's: check its loop wiring, its supply and the loop "
                   "resistor (250 ohm), its polling address and the preambles, then try "
                   "again.";
        case Protocol::Modbus:
            return answered +
                   ", so the line works: check the slave address and the module's MODBUS "
                   "speed and parity, then try again.";
        case Protocol::Config: break;
    }
    return answered +
           ", so the line works: try again; if it stays silent, check the cable and the "
           "module's power.";
}

std::string HangupAdvice(bool network) {
    if (network)
        return "Check that the serial server is running and reachable, then press Open. The "
               "values shown are from before the connection closed.";
    return "Plug the adapter back in, choose its port and press Open. The values shown are "
           "from before it went.";
}
