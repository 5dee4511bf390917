// What a silence means and what to do about it. A timeout or a lost port
// says what the program knows (when the module last answered, whether the
// adapter vanished) and the next step, in the same words in every window.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "exchange/requestcodes.h"

// "4 s old", "2 min 5 s old", "1 h 3 min old".
std::string AgeText(int64_t ms);
// "4 s ago", "2 min 5 s ago": when something last happened.
std::string AgoText(int64_t ms);

// The next step after a request of `protocol` got no reply. `sinceReply`
// is how long ago the module last answered on this opening of the port
// (Link::SinceLastReply); nullopt when it has not answered since it opened.
std::string TimeoutAdvice(Protocol protocol, std::optional<std::chrono::milliseconds> sinceReply);

// The next step after the port went away under the program: `network` for a
// network port whose connection closed, else a serial device that vanished.
std::string HangupAdvice(bool network);
