// The module's own resources, looked up by kind and numeric id: the skin bitmaps (as BMP file
// bytes) and the version block. Everything is embedded in the module, so it works from any folder.
#pragma once

#include <optional>

#include "platform/Surface.h"
#include "resources/version/VersionBlock.h"

namespace flanger::platform {

enum class ResourceKind { Bitmap, Version };

// Empty bytes when there is no such resource. The version kind has one block; its id is ignored.
resources::ResourceBytes findResource(ResourceKind kind, int id) noexcept;

// Decodes an uncompressed BMP (24- or 32-bit, or 8-bit paletted; bottom-up or top-down).
// Answers nothing for truncated, compressed or otherwise malformed data.
std::optional<Surface> decodeBmp(const unsigned char* data, std::size_t size) noexcept;

// findResource + decodeBmp: nothing when the bitmap is missing or broken.
std::optional<Surface> loadBitmapResource(int id) noexcept;

}  // namespace flanger::platform
