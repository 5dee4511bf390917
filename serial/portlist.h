// The "Serial Port:" list: the window's own items, then the serial devices
// found on the machine. Pure, so the merging is tested with any devices.
#pragma once

#include <string>
#include <vector>

struct TPortInfo {
    std::string device;      // the kernel's name, /dev/ttyUSB0
    std::string stableLink;  // its /dev/serial/by-id/... link, empty when there is none
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
    int vendorId = -1;  // USB ids; -1 when the device has none
    int productId = -1;
    bool console = false;  // the kernel writes its console here
};

struct TPortItem {
    std::string text;     // what the component opens
    std::string toolTip;  // what the device says about itself
    std::string note;     // shown after the text in the list: its kind, the device a COMn names
    bool operator==(const TPortItem&) const = default;
};

// "USB adapter", "built-in UART", "pseudo-terminal" or "serial device", with
// ", kernel console" where the kernel writes its console.
std::string PortKind(const TPortInfo& port);

// The path to open: the stable link survives replugging into another socket.
std::string PortPath(const TPortInfo& port);

// Description, manufacturer, USB vendor:product id, serial number and device
// name, one a line, leaving out what the device does not tell.
std::string PortToolTip(const TPortInfo& port);

// `fixed` first, in its order, then the network ports used before (`recent`,
// noted as such), then each found device once, in natural order
// (ttyUSB2 before ttyUSB10). A device that is already a fixed item is not
// repeated: a COMn that names a found device carries that device's tooltip
// and a note naming it, so one device is one entry.
std::vector<TPortItem> MergePortList(const std::vector<std::string>& fixed,
                                     const std::vector<TPortInfo>& found,
                                     const std::vector<std::string>& recent = {});

// `recent` with `port` first, once; the oldest dropped beyond `keep`.
// Only network ports are kept: nothing discovers a serial device server, and
// the list finds device paths itself.
std::vector<std::string> RememberNetworkPort(std::vector<std::string> recent,
                                             const std::string& port, size_t keep = 8);

// Just the paths of the found devices, in the list's order.
std::vector<std::string> PortPaths(const std::vector<TPortInfo>& found);
