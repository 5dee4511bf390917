// tavrix-sim: a simulated Tavrix module (with its HART instrument and MODBUS
// side) on a pseudo-terminal or a serial device. Prints the device path to
// open on its first line of output.
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"
#include "sim/uart.h"

#ifndef TAVRIX_VERSION
#define TAVRIX_VERSION "?"
#endif

namespace {

void Usage(FILE* out) {
    std::fputs(
        "Usage: tavrix-sim [options]\n"
        "Simulates a Tavrix module on a new pseudo-terminal (or DEVICE) and prints\n"
        "the device path for the configurator on the first line.\n\n"
        "  --device DEVICE     serve DEVICE (e.g. a null-modem port) instead of a pty\n"
        "  --baud RATE         line speed of DEVICE: 1200..38400 (default: as the port is)\n"
        "  --link PATH         also make PATH a symbolic link to the device\n"
        "  --rs485 BAUD:PARITY start the module at these RS485 settings (BAUD 1200..38400,\n"
        "                      PARITY N, O or E; e.g. 19200:E) and hold the line to them:\n"
        "                      DEVICE is set to them; on a pty a request at another speed\n"
        "                      gets the reply as that speed reads it, one at another\n"
        "                      parity none (odd parity shows there, even looks like none)\n"
        "  --request-gap MS    line silence that ends a request the module cannot tell\n"
        "                      complete by its own bytes (default 20)\n"
        "  --silence-framing   end every request at that silence only, never where a\n"
        "                      frame's own bytes say it is complete\n"
        "  --answer-time MS    the module answers MS after the end of a request\n"
        "                      (default 20)\n"
        "  --delay MS          the same as --answer-time\n"
        "  --split-after N     pause after the first N bytes of each reply\n"
        "  --split-pause MS    length of that pause (default 600)\n"
        "  --trace             print every request and reply in hex on stderr, and\n"
        "                      what the line did to them\n"
        "  --ignore-set PREFIX acknowledge the set command starting with PREFIX\n"
        "                      (e.g. QQS#XY1:) but keep the old setting\n"
        "  --refuse-set PREFIX answer the set command starting with PREFIX with the\n"
        "                      module's error acknowledgement (...:ERR#)\n"
        "  --stop-after N      answer N requests, then stay silent\n"
        "  --hang-up-after N   answer N requests, then close the line when the next\n"
        "                      comes (the adapter unplugged); that request reaches nobody\n"
        "  --replug-after MS   MS after hanging up, serve a new pty (and point --link\n"
        "                      at it) with the module as it was left; its path is\n"
        "                      printed on a new line\n"
        "  --drop-request N    the module takes request N (counted from 1) but its\n"
        "                      reply is lost\n"
        "  --jitter MS         add up to MS more to each answer time, at random\n"
        "  --random-delay MS   the same as --jitter\n"
        "  --split-percent P   pause inside P% of replies, at a random byte, for up\n"
        "                      to the split pause\n"
        "  --drop-percent P    leave P% of the requests unanswered\n"
        "  --seed N            seed of those random choices and of the line's noise\n"
        "                      (default 1)\n"
        "The line between the tool and the module (all off by default):\n"
        "  --latency MS        the adapter's latency timer: bytes for the tool go up\n"
        "                      in chunks at ticks every MS (an FTDI adapter: 16)\n"
        "  --echo              the adapter echoes every byte the tool sends, before\n"
        "                      the reply (half duplex without echo suppression)\n"
        "  --half-duplex       one pair both ways: bytes take their time at the\n"
        "                      module's RS485 speed, and a byte sent during the reply\n"
        "                      collides with it, corrupting both; a HART frame also\n"
        "                      takes its time on the instrument's 1200 baud loop\n"
        "  --lose-replies PCT  lose each reply byte with chance PCT% (e.g. 0.5)\n"
        "  --lose-requests PCT lose each request byte with chance PCT%\n"
        "  --flip-replies PCT  flip one random bit in PCT% of the replies\n"
        "  --flip-requests PCT flip one random bit in PCT% of the requests\n"
        "More modules on the line, answering MODBUS reads only:\n"
        "  --modules N         N modules, 1..8, at slave addresses 1..N (default 1)\n"
        "  --slave-addresses A,B,...  their slave addresses, 1..247, distinct; the\n"
        "                      first is the module that takes configuration commands\n"
        "The HART instrument behind the (first) module:\n"
        "  --hart-address N    polling address, 0..63 (default 0)\n"
        "  --hart-revision N   HART revision of its command 0 reply: 5, 6 or 7 (default 5)\n"
        "  --hart-manufacturer N  manufacturer code, 0..255 (default 90)\n"
        "  --hart-variables N  variables in its command 3 reply, 0..4 (default 4)\n"
        "  --hart-write-protect  refuse writes (commands 17, 18, 34, 35, 44, 45, 46)\n"
        "                      with response code 7\n"
        "  --hart-status BITS  set BITS (0..255, e.g. 0x81) in every reply's device status\n"
        "  --hart-respond CMD:CODE  answer command CMD with response code CODE (1..255)\n"
        "                      and no data; a warning code comes with the command\n"
        "                      carried out\n"
        "  --hart-nan-variable N  variable N (0..3) reads not available in commands 1 and 3\n"
        "  --hart-preambles N  preambles it sends and asks for, 2..20 (default 5)\n"
        "Making the MODBUS side disagree with the instrument (V = variable 1..4):\n"
        "  --modbus-order V:O  serve variable V in byte order O, 0..3, whatever is set\n"
        "  --modbus-value V:X  serve the number X as variable V\n"
        "  --modbus-extra FIRST-LAST  holding register addresses FIRST..LAST (above\n"
        "                      9, up to 65535) answer with their own address\n"
        "  --current-offset MA[@POINT]  while the instrument's loop current is fixed,\n"
        "                      register 40003 serves it; this many mA more (default 0),\n"
        "                      or only while it is fixed at POINT mA\n"
        "  --version           print the program's version\n"
        "  --help              show this help\n",
        out);
}

constexpr size_t kMaxModules = 8;

int IntArg(const char* name, const char* value, long low = 0, long high = 1000000) {
    char* end = nullptr;
    const long v = std::strtol(value, &end, 10);
    if (!*value || *end || v < low || v > high) {
        std::fprintf(stderr, "tavrix-sim: %s needs a number from %ld to %ld, got '%s'\n", name, low,
                     high, value);
        std::exit(2);
    }
    return static_cast<int>(v);
}

// The speeds the module offers on its configuration port.
unsigned BaudSpeed(const char* value) {
    static const struct {
        const char* text;
        speed_t speed;
    } kSpeeds[] = {{"1200", B1200}, {"2400", B2400},   {"4800", B4800},
                   {"9600", B9600}, {"19200", B19200}, {"38400", B38400}};
    for (const auto& s : kSpeeds) {
        if (std::strcmp(s.text, value) == 0) return s.speed;
    }
    std::fprintf(stderr,
                 "tavrix-sim: --baud takes 1200, 2400, 4800, 9600, 19200 or 38400, got '%s'\n",
                 value);
    std::exit(2);
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "tavrix-sim: %s\n", message.c_str());
    std::exit(2);
}

