// Profile files: a file that is read holds only values their controls can
// take, writing it and reading it back gives the same settings, and a file
// that validates becomes frames the module acknowledges, each one.
#include <cstdlib>
#include <variant>

#include "input.h"
#include "profile/profile.h"
#include "profile/profilecommands.h"
// The module's side of the set commands, from its own source: the fuzz
// targets link no simulator.
#include "sim/configsetresponder.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto read =
        ReadProfile(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
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

    // A file refused only for holding nothing; anything else read is applied.
    if (ValidateProfile(*profile)) {
        if (!profile->settings.empty()) std::abort();
        return 0;
    }
    ModuleSettings module;
    ConfigSetResponder responder(module);
    for (const SequenceStep& step : PlanApply(*profile).steps) {
        const auto reply = responder.Answer(Bytes(step.frame.begin(), step.frame.end()));
        if (!reply || !std::string(reply->begin(), reply->end()).ends_with(":OK#")) std::abort();
    }
    return 0;
}
