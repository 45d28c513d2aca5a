// Colours as the toolkit carries them: red, green, blue and an alpha that is stored but never
// blended; only red, green and blue reach the pixels.
#pragma once

#include <cstdint>

#include "platform/Surface.h"

namespace flanger::gui {

struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 0;

    constexpr bool operator==(const Color&) const = default;
    constexpr bool sameRgb(const Color& other) const noexcept {
        return red == other.red && green == other.green && blue == other.blue;
    }
    constexpr std::uint32_t pixel() const noexcept { return platform::packRgb(red, green, blue); }
    static constexpr Color fromPixel(std::uint32_t p) noexcept {
        return {platform::redOf(p), platform::greenOf(p), platform::blueOf(p), 0};
    }
};

namespace colors {
inline constexpr Color white{255, 255, 255, 0};
inline constexpr Color black{0, 0, 0, 0};
inline constexpr Color grey{127, 127, 127, 0};
inline constexpr Color red{255, 0, 0, 0};
inline constexpr Color green{0, 255, 0, 0};
inline constexpr Color blue{0, 0, 255, 0};
inline constexpr Color yellow{255, 255, 0, 0};
inline constexpr Color magenta{255, 0, 255, 0};
inline constexpr Color cyan{0, 255, 255, 0};
inline constexpr Color defaultTransparent{255, 255, 255, 0};
}  // namespace colors

}  // namespace flanger::gui
