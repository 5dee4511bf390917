#include "serial/portholders.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool SameDevice(const fs::path& file, dev_t device) {
    struct stat st {};
    return stat(file.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == device;
}

std::string CommandName(const fs::path& process) {
    std::ifstream in(process / "comm");
    std::string name;
    std::getline(in, name);
    return name;
}

std::string Join(const std::vector<TPortHolder>& holders) {
    std::string text;
    for (const TPortHolder& h : holders) {
        if (!text.empty()) text += ", ";
        text += h.name + " (process " + std::to_string(h.pid) + ")";
    }
    return text;
}

}  // namespace

std::vector<TPortHolder> FindPortHolders(const std::string& path, const std::string& procRoot) {
    std::vector<TPortHolder> holders;
    struct stat target {};
    if (stat(path.c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) return holders;

    std::error_code ec;
    for (const fs::directory_entry& process : fs::directory_iterator(procRoot, ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit)) continue;
        // Processes come and go while we look, and others' are closed to us.
        std::error_code fdError;
        for (const fs::directory_entry& fd :
             fs::directory_iterator(process.path() / "fd", fdError)) {
            if (SameDevice(fd.path(), target.st_rdev)) {
                holders.push_back({std::atoi(pid.c_str()), CommandName(process.path())});
                break;
            }
        }
    }
    std::sort(holders.begin(), holders.end(),
              [](const TPortHolder& a, const TPortHolder& b) { return a.pid < b.pid; });
    return holders;
}

std::string SharedPortWarning(const std::string& path, const std::vector<TPortHolder>& holders,
                              int ownPid) {
    std::error_code ec;
    const std::string real = fs::weakly_canonical(path, ec).string();
    if (real.rfind("/dev/pts/", 0) == 0) return {};
    std::vector<TPortHolder> others;
    std::copy_if(holders.begin(), holders.end(), std::back_inserter(others),
                 [ownPid](const TPortHolder& h) { return h.pid != ownPid; });
    if (others.empty()) return {};
    return path + " is also open in " + Join(others) +
           ". Both programs read the same line, so each would get only part of the "
           "module's replies. Close that program before you send requests (a modem "
           "manager can be stopped with: sudo systemctl stop ModemManager).";
}
