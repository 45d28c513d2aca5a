// Decoding of a dropped text/uri-list into local file names, kept apart from Xlib so it can be
// tested alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace flanger::platform {

// The local file names of a uri-list (RFC 2483: one URI per line, '#' comments), percent-decoded.
// Only file: URIs on this machine (no host, or "localhost") are taken; others, names with an
// encoded zero byte and names of kMaxDroppedName bytes or more are skipped.
std::vector<std::string> decodeUriList(std::string_view text);

}  // namespace flanger::platform
