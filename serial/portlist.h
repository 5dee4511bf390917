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
};

struct TPortItem {
    std::string text;     // what the component opens
    std::string toolTip;  // what the device says about itself
    bool operator==(const TPortItem&) const = default;
};

// The path to open: the stable link survives replugging into another socket.
std::string PortPath(const TPortInfo& port);

// Description, manufacturer, USB vendor:product id, serial number and device
// name, one a line, leaving out what the device does not tell.
std::string PortToolTip(const TPortInfo& port);

// `fixed` first, in its order, then each found device once, in natural order
// (ttyUSB2 before ttyUSB10). A device that is already a fixed item is not repeated.
std::vector<TPortItem> MergePortList(const std::vector<std::string>& fixed,
                                     const std::vector<TPortInfo>& found);

// Just the paths of the found devices, in the list's order.
std::vector<std::string> PortPaths(const std::vector<TPortInfo>& found);
