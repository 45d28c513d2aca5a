// Skin bitmaps from BMP file bytes: the decoder, and the lookup of a module bitmap by id.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/Surface.h"

namespace flanger::gui {

// Decodes an uncompressed BMP (24- or 32-bit, or 8-bit paletted; bottom-up or top-down).
// Answers nothing for truncated, compressed or otherwise malformed data.
std::optional<platform::Surface> decodeBmp(const unsigned char* data, std::size_t size) noexcept;

// The module's bitmap resource id, decoded: nothing when it is missing or broken.
std::optional<platform::Surface> loadBitmapResource(int id) noexcept;

}  // namespace flanger::gui
