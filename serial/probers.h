// Services that open serial adapters on their own: ModemManager sends AT
// commands to a new device to see whether it is a modem, brltty looks for a
// braille display. Either takes the port while the module's reply is due, so
// the reply is lost or the open fails. Found through udev's properties of the
// device and systemd's state of the service, which every account may read
// (unlike the root-owned processes' descriptors under /proc).
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

struct TProber {
    std::string name;  // "ModemManager"
    std::string fix;   // one line to type, or two ways to choose between
    bool operator==(const TProber&) const = default;
};

using TUdevProperties = std::map<std::string, std::string>;

// The E: lines of a udev database entry (/run/udev/data/c188:0).
TUdevProperties ParseUdevData(const std::string& text);

// The udev properties of the device at `path`, empty when it has none (a
// pseudo-terminal) or udev does not run.
TUdevProperties ReadUdevProperties(const std::string& path,
                                   const std::string& udevRoot = "/run/udev/data");

// Which probers may touch a device with `properties`, given which systemd
// units are active.
std::vector<TProber> ProbersOf(const TUdevProperties& properties,
                               const std::function<bool(const std::string& unit)>& active);

// The same for a device on this machine: udev's properties, then
// `systemctl is-active` only for the services that would touch it.
std::vector<TProber> FindProbers(const std::string& path);

// "ModemManager probes this device: it may have taken the reply. ..." for
// the traffic log; empty without probers.
std::string ProberNote(const std::vector<TProber>& probers);
