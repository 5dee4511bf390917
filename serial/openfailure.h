// Why a serial port could not be opened: what the system said, gathered where
// the opening failed, and the text that tells the engineer what to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/portholders.h"
#include "serial/probers.h"

enum class TOpenStep {
    Name,         // the text is neither COM1..COM9 nor a device path
    Open,         // open() refused the device
    NotTerminal,  // it opened but is not a terminal
    Lock,         // another opening holds it
    Speed,        // the driver will not run at the rate asked for
    Resources,    // no descriptor or thread left for the reader and writer
    Rs485,        // the driver refused the RS-485 mode asked for (TIOCSRS485)
    // A network port (rfc2217:// or socket://); `said` holds the cause.
    NetName,     // not HOST:PORT
    NetResolve,  // the host name is unknown
    NetConnect,  // refused, unreachable or no answer in time (error: errno)
    NetServer,   // the server refused or changed a line setting, or does not speak RFC 2217
    NetFixed,    // a raw socket asked to change the line the server sets
};

enum class TFileKind { Unknown, Missing, Directory, Regular, CharDevice, Other };

struct TOpenFailure {
    TOpenStep step = TOpenStep::Open;
    int error = 0;     // errno of the failing call; 0 when there was none
    std::string path;  // what was opened (the typed text at TOpenStep::Name)
    TFileKind kind = TFileKind::Unknown;
    std::string group;                 // the device's group, when permission was refused
    std::vector<TPortHolder> holders;  // who has it open, when it is busy
    std::vector<TProber> probers;      // services that open it on their own, when it is busy
    std::vector<std::string> present;  // serial devices that do exist; the caller fills it
    uint32_t baud = 0;                 // the rate refused, at TOpenStep::Speed
    std::string said;                  // a network port's cause, as one sentence
};

// Looks at `path` after `step` failed with `error`: its kind, its group when
// access was refused, its holders and the services that probe it when it is
// busy.
TOpenFailure DescribeOpenFailure(TOpenStep step, int error, const std::string& path);

// The cause as the system gave it and what to do about it: shown with the
// opening error's message at once (the window's informative text, the CLI's
// lines under its error).
std::string OpenFailureSummary(const TOpenFailure& failure);

// The summary and what helps to choose another device (the serial devices
// present): the message's details.
std::string OpenFailureDetail(const TOpenFailure& failure);

// The sentence that stands for the message when the path opened but is no
// terminal: "/dev/null is a device, but not a serial port."
std::string NotSerialPortText(const TOpenFailure& failure);
