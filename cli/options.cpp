#include "cli/options.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "exchange/hartcommission.h"
#include "exchange/loopcheck.h"
#include "exchange/scanplan.h"
#include "protocol/strtoint.h"

#ifndef TAVRIX_VERSION
#define TAVRIX_VERSION "?"
#endif

const char* const kUsageText =
    "Usage: tavrix-cli --port DEV [--port DEV ...] [--baud N] [--parity none|odd|even]\n"
    "                  [--answer-time MS] [--hart-address N] [--json] [--no-journal]\n"
    "                  [--echo auto|on|off] [--quiet]\n"
    "                  [--rs485 [--rts-delay-before MS] [--rts-delay-after MS]] COMMAND\n"
    "Commands:\n"
    "  version                      the module's version text\n"
    "  read                         the module's settings as a profile (JSON)\n"
    "  apply FILE [--verify] [--retries N] [--backup FILE] [--certificate DIR]\n"
    "             [--loop-check [--points ...] [--tolerance MA]]\n"
    "                               send a profile's settings, the module read first\n"
    "                               and kept; several --port (or a pattern such as\n"
    "                               '/dev/serial/by-id/*') commission every module at once;\n"
    "                               --loop-check adds a loop check to each certificate\n"
    "  hart identity                command 0 of the HART instrument\n"
    "  hart variables               command 3: the loop current and the dynamic variables\n"
    "  hart loop-check [--points 4,12,20] [--tolerance MA]\n"
    "                               hold the loop current at each point (command 40),\n"
    "                               read it back through HART (commands 2 and 3) and\n"
    "                               MODBUS (register 40003, the module's byte order and\n"
    "                               coefficient), pass within MA (default 0.05); fixed\n"
    "                               current mode is always left at the end\n"
    "  hart damping SECONDS         write the damping (command 34), read back by 15\n"
    "  hart units CODE              write the primary variable's unit by its HART code\n"
    "                               (command 44, e.g. 7 bar, 12 kPa), read back by 15\n"
    "  hart reset-changed           reset the configuration changed flag (command 38,\n"
    "                               with the change counter command 0 reports), read\n"
    "                               back by command 0\n"
    "  hart self-test               command 41, then the additional status (command 48)\n"
    "  hart reset                   device reset (command 42)\n"
    "  hart trim [--reference-4 MA] [--reference-20 MA]\n"
    "                               trim the loop current: held at 4 mA (command 40),\n"
    "                               the reference meter's reading sent by command 45,\n"
    "                               held at 20 mA, its reading by 46; a reading not given\n"
    "                               is asked for on the terminal, the module's MODBUS\n"
    "                               reading (register 40003) offered as a suggestion;\n"
    "                               fixed current mode is always left at the end\n"
    "  modbus read SLAVE START COUNT  holding registers through the module\n"
    "  scan line                    find the module's line settings: every baud rate\n"
    "                               with none, even and odd parity, 9600 none first\n"
    "  scan bus [--range A-B] [--retries N]\n"
    "                               find the MODBUS slaves (default 1-247)\n"
    "  scan hart [--range A-B]      find HART instruments by polling address (default\n"
    "                               0-15; up to 63 for HART 6 and 7)\n"
    "DEV is a serial device (COM1..COM9, a path) or a serial device server on the\n"
    "network: rfc2217://HOST:PORT (RFC 2217: the tool sets its line) or\n"
    "socket://HOST:PORT (raw TCP: the line is the server's own and cannot change).\n"
    "--rs485 turns on the kernel's RS-485 mode of a UART whose driver switches the\n"
    "transceiver (RTS raised while sending, the delays in ms around it); a USB-RS485\n"
    "adapter needs none.\n"
    "--echo: many USB-RS485 adapters hear what they send. auto (the default) finds\n"
    "such an echo (received bytes beginning with exactly the frame just sent), says so\n"
    "once and takes it off every reply; on expects it, and an echo that differs from\n"
    "the frame (the line busy or noisy while sending) has the exchange asked again as\n"
    "--retries allow; off takes nothing off. It holds for every port.\n"
    "Each exchange ends once its reply is complete by its frame; no frame goes out\n"
    "before the last reply has ended and 3.5 characters of silence followed, or\n"
    "before that reply can no longer come. --answer-time is the module's longest\n"
    "time to answer as seen from the tool, the adapter's latency included; by default\n"
    "500 ms for configuration frames and HART (its 1200 baud leg counted apart),\n"
    "100 ms for MODBUS, and a scan's own: 70 ms for the line, 50 ms on the bus, 60 ms\n"
    "for HART.\n"
    "A scan asks a candidate whose reply came garbled again (--retries, default 2).\n"
    "Every frame sent and block received is written as it happens to a traffic journal,\n"
    "$XDG_STATE_HOME/tavrix/traffic-DATE-PORT.txt (~/.local/state/tavrix by default;\n"
    "the oldest files go past 50 MiB); --no-journal writes none.\n"
    "On a terminal, long work shows its progress on one line of stderr; --quiet hides it.\n"
    "Exit status: 0 success, 1 no answer, a wrong or incomplete reply or a verification\n"
    "mismatch (a scan: nothing found), 2 bad usage or file, 3 a port could not be opened,\n"
    "4 a scan found something but candidates stayed garbled: line noise may have hidden more,\n"
    "5 verified and certified, but the certificate's cross-check or loop check did not pass.\n";