// "BAUD:PARITY" of --rs485, as the module's setting indices.
std::pair<int, int> Rs485Arg(const std::string& value) {
    const size_t colon = value.find(':');
    const std::string baud = value.substr(0, colon);
    const std::string parity = colon == std::string::npos ? "" : value.substr(colon + 1);
    const char* kParities = "NOE";  // in the order of the module's parity setting
    char* end = nullptr;
    const long speed = std::strtol(baud.c_str(), &end, 10);
    const auto index = !baud.empty() && *end == '\0' && speed > 0 && speed < 1000000
                           ? Rs485BaudIndex(static_cast<int>(speed))
                           : std::nullopt;
    if (!index || parity.size() != 1 || !std::strchr(kParities, parity[0])) {
        Fail(
            "--rs485 takes BAUD:PARITY, BAUD 1200, 2400, 4800, 9600, 19200 or 38400 and "
            "PARITY N, O or E (e.g. 19200:E), got '" +
            value + "'");
    }
    return {*index, static_cast<int>(std::strchr(kParities, parity[0]) - kParities)};
}

// "A,B,C" of --slave-addresses: distinct MODBUS slave addresses.
std::vector<int> AddressesArg(const std::string& value) {
    std::vector<int> addresses;
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        const std::string item = value.substr(start, comma - start);
        const int address = IntArg("--slave-addresses", item.c_str(), 1, 247);
        if (std::find(addresses.begin(), addresses.end(), address) != addresses.end()) {
            Fail("--slave-addresses gives " + item + " twice");
        }
        addresses.push_back(address);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (addresses.size() > kMaxModules) {
        Fail("--slave-addresses takes at most " + std::to_string(kMaxModules) + " addresses");
    }
    return addresses;
}

