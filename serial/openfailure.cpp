#include "serial/openfailure.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

TFileKind KindOf(const std::string& path, gid_t* group) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? TFileKind::Missing : TFileKind::Unknown;
    *group = st.st_gid;
    if (S_ISDIR(st.st_mode)) return TFileKind::Directory;
    if (S_ISREG(st.st_mode)) return TFileKind::Regular;
    if (S_ISCHR(st.st_mode)) return TFileKind::CharDevice;
    return TFileKind::Other;
}

std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    char buffer[4096];
    if (getgrgid_r(gid, &entry, buffer, sizeof buffer, &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

std::string PresentList(const std::vector<std::string>& present) {
    if (present.empty()) return "No serial devices were found on this machine.";
    std::string text = "Serial devices present:";
    for (const std::string& p : present) text += "\n    " + p;
    return text;
}

std::string HolderList(const std::vector<TPortHolder>& holders) {
    if (holders.empty()) return "Another program has it open.";
    std::string text = "It is open in:";
    for (const TPortHolder& h : holders)
        text += "\n    " + h.name + " (process " + std::to_string(h.pid) + ")";
    return text;
}

bool IsBusy(const TOpenFailure& f) { return f.step == TOpenStep::Lock || f.error == EBUSY; }

}  // namespace

TOpenFailure DescribeOpenFailure(TOpenStep step, int error, const std::string& path) {
    TOpenFailure f;
    f.step = step;
    f.error = error;
    f.path = path;
    gid_t gid = 0;
    if (step != TOpenStep::Name) f.kind = KindOf(path, &gid);
    if (error == EACCES || error == EPERM) f.group = GroupName(gid);
    if (IsBusy(f)) {
        f.holders = FindPortHolders(path);
        f.probers = FindProbers(path);
    }
    return f;
}

namespace {

// What the system said, what to do about it, and what helps to choose (the
// devices present): the first two are the message's informative text, all
// three its details.
struct TFailureText {
    std::string cause;
    std::string fix;
    std::string more;
};

TFailureText Explain(const TOpenFailure& f) {
    const std::string cause = f.error != 0 ? f.path + ": " + std::strerror(f.error) : f.path;
    switch (f.step) {
        case TOpenStep::NetName:
            return {f.said,
                    "Write the server's address as rfc2217://HOST:PORT or socket://HOST:PORT, "
                    "such as rfc2217://192.168.1.50:4001.",
                    {}};
        case TOpenStep::NetResolve:
            return {f.said, "Check the server's host name, or give its IP address instead.", {}};
        case TOpenStep::NetConnect:
            if (f.error == ECONNREFUSED)
                return {f.said,
                        "Nothing listens at that port: check the port number and that the serial "
                        "device server is running.",
                        {}};
            return {f.said,
                    "Check the address, that the server is switched on and on the network, and "
                    "that no firewall stands between.",
                    {}};
        case TOpenStep::NetServer:
            return {f.said,
                    "Choose a line the serial device server supports, or check that its port "
                    "speaks RFC 2217 (socket:// for a raw TCP port).",
                    {}};
        case TOpenStep::NetFixed:
            return {f.said,
                    "Change the serial device server's own settings for this port to that line "
                    "(or reach it through rfc2217://, which carries the line settings), then open "
                    "it again.",
                    {}};
        default:
            break;
    }
    const std::string present = PresentList(f.present);
    if (f.step == TOpenStep::Name) {
        return {"\"" + f.path + "\" is not a device path.",
                "Choose COM1 to COM9 (/dev/ttyS0 to /dev/ttyS8), a path that starts with /, "
                "such as /dev/ttyUSB0, or a serial device server as rfc2217://HOST:PORT or "
                "socket://HOST:PORT.",
                present};
    }
    if (f.step == TOpenStep::Speed) {
        return {f.path + ": the device does not run at " + std::to_string(f.baud) + " baud",
                "Choose another baud rate; 1200 to 38400 work on every serial port.",
                {}};
    }
    if (f.step == TOpenStep::Rs485) {
        return {f.path + ": the driver refused RS-485 mode (TIOCSRS485: " +
                    (f.error ? std::strerror(f.error) : "the mode did not stay on") + ")",
                "Only a UART whose driver switches an RS-485 transceiver has this mode (many "
                "industrial PCs and single-board computers); a USB-RS485 adapter switches by "
                "itself and a pseudo-terminal has none. Turn the port's RS-485 option off, or "
                "enable the mode in the UART's driver or device tree.",
                {}};
    }
    if (f.step == TOpenStep::Resources) {
        return {cause,
                "The system has no file descriptor or thread left for the port. "
                "Close other programs and press Open again.",
                {}};
    }
    if (IsBusy(f)) {
        // A service running as root hides its descriptors from us: named by
        // what it is instead.
        if (f.holders.empty() && !f.probers.empty()) {
            std::string fix;
            for (const TProber& p : f.probers) {
                if (!fix.empty()) fix += "\n";
                fix += p.name + " opens serial devices on its own and may hold this one. To " +
                       p.fix + ".";
            }
            return {cause, fix + "\nThen press Open again.", {}};
        }
        return {cause, HolderList(f.holders) + "\nClose that program, then press Open again.", {}};
    }
    if (f.step == TOpenStep::NotTerminal) {
        const char* what = f.kind == TFileKind::Regular      ? "it is a regular file"
                           : f.kind == TFileKind::CharDevice ? "it is a device of another kind"
                                                             : "it is no device";
        return {f.path + ": not a terminal (" + what + ")",
                "Choose a serial device: COM1 to COM9 or a path such as /dev/ttyUSB0.", present};
    }
    switch (f.error) {
        case EACCES:
        case EPERM:
            if (f.group.empty() || f.group == "root") {
                return {cause,
                        "Your account may not use this device. Ask the administrator for access "
                        "(ls -l " + f.path + " shows who may).",
                        {}};
            }
            return {cause,
                    "Your account may not use this device, which belongs to the group \"" +
                        f.group + "\". Add your account to that group:\n    sudo usermod -aG " +
                        f.group + " $USER\nthen log out and log in again for it to take effect.",
                    {}};
        case ENOENT:
        case ENODEV:
            return {cause, "There is no such device. Is the adapter plugged in?", present};
        case ENXIO:
            return {cause,
                    "The device name is there but no hardware answers behind it: "
                    "the adapter may have been unplugged.",
                    present};
        case EISDIR:
            return {cause, "This is a folder, not a serial device.", present};
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return {cause, "The path is not valid.", present};
        case EIO:
            return {cause,
                    "The device did not respond. Unplug the adapter, plug it back in and press "
                    "Open again.",
                    {}};
        case EMFILE:
        case ENFILE:
        case ENOMEM:
            return {cause,
                    "The system has no file descriptor left for the port. Close other programs "
                    "and press Open again.",
                    {}};
        default:
            return {cause, "Check the device, or choose another, and press Open again.", present};
    }
}

}  // namespace

std::string NotSerialPortText(const TOpenFailure& f) {
    switch (f.kind) {
        case TFileKind::Regular:
            return f.path + " is a regular file, not a serial port.";
        case TFileKind::CharDevice:
            return f.path + " is a device, but not a serial port.";
        default:
            return f.path + " is not a serial port.";
    }
}

std::string OpenFailureSummary(const TOpenFailure& f) {
    const TFailureText t = Explain(f);
    return t.fix.empty() ? t.cause : t.cause + "\n\n" + t.fix;
}

std::string OpenFailureDetail(const TOpenFailure& f) {
    const TFailureText t = Explain(f);
    std::string text = t.cause;
    for (const std::string* part : {&t.fix, &t.more})
        if (!part->empty()) text += "\n\n" + *part;
    return text;
}
