// tavrix-sim: a simulated Tavrix module (with its HART instrument and MODBUS
// side) on a pseudo-terminal or a serial device. Prints the device path to
// open on its first line of output.
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "sim/simserver.h"
#include "sim/tavrixmodule.h"

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
        "  --delay MS          wait MS before each reply (default 20)\n"
        "  --split-after N     pause after the first N bytes of each reply\n"
        "  --split-pause MS    length of that pause (default 600)\n"
        "  --trace             print every request and reply in hex on stderr\n"
        "  --ignore-set PREFIX acknowledge the set command starting with PREFIX\n"
        "                      (e.g. QQS#XY1:) but keep the old setting\n"
        "  --refuse-set PREFIX answer the set command starting with PREFIX with the\n"
        "                      module's error acknowledgement (...:ERR#)\n"
        "  --stop-after N      answer N requests, then stay silent\n"
        "  --random-delay MS   add up to MS more delay to each reply, at random\n"
        "  --split-percent P   pause inside P% of replies, at a random byte, for up\n"
        "                      to the split pause\n"
        "  --drop-percent P    leave P% of the requests unanswered\n"
        "  --seed N            seed of those random choices (default 1)\n"
        "The HART instrument behind the module:\n"
        "  --hart-address N    polling address, 0..63 (default 0)\n"
        "  --hart-revision N   HART revision of its command 0 reply: 5, 6 or 7 (default 5)\n"
        "  --hart-manufacturer N  manufacturer code, 0..255 (default 90)\n"
        "  --hart-variables N  variables in its command 3 reply, 0..4 (default 4)\n"
        "Making the MODBUS side disagree with the instrument (V = variable 1..4):\n"
        "  --modbus-order V:O  serve variable V in byte order O, 0..3, whatever is set\n"
        "  --modbus-value V:X  serve the number X as variable V\n"
        "  --help              show this help\n",
        out);
}

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

}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    options.splitPauseMs = 600;
    std::string link;
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
        } else if (arg == "--link" && hasValue) {
            link = argv[++i];
        } else if (arg == "--delay" && hasValue) {
            options.replyDelayMs = IntArg("--delay", argv[++i]);
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
        } else if (arg == "--random-delay" && hasValue) {
            options.randomDelayMs = IntArg("--random-delay", argv[++i]);
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
        } else if (arg == "--modbus-order" && hasValue) {
            const auto [v, order] = VariableArg("--modbus-order", argv[++i]);
            module.settings().modbusOrderFault[v] = IntArg("--modbus-order", order.c_str(), 0, 3);
        } else if (arg == "--modbus-value" && hasValue) {
            const auto [v, number] = VariableArg("--modbus-value", argv[++i]);
            module.settings().modbusValueFault[v] = FloatArg("--modbus-value", number);
        } else {
            std::fprintf(stderr, "tavrix-sim: unknown option '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
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
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(path.c_str(), link.c_str()) != 0) {
            std::perror("tavrix-sim: symlink");
            return 1;
        }
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    server.Run();
    return 0;
}
