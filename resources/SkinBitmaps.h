// The skin bitmaps 1000–1010 as BMP file bytes, and the same drawn at 200 % as 2000–2010,
// generated at build time by resources/skin/ and compiled into the module: as data on Linux, as
// the DLL's bitmap resources on Windows.
#pragma once

#include "resources/version/VersionBlock.h"

namespace flanger::resources {

constexpr int kFirstSkinBitmap = 1000;
constexpr int kSkinBitmapCount = 11;
// Bitmap id + this is the same picture drawn at 200 %: twice as wide and twice as tall, every
// frame of a strip twice as tall, in the same order.
constexpr int kDoubleScaleIdOffset = 1000;
constexpr int kSkinBitmapSlots = 2 * kSkinBitmapCount;

// Where id sits among every skin bitmap the module carries: 0–10 for 1000–1010, 11–21 for
// 2000–2010, -1 for any other id.
constexpr int skinBitmapSlot(int id) noexcept {
    if (id >= kFirstSkinBitmap && id < kFirstSkinBitmap + kSkinBitmapCount) return id - kFirstSkinBitmap;
    const int doubled = kFirstSkinBitmap + kDoubleScaleIdOffset;
    if (id >= doubled && id < doubled + kSkinBitmapCount) return kSkinBitmapCount + id - doubled;
    return -1;
}

// Empty bytes for an id outside 1000–1010 and 2000–2010.
ResourceBytes skinBitmap(int id) noexcept;

// Where the Windows module's bitmap resources are read: the system's copy of bitmap id as a
// packed bitmap (its info header, palette and pixels, without the file header the system strips),
// false when there is none. The module installs it; until then every bitmap is absent. Windows
// build only: the Linux table embeds its bytes.
using PackedBitmapReader = bool (*)(int id, const unsigned char** data, std::size_t* size) noexcept;
void setPackedBitmapReader(PackedBitmapReader reader) noexcept;

}  // namespace flanger::resources
