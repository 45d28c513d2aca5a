// Pixel surface storage, damage tracking and the clipped block copy.
#include "platform/Surface.h"

#include <algorithm>

namespace flanger::platform {

PixelBox PixelBox::unite(const PixelBox& other) const noexcept {
    if (empty()) return other;
    if (other.empty()) return *this;
    return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
            std::max(bottom, other.bottom)};
}

PixelBox PixelBox::intersect(const PixelBox& other) const noexcept {
    PixelBox box{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                 std::min(bottom, other.bottom)};
    if (box.empty()) return {};
    return box;
}

Surface::Surface(int width, int height, std::uint32_t fillRgb)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      pixels_(static_cast<std::size_t>(width_) * height_, fillRgb & 0xFFFFFFu) {}

void Surface::fill(const PixelBox& box, std::uint32_t rgb) noexcept {
    const PixelBox clipped = box.intersect({0, 0, width_, height_});
    if (clipped.empty()) return;
    for (int y = clipped.top; y < clipped.bottom; ++y)
        std::fill(row(y) + clipped.left, row(y) + clipped.right, rgb & 0xFFFFFFu);
    addDamage(clipped);
}

namespace {
long long areaOf(const PixelBox& box) noexcept {
    return box.empty() ? 0 : static_cast<long long>(box.right - box.left) * (box.bottom - box.top);
}
}  // namespace

void Surface::addDamage(const PixelBox& box) noexcept {
    PixelBox added = box.intersect({0, 0, width_, height_});
    if (added.empty()) return;
    // Merge with every box it overlaps (so no pixel is presented twice) or whose union costs no
    // extra pixels, until none is left to merge with.
    for (bool merged = true; merged;) {
        merged = false;
        for (int i = 0; i < damageCount_; ++i) {
            const PixelBox& old = damageBoxes_[i];
            const PixelBox both = old.unite(added);
            if (!old.intersect(added).empty() || areaOf(both) <= areaOf(old) + areaOf(added)) {
                added = both;
                damageBoxes_[i] = damageBoxes_[--damageCount_];
                merged = true;
                break;
            }
        }
    }
    if (damageCount_ < kDamageBoxes) {
        damageBoxes_[damageCount_++] = added;
        return;
    }
    // Full: the new box joins the one whose union with it adds the fewest pixels. The result may
    // then overlap another box, so it goes through the merging again.
    int best = 0;
    long long bestCost = -1;
    for (int i = 0; i < damageCount_; ++i) {
        const long long cost = areaOf(damageBoxes_[i].unite(added)) - areaOf(damageBoxes_[i]) - areaOf(added);
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            best = i;
        }
    }
    const PixelBox joined = damageBoxes_[best].unite(added);
    damageBoxes_[best] = damageBoxes_[--damageCount_];
    addDamage(joined);
}

PixelBox Surface::damage() const noexcept {
    PixelBox all;
    for (int i = 0; i < damageCount_; ++i) all = all.unite(damageBoxes_[i]);
    return all;
}

PixelBox Surface::takeDamage() noexcept {
    const PixelBox taken = damage();
    damageCount_ = 0;
    return taken;
}

int Surface::takeDamageBoxes(PixelBox (&out)[kDamageBoxes]) noexcept {
    const int count = damageCount_;
    for (int i = 0; i < count; ++i) out[i] = damageBoxes_[i];
    damageCount_ = 0;
    return count;
}

void copyBlock(const Surface& source, int sx, int sy, Surface& destination, int dx, int dy, int w,
               int h) noexcept {
    // Clip the block so that both the source and the destination rectangles lie inside their surfaces.
    if (sx < 0) {
        dx -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        dy -= sy;
        h += sy;
        sy = 0;
    }
    if (dx < 0) {
        sx -= dx;
        w += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy -= dy;
        h += dy;
        dy = 0;
    }
    w = std::min({w, source.width() - sx, destination.width() - dx});
    h = std::min({h, source.height() - sy, destination.height() - dy});
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) std::copy_n(source.row(sy + y) + sx, w, destination.row(dy + y) + dx);
    destination.addDamage({dx, dy, dx + w, dy + h});
}

}  // namespace flanger::platform
