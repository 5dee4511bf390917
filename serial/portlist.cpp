#include "serial/portlist.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "serial/netport.h"
#include "serial/tcomm.h"

namespace {

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// Digit runs compare as numbers, everything else byte by byte.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei])) ++ei;
            while (ej < b.size() && IsDigit(b[ej])) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            const size_t za = na.find_first_not_of('0'), zb = nb.find_first_not_of('0');
            const std::string va = za == std::string::npos ? "" : na.substr(za);
            const std::string vb = zb == std::string::npos ? "" : nb.substr(zb);
            if (va.size() != vb.size()) return va.size() < vb.size();
            if (va != vb) return va < vb;
            i = ei, j = ej;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i, ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string Hex4(int v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v & 0xFFFF);
    return text;
}

}  // namespace

std::string PortPath(const TPortInfo& port) {
    return port.stableLink.empty() ? port.device : port.stableLink;
}

std::string PortKind(const TPortInfo& port) {
    std::string kind;
    if (port.vendorId >= 0)
        kind = "USB adapter";
    else if (port.device.rfind("/dev/pts/", 0) == 0)
        kind = "pseudo-terminal";
    else if (port.device.rfind("/dev/ttyS", 0) == 0 || port.device.rfind("/dev/ttyAMA", 0) == 0 ||
             port.device.rfind("/dev/ttyO", 0) == 0 || port.device.rfind("/dev/ttymxc", 0) == 0)
        kind = "built-in UART";
    else
        kind = "serial device";
    return port.console ? kind + ", kernel console" : kind;
}

std::string PortToolTip(const TPortInfo& port) {
    std::vector<std::string> lines;
    std::string kind = PortKind(port);
    kind[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(kind[0])));
    lines.push_back(port.console ? kind + ": the kernel writes its messages here too" : kind);
    if (!port.description.empty()) lines.push_back(port.description);
    if (!port.manufacturer.empty()) lines.push_back("Manufacturer: " + port.manufacturer);
    if (port.vendorId >= 0 && port.productId >= 0)
        lines.push_back("USB id: " + Hex4(port.vendorId) + ":" + Hex4(port.productId));
    if (!port.serialNumber.empty()) lines.push_back("Serial number: " + port.serialNumber);
    lines.push_back("Device: " + port.device);
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

std::vector<TPortItem> MergePortList(const std::vector<std::string>& fixed,
                                     const std::vector<TPortInfo>& found,
                                     const std::vector<std::string>& recent) {
    std::vector<TPortItem> items;
    for (const std::string& text : fixed) items.push_back({text, {}, {}});
    for (const std::string& text : recent) {
        if (std::none_of(items.begin(), items.end(),
                         [&text](const TPortItem& i) { return i.text == text; }))
            items.push_back({text, {}, "network port, used before"});
    }
    std::vector<TPortItem> added;
    for (const TPortInfo& port : found) {
        const std::string path = PortPath(port);
        if (path.empty()) continue;
        const auto same = [&path](const TPortItem& i) { return i.text == path; };
        if (std::any_of(items.begin(), items.end(), same) ||
            std::any_of(added.begin(), added.end(), same))
            continue;
        const auto names = [&port](const TPortItem& i) {
            return ResolvePortName(i.text) == port.device;
        };
        if (const auto fixedItem = std::find_if(items.begin(), items.end(), names);
            fixedItem != items.end()) {
            fixedItem->toolTip = PortToolTip(port);
            fixedItem->note = "= " + path + ", " + PortKind(port);
            continue;
        }
        added.push_back({path, PortToolTip(port), PortKind(port)});
    }
    std::sort(added.begin(), added.end(),
              [](const TPortItem& a, const TPortItem& b) { return NaturalLess(a.text, b.text); });
    items.insert(items.end(), added.begin(), added.end());
    return items;
}

std::vector<std::string> PortPaths(const std::vector<TPortInfo>& found) {
    std::vector<std::string> paths;
    for (const TPortItem& item : MergePortList({}, found)) paths.push_back(item.text);
    return paths;
}

std::vector<std::string> RememberNetworkPort(std::vector<std::string> recent,
                                             const std::string& port, size_t keep) {
    if (!IsNetworkPortName(port)) return recent;
    std::erase(recent, port);
    recent.insert(recent.begin(), port);
    if (recent.size() > keep) recent.resize(keep);
    return recent;
}
