// The module's own resources, looked up by kind and numeric id: the skin bitmaps (as BMP file
// bytes) and the version block. Everything is embedded in the module, so it works from any folder.
#pragma once

#include "resources/version/VersionBlock.h"

namespace flanger::resources {

enum class ResourceKind { Bitmap, Version };

// Empty bytes when there is no such resource. The version kind has one block; its id is ignored.
ResourceBytes findResource(ResourceKind kind, int id) noexcept;

}  // namespace flanger::resources
