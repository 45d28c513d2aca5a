// The skin bitmaps 1000–1010 as BMP file bytes, generated at build time by resources/skin/
// and compiled into the module: as data on Linux, as the DLL's bitmap resources on Windows.
#pragma once

#include "resources/version/VersionBlock.h"

namespace flanger::resources {

constexpr int kFirstSkinBitmap = 1000;
constexpr int kSkinBitmapCount = 11;

// Empty bytes for an id outside 1000–1010.
ResourceBytes skinBitmap(int id) noexcept;

// Where the Windows module's bitmap resources are read: the system's copy of bitmap id as a
// packed bitmap (its info header, palette and pixels, without the file header the system strips),
// false when there is none. The module installs it; until then every bitmap is absent. Windows
// build only: the Linux table embeds its bytes.
using PackedBitmapReader = bool (*)(int id, const unsigned char** data, std::size_t* size) noexcept;
void setPackedBitmapReader(PackedBitmapReader reader) noexcept;

}  // namespace flanger::resources
