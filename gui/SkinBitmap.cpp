// Skin bitmap loading, opaque and colour-keyed drawing, and the bitmap set.
#include "gui/SkinBitmap.h"

#include <algorithm>

#include "gui/BmpDecoder.h"

namespace flanger::gui {

SkinBitmap::SkinBitmap(int resourceId) noexcept : id(resourceId) {
    std::optional<platform::Surface> loaded = gui::loadBitmapResource(resourceId);
    if (loaded) {
        pixels = std::move(*loaded);
        width = pixels.width();
        height = pixels.height();
    }
}

SkinBitmap::SkinBitmap(int resourceId, platform::Surface image) noexcept
    : id(resourceId), width(image.width()), height(image.height()), pixels(std::move(image)) {}

void SkinBitmap::release() noexcept {
    if (references <= 0) return;
    if (--references == 0) delete this;
}

void SkinBitmap::setTransparentColor(Color color) noexcept {
    if (color.sameRgb(keyColor)) return;
    keyColor = color;
    mask.clear();  // the cached mask belongs to the old key
}

void SkinBitmap::draw(Canvas& canvas, const Rect& destRect, Point sourceOffset) const noexcept {
    platform::Surface* target = canvas.deviceContext();
    if (target == nullptr || pixels.empty()) return;
    platform::copyBlock(pixels, sourceOffset.h, sourceOffset.v, *target, destRect.left + canvas.offset().h,
                        destRect.top + canvas.offset().v, destRect.width(), destRect.height());
}

void SkinBitmap::buildMask() noexcept {
    try {
        mask.assign(pixels.pixels().size(), 0);
    } catch (...) {
        mask.clear();
        return;
    }
    const std::uint32_t key = keyColor.pixel();
    for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = pixels.pixels()[i] == key ? 1 : 0;
}

void SkinBitmap::drawKeyed(Canvas& canvas, const Rect& destRect, Point sourceOffset) noexcept {
    platform::Surface* target = canvas.deviceContext();
    if (target == nullptr || pixels.empty()) return;
    if (mask.empty()) buildMask();
    if (mask.empty()) return;
    int sx = sourceOffset.h, sy = sourceOffset.v;
    int dx = destRect.left + canvas.offset().h, dy = destRect.top + canvas.offset().v;
    int w = destRect.width(), h = destRect.height();
    // The same clipping as an opaque block copy: both rectangles inside their surfaces.
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
    w = std::min({w, width - sx, target->width() - dx});
    h = std::min({h, height - sy, target->height() - dy});
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* src = pixels.row(sy + y) + sx;
        const std::uint8_t* keyed = mask.data() + static_cast<std::size_t>(sy + y) * width + sx;
        std::uint32_t* dst = target->row(dy + y) + dx;
        for (int x = 0; x < w; ++x) {
            if (keyed[x] == 0) dst[x] = src[x];
        }
    }
    target->addDamage({dx, dy, dx + w, dy + h});
}

BitmapSet::~BitmapSet() {
    clear();
}

void BitmapSet::clear() noexcept {
    for (SkinBitmap* bitmap : bitmaps) {
        if (bitmap != nullptr) bitmap->release();
    }
    bitmaps.clear();
    ids.clear();
    count = 0;
}

void BitmapSet::load(int first, int number, int main) noexcept {
    clear();
    firstId = first;
    mainId = main == -1 ? first : main;
    if (number <= 0) return;
    try {
        ids.assign(static_cast<std::size_t>(number), -1);
        bitmaps.assign(static_cast<std::size_t>(number), nullptr);
    } catch (...) {
        ids.clear();
        bitmaps.clear();
        return;
    }
    count = number;
    for (int i = 0; i < number; ++i) {
        SkinBitmap* bitmap = new (std::nothrow) SkinBitmap(first + i);
        bitmaps[static_cast<std::size_t>(i)] = bitmap;
        ids[static_cast<std::size_t>(i)] = bitmap != nullptr ? first + i : -1;
    }
}

SkinBitmap* BitmapSet::get(int id) const noexcept {
    const long slot = static_cast<long>(id) - firstId;
    if (slot < 0 || slot >= count) return nullptr;
    if (ids[static_cast<std::size_t>(slot)] == -1) return nullptr;
    return bitmaps[static_cast<std::size_t>(slot)];
}

int BitmapSet::getWidth(int id) const noexcept {
    const SkinBitmap* bitmap = get(id);
    return bitmap != nullptr ? bitmap->getWidth() : 0;
}

int BitmapSet::getHeight(int id) const noexcept {
    const SkinBitmap* bitmap = get(id);
    return bitmap != nullptr ? bitmap->getHeight() : 0;
}

void BitmapSet::releaseSlot(int id) noexcept {
    SkinBitmap* bitmap = get(id);
    if (bitmap == nullptr) return;
    const auto slot = static_cast<std::size_t>(id - firstId);
    bitmap->release();
    bitmaps[slot] = nullptr;
    ids[slot] = -1;
}

}  // namespace flanger::gui