[[noreturn]] void Fail(int status, const std::string& line) {
    std::fprintf(stderr, "tavrix-cli: %s\n", line.c_str());
    std::exit(status);
}

int Number(const std::string& text, int low, int high, const char* what) {
    const auto v = TryStrToInt(text);
    if (!v || *v < low || *v > high) {
        Fail(kUsage, std::string(what) + " must be a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return *v;
}

const char* ParityName(int parity) {
    static const char* const kNames[] = {"none", "odd", "even"};
    return parity >= 0 && parity < 3 ? kNames[parity] : "none";
}

namespace {

// A port as given, or every device its wildcard pattern names, sorted.
std::vector<std::string> ExpandPort(const QString& port) {
    // A network port's name is never a pattern (an IPv6 host has brackets).
    if (port.contains("://") || (!port.contains('*') && !port.contains('?') && !port.contains('[')))
        return {port.toStdString()};
    const QFileInfo pattern(port);
    const QDir dir = pattern.dir();
    std::vector<std::string> found;
    for (const QFileInfo& f : dir.entryInfoList(
             {pattern.fileName()}, QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name))
        found.push_back(f.absoluteFilePath().toStdString());
    if (found.empty()) Fail(kUsage, "--port " + port.toStdString() + ": no device matches");
    return found;
}

// The command's words make a known command with its arguments.
void CheckCommand(const Options& o) {
    const auto& w = o.words;
    if (w.empty()) Fail(kUsage, "no command given (see --help)");
    const std::string what =
        w[0] + (w.size() > 1 && (w[0] == "hart" || w[0] == "modbus" || w[0] == "scan")
                    ? " " + w[1]
                    : "");
    const bool known =
        (what == "version" && w.size() == 1) || (what == "read" && w.size() == 1) ||
        (what == "apply" && w.size() == 2) || (what == "hart identity" && w.size() == 2) ||
        (what == "hart variables" && w.size() == 2) ||
        (what == "hart loop-check" && w.size() == 2) || (what == "modbus read" && w.size() == 5) ||
        ((what == "hart damping" || what == "hart units") && w.size() == 3) ||
        ((what == "hart reset-changed" || what == "hart self-test" || what == "hart reset" ||
          what == "hart trim") &&
         w.size() == 2) ||
        ((what == "scan line" || what == "scan bus" || what == "scan hart") && w.size() == 2);
    if (!known) {
        std::string all;
        for (const auto& word : w) all += (all.empty() ? "" : " ") + word;
        Fail(kUsage, "unknown command or wrong arguments: '" + all + "' (see --help)");
    }
    if (what == "modbus read") {
        Number(w[2], 1, 247, "SLAVE");
        const int start = Number(w[3], 0, 65535, "START");
        const int count = Number(w[4], 1, 125, "COUNT");
        if (start + count > 65536)
            Fail(kUsage, "START + COUNT must stay within the 65536 registers (START " +
                             std::to_string(start) + ", COUNT " + std::to_string(count) + ")");
    }
    if (what == "hart damping") {
        const auto seconds = TryStrToDecimal(w[2]);
        if (!seconds || *seconds < 0)
            Fail(kUsage, "SECONDS must be a number of seconds from 0, not '" + w[2] + "'");
    }
    if (what == "hart units") Number(w[2], 0, 249, "CODE");
    if ((o.reference4 || o.reference20) && what != "hart trim")
        Fail(kUsage, "--reference-4 and --reference-20 belong to hart trim");
    // The procedure waits for what is not given: only a terminal can answer.
    if (what == "hart trim" && (!o.reference4 || !o.reference20) && !isatty(STDIN_FILENO))
        Fail(kUsage,
             "hart trim needs --reference-4 MA and --reference-20 MA when standard input is "
             "not a terminal to ask for the meter's readings");
    if (!o.range.empty()) {
        if (what != "scan bus" && what != "scan hart")
            Fail(kUsage, "--range belongs to scan bus and scan hart");
        std::string error;
        if (!ParseScanRange(what == "scan bus" ? ScanKind::Bus : ScanKind::Instrument, o.range,
                            &error))
            Fail(kUsage, "--range: " + error);
    }
    if (o.loopCheck && (w[0] != "apply" || o.certificate.empty() || !o.verify))
        Fail(kUsage, "--loop-check belongs to apply --verify --certificate DIR");
    if (o.loopOptionsGiven && what != "hart loop-check" && !o.loopCheck)
        Fail(kUsage, "--points and --tolerance belong to hart loop-check and apply --loop-check");
    if (w[0] != "apply") {
        if (o.ports.size() > 1) Fail(kUsage, "only apply takes more than one --port");
        if (!o.backup.empty() || !o.certificate.empty() || o.verify)
            Fail(kUsage, "--verify, --backup and --certificate belong to apply");
    } else if (o.ports.size() > 1 && !o.backup.empty()) {
        Fail(kUsage, "--backup names one file: with several ports each backup goes to its own");
    }
}

}  // namespace

Options Parse(const QStringList& args) {
    Options o;
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            std::fputs(kUsageText, stdout);
            std::exit(kOk);
        } else if (a == "--version") {
            std::printf("tavrix-cli %s\n", TAVRIX_VERSION);
            std::exit(kOk);
        } else if (a == "--port" && hasValue) {
            for (std::string& port : ExpandPort(args[++i])) o.ports.push_back(std::move(port));
        } else if (a == "--baud" && hasValue) {
            o.baud = static_cast<uint32_t>(Number(args[++i].toStdString(), 1, 4000000, "--baud"));
        } else if (a == "--parity" && hasValue) {
            const QString p = args[++i].toLower();
            const QStringList names = {"none", "odd", "even"};
            o.parity = static_cast<int>(names.indexOf(p));
            if (o.parity < 0) Fail(kUsage, "--parity takes none, odd or even");
        } else if (a == "--answer-time" && hasValue) {
            o.answerTimeMs = Number(args[++i].toStdString(), 1, 60000, "--answer-time");
            o.answerTimeGiven = true;
        } else if (a == "--retries" && hasValue) {
            o.retries = Number(args[++i].toStdString(), 0, 10, "--retries");
        } else if (a == "--hart-address" && hasValue) {
            o.hartAddress = Number(args[++i].toStdString(), 0, 63, "--hart-address");
        } else if (a == "--backup" && hasValue) {
            o.backup = args[++i].toStdString();
        } else if (a == "--range" && hasValue) {
            o.range = args[++i].toStdString();
        } else if (a == "--certificate" && hasValue) {
            o.certificate = args[++i].toStdString();
        } else if (a == "--points" && hasValue) {
            std::string error;
            const auto points = ParseLoopPoints(args[++i].toStdString(), &error);
            if (!points) Fail(kUsage, "--points: " + error);
            o.loopPoints = *points;
            o.loopOptionsGiven = true;
        } else if (a == "--tolerance" && hasValue) {
            std::string error;
            const auto tolerance = ParseLoopTolerance(args[++i].toStdString(), &error);
            if (!tolerance) Fail(kUsage, "--tolerance: " + error);
            o.loopTolerance = *tolerance;
            o.loopOptionsGiven = true;
        } else if ((a == "--reference-4" || a == "--reference-20") && hasValue) {
            const double level = a == "--reference-4" ? kTrimZeroLevel : kTrimGainLevel;
            const std::string text = args[++i].toStdString();
            const auto value = TryStrToDecimal(text);
            const std::string why = value ? TrimReadingError(level, *value) : "not a number";
            if (!why.empty()) Fail(kUsage, a + " '" + text + "': " + why);
            (a == "--reference-4" ? o.reference4 : o.reference20) = value;
        } else if (a == "--loop-check") {
            o.loopCheck = true;
        } else if (a == "--echo" && hasValue) {
            const auto mode = EchoModeFromName(args[++i].toLower().toStdString());
            if (!mode) Fail(kUsage, "--echo takes auto, on or off");
            o.echo = *mode;
        } else if (a == "--rs485") {
            o.rs485 = true;
        } else if (a == "--rts-delay-before" && hasValue) {
            o.rtsDelayBeforeMs = Number(args[++i].toStdString(), 0, 1000, "--rts-delay-before");
            o.rtsDelayGiven = true;
        } else if (a == "--rts-delay-after" && hasValue) {
            o.rtsDelayAfterMs = Number(args[++i].toStdString(), 0, 1000, "--rts-delay-after");
            o.rtsDelayGiven = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--verify") {
            o.verify = true;
        } else if (a == "--no-journal") {
            o.journal = false;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a.starts_with("--")) {
            Fail(kUsage, "unknown option '" + a + "' (see --help)");
        } else {
            o.words.push_back(a);
        }
    }
    if (o.ports.empty()) Fail(kUsage, "--port DEV is required");
    if (o.rtsDelayGiven && !o.rs485) Fail(kUsage, "--rts-delay-before and --rts-delay-after belong to --rs485");
    CheckCommand(o);
    return o;
}
