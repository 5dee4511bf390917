// Annotation of the module's configuration replies: which of the keys the
// pending request's decoder looks for were found, which were missing or cut
// short (the reason a control did not change), and where a conversion failed.
#pragma once

#include <optional>
#include <string_view>

#include "protocol/framenotes.h"

// The notes on `reply` to the request `requestCode`; nullopt for requests
// whose replies no key decoder reads.
std::optional<FrameNotes> AnnotateConfigReply(int requestCode, std::string_view reply);
