// Why a serial port could not be opened: what the system said, gathered where
// the opening failed, and the text that tells the engineer what to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serial/portholders.h"

enum class TOpenStep {
    Name,         // the text is neither COM1..COM9 nor a device path
    Open,         // open() refused the device
    NotTerminal,  // it opened but is not a terminal
    Lock,         // another opening holds it
    Speed,        // the driver will not run at the rate asked for
    Resources,    // no descriptor or thread left for the reader and writer
};

enum class TFileKind { Unknown, Missing, Directory, Regular, CharDevice, Other };

struct TOpenFailure {
    TOpenStep step = TOpenStep::Open;
    int error = 0;     // errno of the failing call; 0 when there was none
    std::string path;  // what was opened (the typed text at TOpenStep::Name)
    TFileKind kind = TFileKind::Unknown;
    std::string group;                 // the device's group, when permission was refused
    std::vector<TPortHolder> holders;  // who has it open, when it is busy
    std::vector<std::string> present;  // serial devices that do exist; the caller fills it
    uint32_t baud = 0;                 // the rate refused, at TOpenStep::Speed
};

// Looks at `path` after `step` failed with `error`: its kind, its group when
// access was refused, its holders when it is busy.
TOpenFailure DescribeOpenFailure(TOpenStep step, int error, const std::string& path);

// The cause as the system gave it, then what to do: the detail text under the
// opening error's message.
std::string OpenFailureDetail(const TOpenFailure& failure);
