// A 32-bit RGB pixel surface: the one pixel format every backend draws into and presents.
// Pixels are 0x00RRGGBB, rows top to bottom; the top byte is never written by drawing.
#pragma once

#include <cstdint>
#include <vector>

namespace flanger::platform {

// Half-open pixel box [left, right) × [top, bottom), used for damage and presentation.
struct PixelBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool empty() const noexcept { return right <= left || bottom <= top; }
    PixelBox unite(const PixelBox& other) const noexcept;
    PixelBox intersect(const PixelBox& other) const noexcept;
};

constexpr std::uint32_t packRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) noexcept {
    return (static_cast<std::uint32_t>(red) << 16) | (static_cast<std::uint32_t>(green) << 8) | blue;
}
constexpr std::uint8_t redOf(std::uint32_t pixel) noexcept {
    return static_cast<std::uint8_t>(pixel >> 16);
}
constexpr std::uint8_t greenOf(std::uint32_t pixel) noexcept {
    return static_cast<std::uint8_t>(pixel >> 8);
}
constexpr std::uint8_t blueOf(std::uint32_t pixel) noexcept {
    return static_cast<std::uint8_t>(pixel);
}

class Surface {
public:
    Surface() = default;
    Surface(int width, int height, std::uint32_t fill = 0);

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    bool empty() const noexcept { return width_ <= 0 || height_ <= 0; }

    bool contains(int x, int y) const noexcept { return x >= 0 && y >= 0 && x < width_ && y < height_; }
    // Out-of-range reads answer 0 and writes are dropped, so callers may clip loosely.
    std::uint32_t pixel(int x, int y) const noexcept { return contains(x, y) ? pixels_[index(x, y)] : 0; }
    void setPixel(int x, int y, std::uint32_t rgb) noexcept {
        if (contains(x, y)) pixels_[index(x, y)] = rgb & 0xFFFFFFu;
    }
    std::uint32_t* row(int y) noexcept { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
    const std::uint32_t* row(int y) const noexcept {
        return pixels_.data() + static_cast<std::size_t>(y) * width_;
    }
    const std::vector<std::uint32_t>& pixels() const noexcept { return pixels_; }

    void fill(const PixelBox& box, std::uint32_t rgb) noexcept;

    // Damage: the region changed since the owner last presented it. Drawing code calls
    // addDamage; a window's presentation takes and clears it. It is kept as a few disjoint
    // boxes, so two small changes far apart (a knob and its value display across the editor)
    // are presented as two small boxes, not as one box spanning everything between them.
    static constexpr int kDamageBoxes = 4;
    void addDamage(const PixelBox& box) noexcept;
    // The bounding box of the damage; cleared.
    PixelBox takeDamage() noexcept;
    // The damage as at most kDamageBoxes disjoint boxes; cleared. Answers their count.
    int takeDamageBoxes(PixelBox (&out)[kDamageBoxes]) noexcept;
    PixelBox damage() const noexcept;

private:
    std::size_t index(int x, int y) const noexcept { return static_cast<std::size_t>(y) * width_ + x; }

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> pixels_;
    PixelBox damageBoxes_[kDamageBoxes];
    int damageCount_ = 0;
};

// Copies a w × h block from (sx, sy) in source to (dx, dy) in destination, clipped against both
// surfaces; pixels outside either surface are left alone. Source and destination may be the same
// surface only when the blocks do not overlap.
void copyBlock(const Surface& source, int sx, int sy, Surface& destination, int dx, int dy, int w,
               int h) noexcept;

}  // namespace flanger::platform
