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
    if (IsBusy(f)) f.holders = FindPortHolders(path);
    return f;
}

std::string OpenFailureDetail(const TOpenFailure& f) {
    const std::string cause = f.error != 0 ? f.path + ": " + std::strerror(f.error) : f.path;
    if (f.step == TOpenStep::Name) {
        return "\"" + f.path +
               "\" is not a device path. Choose COM1 to COM9 (/dev/ttyS0 to /dev/ttyS8) or a "
               "path that starts with /, such as /dev/ttyUSB0.\n\n" +
               PresentList(f.present);
    }
    if (f.step == TOpenStep::Speed) {
        return f.path + ": the device does not run at " + std::to_string(f.baud) +
               " baud\n\nChoose another baud rate; 1200 to 38400 work on every serial port.";
    }
    if (f.step == TOpenStep::Resources) {
        return cause +
               "\n\nThe system has no file descriptor or thread left for the port. "
               "Close other programs and press Open again.";
    }
    if (IsBusy(f)) {
        return cause + "\n\n" + HolderList(f.holders) +
               "\nClose that program, then press Open again.";
    }
    if (f.step == TOpenStep::NotTerminal) {
        const char* what = f.kind == TFileKind::Regular      ? "a regular file"
                           : f.kind == TFileKind::CharDevice ? "a device, but not a serial port"
                                                             : "not a serial port";
        return f.path + ": not a terminal\n\nThis is " + what + ".\n\n" + PresentList(f.present);
    }
    switch (f.error) {
        case EACCES:
        case EPERM:
            if (f.group.empty() || f.group == "root") {
                return cause +
                       "\n\nYour account may not use this device. Ask the "
                       "administrator for access (ls -l " +
                       f.path + " shows who may).";
            }
            return cause +
                   "\n\nYour account may not use this device, which belongs to the group \"" +
                   f.group + "\". Add your account to that group:\n    sudo usermod -aG " +
                   f.group + " $USER\nthen log out and log in again for it to take effect.";
        case ENOENT:
        case ENODEV:
            return cause + "\n\nThere is no such device. Is the adapter plugged in?\n\n" +
                   PresentList(f.present);
        case ENXIO:
            return cause +
                   "\n\nThe device name is there but no hardware answers behind it: "
                   "the adapter may have been unplugged.\n\n" +
                   PresentList(f.present);
        case EISDIR:
            return cause + "\n\nThis is a folder, not a serial device.\n\n" +
                   PresentList(f.present);
        case ENOTDIR:
        case ELOOP:
        case ENAMETOOLONG:
            return cause + "\n\nThe path is not valid.\n\n" + PresentList(f.present);
        case EIO:
            return cause +
                   "\n\nThe device did not respond. Unplug the adapter, plug it back "
                   "in and press Open again.";
        case EMFILE:
        case ENFILE:
        case ENOMEM:
            return cause +
                   "\n\nThe system has no file descriptor left for the port. Close "
                   "other programs and press Open again.";
        default:
            return cause;
    }
}
