// Logical and physical pixels: views keep the editor's logical coordinates at every size, and
// windows, surfaces and drawing work in physical pixels at a scale given in percent.
#pragma once

#include <cstdint>

#include "gui/Geometry.h"
#include "platform/Surface.h"

namespace flanger::gui {

// The sizes the editor offers, smallest first.
inline constexpr int kOfferedScales[] = {100, 125, 150, 175, 200};

// The offered scale nearest to percent (ties go to the larger); 100 for anything not positive.
constexpr int nearestOfferedScale(int percent) noexcept {
    if (percent <= 0) return 100;
    int best = kOfferedScales[0];
    for (int offered : kOfferedScales) {
        const int distance = offered > percent ? offered - percent : percent - offered;
        const int bestDistance = best > percent ? best - percent : percent - best;
        if (distance <= bestDistance) best = offered;
    }
    return best;
}

struct PixelScale {
    int percent = 100;
    // The logical point that physical (0, 0) stands for: an offscreen block drawn for a control
    // at (originH, originV) of the window lands on exactly the pixels the window has there.
    std::int32_t originH = 0;
    std::int32_t originV = 0;

    constexpr bool identity() const noexcept { return percent == 100; }
    // The scale of a block that will be placed at logical in this one.
    constexpr PixelScale anchoredAt(Point logical) const noexcept {
        return {percent, originH + logical.h, originV + logical.v};
    }

    // The physical position of a logical edge: logical pixel x covers physical pixels
    // [edge(x), edge(x + 1)), so neighbouring rectangles still tile without gaps.
    constexpr std::int32_t edge(std::int32_t logical) const noexcept {
        return floorDivide(2 * static_cast<std::int64_t>(logical) * percent + 100, 200);
    }
    constexpr std::int32_t physicalX(std::int32_t logical) const noexcept {
        return edge(originH + logical) - edge(originH);
    }
    constexpr std::int32_t physicalY(std::int32_t logical) const noexcept {
        return edge(originV + logical) - edge(originV);
    }
    constexpr Point toPhysical(Point logical) const noexcept {
        return {physicalX(logical.h), physicalY(logical.v)};
    }
    platform::PixelBox toPhysical(const Rect& r) const noexcept {
        return {physicalX(r.left), physicalY(r.top), physicalX(r.right), physicalY(r.bottom)};
    }
    // A length (a pen's width, a font's size): at least 1 for anything positive.
    constexpr std::int32_t lengthToPhysical(std::int32_t logical) const noexcept {
        if (logical <= 0) return logical;
        const std::int32_t physical = edge(logical);
        return physical < 1 ? 1 : physical;
    }
    // The logical pixel whose physical area holds this physical pixel: where a pointer lands.
    constexpr Point toLogical(Point physical) const noexcept {
        return {unedge(physical.h + edge(originH)) - originH, unedge(physical.v + edge(originV)) - originV};
    }
    // The logical rectangle covering every physical pixel of the box.
    constexpr Rect coveringLogical(const platform::PixelBox& box) const noexcept {
        if (box.right <= box.left || box.bottom <= box.top) return {box.left, box.top, box.left, box.top};
        const Point first = toLogical(Point{box.left, box.top});
        const Point last = toLogical(Point{box.right - 1, box.bottom - 1});
        return {first.h, first.v, last.h + 1, last.v + 1};
    }

private:
    constexpr std::int32_t unedge(std::int32_t physical) const noexcept {
        std::int32_t logical = floorDivide(static_cast<std::int64_t>(physical) * 100, percent);
        while (edge(logical + 1) <= physical) ++logical;
        while (edge(logical) > physical) --logical;
        return logical;
    }
    static constexpr std::int32_t floorDivide(std::int64_t value, std::int64_t divisor) noexcept {
        std::int64_t quotient = value / divisor;
        if (value % divisor != 0 && (value < 0) != (divisor < 0)) --quotient;
        return static_cast<std::int32_t>(quotient);
    }
};

}  // namespace flanger::gui
