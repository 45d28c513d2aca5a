// PNG reading and writing of pixel surfaces (libpng), for the screenshot tool and the golden-image
// tests. Never linked into the plug-in.
#pragma once

#include <optional>
#include <string>

#include "platform/Surface.h"

namespace flanger::tools {

bool writePng(const std::string& path, const platform::Surface& surface);
std::optional<platform::Surface> readPng(const std::string& path);

}  // namespace flanger::tools
