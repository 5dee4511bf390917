#include "sim/versionresponder.h"

#include <string_view>

std::optional<Bytes> VersionResponder::Answer(const Bytes& request) {
    static constexpr std::string_view kQuery = "QQQ#QV#";
    if (std::string_view(reinterpret_cast<const char*>(request.data()), request.size()) != kQuery) {
        return std::nullopt;
    }
    const std::string reply = "QV:" + settings_.version + "#";
    return Bytes(reply.begin(), reply.end());
}
