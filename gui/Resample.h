// Skin pictures at the sizes between the ones the module carries: drawn from the next larger
// picture by averaging the area each new pixel covers.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/Surface.h"

namespace flanger::gui {

// source reduced to width × height (each at most the source's). With a colour key, a pixel
// mostly covered by key pixels is the key and any other is the average of the non-key pixels
// alone (never the key itself), so a keyed draw shows no fringe of the key colour. Empty when
// the sizes are out of range or memory runs out.
platform::Surface averageDown(const platform::Surface& source, int width, int height,
                              std::optional<std::uint32_t> key) noexcept;

}  // namespace flanger::gui