// "V:rest" of the MODBUS fault options: the variable index 0..3 and the rest.
std::pair<size_t, std::string> VariableArg(const char* name, const std::string& value) {
    const size_t colon = value.find(':');
    if (colon == std::string::npos) {
        std::fprintf(stderr, "tavrix-sim: %s takes V:VALUE, got '%s'\n", name, value.c_str());
        std::exit(2);
    }
    const int variable = IntArg(name, value.substr(0, colon).c_str(), 1, 4);
    return {static_cast<size_t>(variable - 1), value.substr(colon + 1)};
}

float FloatArg(const char* name, const std::string& value) {
    char* end = nullptr;
    const float v = std::strtof(value.c_str(), &end);
    if (value.empty() || *end) {
        std::fprintf(stderr, "tavrix-sim: %s needs a number, got '%s'\n", name, value.c_str());
        std::exit(2);
    }
    return v;
}

// A chance in percent, 0..100, fractions allowed.
double PercentArg(const char* name, const char* value) {
    char* end = nullptr;
    const double v = std::strtod(value, &end);
    if (!*value || *end || !(v >= 0 && v <= 100)) {
        std::fprintf(stderr, "tavrix-sim: %s needs a percentage from 0 to 100, got '%s'\n", name,
                     value);
        std::exit(2);
    }
    return v;
}

