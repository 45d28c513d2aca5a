// The skin bitmaps 1000–1010 as BMP file bytes, generated at build time by resources/skin/
// and compiled into the module.
#pragma once

#include "resources/version/VersionBlock.h"

namespace flanger::resources {

constexpr int kFirstSkinBitmap = 1000;
constexpr int kSkinBitmapCount = 11;

// Empty bytes for an id outside 1000–1010.
ResourceBytes skinBitmap(int id) noexcept;

}  // namespace flanger::resources
