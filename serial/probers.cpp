#include "serial/probers.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QProcess>
#include <fstream>
#include <sstream>

namespace {

constexpr char kMmRule[] = "/usr/share/doc/tavrix/examples/70-tavrix-mm-ignore.rules";

bool Is(const TUdevProperties& p, const char* key, const char* value) {
    const auto found = p.find(key);
    return found != p.end() && found->second == value;
}

bool HasPrefix(const TUdevProperties& p, const std::string& prefix) {
    const auto found = p.lower_bound(prefix);
    return found != p.end() && found->first.rfind(prefix, 0) == 0;
}

// Bounded: a wedged systemd must not hold the caller for long.
bool UnitActive(const std::string& unit) {
    QProcess systemctl;
    systemctl.start(QStringLiteral("systemctl"),
                    {QStringLiteral("is-active"), QStringLiteral("--quiet"),
                     QString::fromStdString(unit)});
    if (!systemctl.waitForStarted(500)) return false;
    if (!systemctl.waitForFinished(500)) {
        systemctl.kill();
        systemctl.waitForFinished(100);
        return false;
    }
    return systemctl.exitStatus() == QProcess::NormalExit && systemctl.exitCode() == 0;
}

}  // namespace

TUdevProperties ParseUdevData(const std::string& text) {
    TUdevProperties properties;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("E:", 0) != 0) continue;
        const size_t eq = line.find('=', 2);
        if (eq == std::string::npos || eq == 2) continue;
        properties[line.substr(2, eq - 2)] = line.substr(eq + 1);
    }
    return properties;
}

TUdevProperties ReadUdevProperties(const std::string& path, const std::string& udevRoot) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return {};
    std::ifstream in(udevRoot + "/c" + std::to_string(major(st.st_rdev)) + ":" +
                     std::to_string(minor(st.st_rdev)));
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return ParseUdevData(text.str());
}

std::vector<TProber> ProbersOf(const TUdevProperties& p,
                               const std::function<bool(const std::string& unit)>& active) {
    std::vector<TProber> probers;
    // ModemManager's own rules mark the devices it may probe; the ignore flag
    // (ours or a vendor's) keeps it away.
    const bool mmCandidate = Is(p, "ID_MM_CANDIDATE", "1") && !Is(p, "ID_MM_DEVICE_IGNORE", "1") &&
                             !Is(p, "ID_MM_PORT_IGNORE", "1");
    if (mmCandidate && active("ModemManager.service")) {
        probers.push_back(
            {"ModemManager",
             std::string("keep it off the device with the udev rule that comes with this "
                         "program: sudo cp ") +
                 kMmRule +
                 " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm "
                 "trigger, or stop it: sudo systemctl stop ModemManager"});
    }
    // brltty's rules claim the adapters that braille displays are built on.
    if (HasPrefix(p, "BRLTTY_") && (active("brltty.service") || active("brltty-udev.service"))) {
        probers.push_back({"brltty",
                           "stop it where no braille display is used: sudo systemctl stop brltty "
                           "brltty-udev && sudo systemctl mask brltty-udev"});
    }
    return probers;
}

std::vector<TProber> FindProbers(const std::string& path) {
    const TUdevProperties properties = ReadUdevProperties(path);
    if (properties.empty()) return {};
    return ProbersOf(properties, UnitActive);
}

std::string ProberNote(const std::vector<TProber>& probers) {
    std::string note;
    for (const TProber& p : probers) {
        if (!note.empty()) note += " ";
        note += p.name + " probes this device and may have taken the reply: " + p.fix + ".";
    }
    return note;
}
