// tavrix-cli's command line: options and the command's words, every one
// checked before any port is opened, so a typing error sends nothing.
#pragma once

#include "exchange/echofilter.h"

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// 4: a scan found something, but line noise may have hidden more.
enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kCannotOpen = 3, kNoisy = 4, kChecksFailed = 5 };

extern const char* const kUsageText;

struct Options {
    std::vector<std::string> ports;  // one for every command; apply takes several
    uint32_t baud = 9600;
    int parity = 0;  // item of the parity list: none, odd, even
    int answerTimeMs = 500;
    bool answerTimeGiven = false;  // scans have their own default
    int retries = 2;
    int hartAddress = 0;
    bool json = false;
    bool verify = false;
    bool journal = true;      // the traffic journal in the state folder
    bool quiet = false;       // no progress line on a terminal
    std::string backup;       // apply: where the snapshot goes
    std::string certificate;  // apply: the folder for certificates
    std::string range;        // scan bus|hart: "A-B"
    std::vector<double> loopPoints{4, 12, 20};  // hart loop-check: mA
    double loopTolerance = 0.05;               // hart loop-check: mA
    bool loopOptionsGiven = false;
    // hart trim: the reference meter's readings at 4 and 20 mA; a reading not
    // given is asked for on the terminal.
    std::optional<double> reference4;
    std::optional<double> reference20;
    bool loopCheck = false;  // apply --certificate: a loop check into each certificate
    EchoMode echo = EchoMode::Auto;  // the adapter's local echo: found, expected or none
    bool rs485 = false;       // the kernel's RS-485 mode of the UART, RTS on send
    int rtsDelayBeforeMs = 0;
    int rtsDelayAfterMs = 0;
    bool rtsDelayGiven = false;
    std::vector<std::string> words;
};

// Prints "tavrix-cli: LINE" on standard error and exits with `status`.
[[noreturn]] void Fail(int status, const std::string& line);

// `text` as a number from `low` to `high`; else fails naming `what`.
int Number(const std::string& text, int low, int high, const char* what);

// Parses and checks the whole command line: the options, the command and its
// arguments; ports given as a pattern ("/dev/serial/by-id/*") are expanded.
Options Parse(const QStringList& args);

// "none", "odd", "even".
const char* ParityName(int parity);
