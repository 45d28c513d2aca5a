// Window-pixel geometry shared by the toolkit: points and rectangles whose containment and
// touching tests include all four edges.
#pragma once

#include <cstdint>

namespace flanger::gui {

struct Point {
    std::int32_t h = 0;
    std::int32_t v = 0;

    constexpr bool operator==(const Point&) const = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    constexpr std::int32_t width() const noexcept { return right - left; }
    constexpr std::int32_t height() const noexcept { return bottom - top; }
    constexpr bool contains(Point p) const noexcept {
        return p.h >= left && p.h <= right && p.v >= top && p.v <= bottom;
    }
    constexpr Rect movedBy(std::int32_t dh, std::int32_t dv) const noexcept {
        return {left + dh, top + dv, right + dh, bottom + dv};
    }
    constexpr bool operator==(const Rect&) const = default;
};

}  // namespace flanger::gui