// A status byte: 0..255, decimal or with 0x.
int BitsArg(const char* name, const char* value) {
    char* end = nullptr;
    const long v = std::strtol(value, &end, 0);
    if (!*value || *end || v < 0 || v > 255) {
        std::fprintf(stderr, "tavrix-sim: %s needs a byte 0..255 (or 0x00..0xFF), got '%s'\n", name,
                     value);
        std::exit(2);
    }
    return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    options.splitPauseMs = 600;
    std::string link;
    int replugMs = -1;  // -1: stay unplugged
    bool baudGiven = false;
    int moduleCount = 0;  // 0: not given
    std::vector<int> addresses;
    TavrixModule module;
    ModuleSettings::HartInstrumentSettings& hart = module.settings().hart;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("tavrix-sim %s\n", TAVRIX_VERSION);
            return 0;
        } else if (arg == "--device" && hasValue) {
            options.device = argv[++i];
        } else if (arg == "--baud" && hasValue) {
            options.speed = BaudSpeed(argv[++i]);
            baudGiven = true;
        } else if (arg == "--rs485" && hasValue) {
            const auto [baud, parity] = Rs485Arg(argv[++i]);
            module.settings().rs485Baud = baud;
            module.settings().rs485Parity = parity;
            options.rs485Line = true;
        } else if (arg == "--request-gap" && hasValue) {
            options.requestGapMs = IntArg("--request-gap", argv[++i], 1, 10000);
        } else if (arg == "--modules" && hasValue) {
            moduleCount = IntArg("--modules", argv[++i], 1, static_cast<int>(kMaxModules));
        } else if (arg == "--slave-addresses" && hasValue) {
            addresses = AddressesArg(argv[++i]);
        } else if (arg == "--link" && hasValue) {
            link = argv[++i];
        } else if ((arg == "--answer-time" || arg == "--delay") && hasValue) {
            options.replyDelayMs = IntArg(arg.c_str(), argv[++i]);
        } else if (arg == "--silence-framing") {
            options.silenceFramingOnly = true;
        } else if (arg == "--latency" && hasValue) {
            options.latencyMs = IntArg("--latency", argv[++i], 0, 1000);
        } else if (arg == "--echo") {
            options.echo = true;
        } else if (arg == "--half-duplex") {
            options.halfDuplex = true;
        } else if (arg == "--lose-replies" && hasValue) {
            options.loseReplies = PercentArg("--lose-replies", argv[++i]);
        } else if (arg == "--lose-requests" && hasValue) {
            options.loseRequests = PercentArg("--lose-requests", argv[++i]);
        } else if (arg == "--flip-replies" && hasValue) {
            options.flipReplies = PercentArg("--flip-replies", argv[++i]);
        } else if (arg == "--flip-requests" && hasValue) {
            options.flipRequests = PercentArg("--flip-requests", argv[++i]);
        } else if (arg == "--split-after" && hasValue) {
            options.splitAfter = IntArg("--split-after", argv[++i]);
        } else if (arg == "--split-pause" && hasValue) {
            options.splitPauseMs = IntArg("--split-pause", argv[++i]);
        } else if (arg == "--ignore-set" && hasValue) {
            module.settings().ignoredSetCommand = argv[++i];
        } else if (arg == "--refuse-set" && hasValue) {
            module.settings().refusedSetCommand = argv[++i];
        } else if (arg == "--stop-after" && hasValue) {
            options.stopAfter = IntArg("--stop-after", argv[++i], 1);
        } else if (arg == "--hang-up-after" && hasValue) {
            options.hangUpAfter = IntArg("--hang-up-after", argv[++i], 1);
        } else if (arg == "--replug-after" && hasValue) {
            replugMs = IntArg("--replug-after", argv[++i], 0, 600000);
        } else if (arg == "--drop-request" && hasValue) {
            options.dropRequest = IntArg("--drop-request", argv[++i], 1);
        } else if ((arg == "--jitter" || arg == "--random-delay") && hasValue) {
            options.randomDelayMs = IntArg(arg.c_str(), argv[++i]);
        } else if (arg == "--split-percent" && hasValue) {
            options.splitPercent = IntArg("--split-percent", argv[++i], 0, 100);
        } else if (arg == "--drop-percent" && hasValue) {
            options.dropPercent = IntArg("--drop-percent", argv[++i], 0, 100);
        } else if (arg == "--seed" && hasValue) {
            options.seed = static_cast<unsigned>(IntArg("--seed", argv[++i]));
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--hart-address" && hasValue) {
            hart.pollingAddress = IntArg("--hart-address", argv[++i], 0, 63);
        } else if (arg == "--hart-revision" && hasValue) {
            hart.revision = IntArg("--hart-revision", argv[++i], 5, 7);
        } else if (arg == "--hart-manufacturer" && hasValue) {
            hart.manufacturer =
                static_cast<uint8_t>(IntArg("--hart-manufacturer", argv[++i], 0, 255));
        } else if (arg == "--hart-variables" && hasValue) {
            hart.variableCount = IntArg("--hart-variables", argv[++i], 0, 4);
        } else if (arg == "--hart-write-protect") {
            hart.writeProtect = true;
        } else if (arg == "--hart-status" && hasValue) {
            hart.deviceStatus = static_cast<uint8_t>(BitsArg("--hart-status", argv[++i]));
        } else if (arg == "--hart-nan-variable" && hasValue) {
            hart.nanVariable = IntArg("--hart-nan-variable", argv[++i], 0, 3);
        } else if (arg == "--hart-preambles" && hasValue) {
            hart.replyPreambles = IntArg("--hart-preambles", argv[++i], 2, 20);
            hart.preamblesRequested = static_cast<uint8_t>(hart.replyPreambles);
        } else if (arg == "--hart-respond" && hasValue) {
            const std::string value = argv[++i];
            const size_t colon = value.find(':');
            if (colon == std::string::npos)
                Fail("--hart-respond takes CMD:CODE, got '" + value + "'");
            const int command = IntArg("--hart-respond", value.substr(0, colon).c_str(), 0, 255);
            const int code = IntArg("--hart-respond", value.substr(colon + 1).c_str(), 1, 255);
            hart.forcedResponse = std::pair{command, static_cast<uint8_t>(code)};
        } else if (arg == "--current-offset" && hasValue) {
            const std::string value = argv[++i];
            const size_t at = value.find('@');
            module.settings().currentOffset = FloatArg("--current-offset", value.substr(0, at));
            if (at != std::string::npos)
                module.settings().currentOffsetAt =
                    FloatArg("--current-offset", value.substr(at + 1));
        } else if (arg == "--modbus-order" && hasValue) {
            const auto [v, order] = VariableArg("--modbus-order", argv[++i]);
            module.settings().modbusOrderFault[v] = IntArg("--modbus-order", order.c_str(), 0, 3);
        } else if (arg == "--modbus-extra" && hasValue) {
            const std::string value = argv[++i];
            const size_t dash = value.find('-');
            if (dash == std::string::npos) Fail("--modbus-extra takes FIRST-LAST, got '" + value + "'");
            const int first = IntArg("--modbus-extra", value.substr(0, dash).c_str(), 10, 65535);
            const int last = IntArg("--modbus-extra", value.substr(dash + 1).c_str(), first, 65535);
            module.settings().extraRegisters = {first, last};
        } else if (arg == "--modbus-value" && hasValue) {
            const auto [v, number] = VariableArg("--modbus-value", argv[++i]);
            module.settings().modbusValueFault[v] = FloatArg("--modbus-value", number);
        } else {
            std::fprintf(stderr, "tavrix-sim: unknown option '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (baudGiven && options.rs485Line) {
        Fail("--baud and --rs485 both set the line speed: give one of them");
    }
    if (moduleCount > 0 && !addresses.empty() &&
        addresses.size() != static_cast<size_t>(moduleCount)) {
        Fail("--modules " + std::to_string(moduleCount) + " and the " +
             std::to_string(addresses.size()) + " addresses of --slave-addresses do not agree");
    }
    if (addresses.empty()) {
        for (int a = 1; a <= moduleCount; ++a) addresses.push_back(a);
    }
    if (!addresses.empty()) {
        char first[4];
        std::snprintf(first, sizeof first, "%03d", addresses.front());
        module.settings().slaveAddress = first;
        module.settings().otherModules.assign(addresses.begin() + 1, addresses.end());
    }
    std::signal(SIGPIPE, SIG_IGN);

    SimServer server(module, options);
    std::string path;
    try {
        path = server.Open();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tavrix-sim: %s\n", error.what());
        return 1;
    }
    for (;;) {
        if (!link.empty()) {
            // A new link beside the old one, renamed over it: a tool that
            // opens the link finds one device or the other, never none.
            const std::string next = link + ".new";
            unlink(next.c_str());
            if (symlink(path.c_str(), next.c_str()) != 0 || rename(next.c_str(), link.c_str()) != 0) {
                std::perror("tavrix-sim: symlink");
                return 1;
            }
        }
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
        server.Run();
        if (!server.unplugged()) return 0;
        std::fprintf(stderr, "tavrix-sim: hung up after %d requests\n", options.hangUpAfter);
        if (replugMs < 0) {
            pause();  // unplugged until ended, as an adapter left out
            return 0;
        }
        usleep(static_cast<useconds_t>(replugMs) * 1000);
        try {
            path = server.Reopen();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "tavrix-sim: %s\n", error.what());
            return 1;
        }
    }
}
