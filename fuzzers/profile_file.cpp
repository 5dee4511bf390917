// Profile files: a file that is read holds only values their controls can
// take, and writing it and reading it back gives the same settings.
#include <cstdlib>
#include <variant>

#include "input.h"
#include "profile/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto read = ReadProfile(QByteArray(reinterpret_cast<const char*>(data),
                                             static_cast<qsizetype>(size)));
    const Profile* profile = std::get_if<Profile>(&read);
    if (!profile) {
        if (std::get<ProfileError>(read).problem.empty()) std::abort();
        return 0;
    }
    for (const ConfigField& field : profile->settings)
        if (CheckSetting(field)) std::abort();
    const auto again = ReadProfile(WriteProfile(*profile));
    const Profile* back = std::get_if<Profile>(&again);
    if (!back || back->settings != profile->settings) std::abort();
    return 0;
}
