// Skin bitmap loading, opaque and colour-keyed drawing, and the bitmap set.
#include "gui/SkinBitmap.h"

#include <algorithm>

#include "gui/BmpDecoder.h"
#include "gui/Resample.h"

namespace flanger::gui {

namespace {

// The module carries each skin bitmap a second time, drawn at 200 %, under its id + 1000.
constexpr int kDoubleScaleIds = 1000;

}  // namespace

SkinBitmap::SkinBitmap(int resourceId, int scalePercent) noexcept : id(resourceId) {
    load(scalePercent);
}

SkinBitmap::SkinBitmap(int resourceId, platform::Surface image, int scalePercent) noexcept
    : id(resourceId), scale{scalePercent > 0 ? scalePercent : 100}, pixels(std::move(image)) {
    const Point last = scale.toLogical(Point{pixels.width() - 1, pixels.height() - 1});
    width = last.h + 1;
    height = last.v + 1;
    if (pixels.empty()) width = height = 0;
}

void SkinBitmap::load(int scalePercent) noexcept {
    if (scalePercent > 100) {
        std::optional<platform::Surface> twice = gui::loadBitmapResource(id + kDoubleScaleIds);
        if (twice && !twice->empty()) {
            width = (twice->width() + 1) / 2;
            height = (twice->height() + 1) / 2;
            const PixelScale wanted{std::min(scalePercent, 200)};
            if (wanted.percent < 200) {
                platform::Surface fewer =
                    averageDown(*twice, wanted.edge(width), wanted.edge(height), std::nullopt);
                if (!fewer.empty()) {
                    pixels = std::move(fewer);
                    scale = wanted;
                    averaged = true;
                    return;
                }
            }
            pixels = std::move(*twice);
            scale = PixelScale{200};
            return;
        }
    }
    std::optional<platform::Surface> loaded = gui::loadBitmapResource(id);
    if (loaded) {
        pixels = std::move(*loaded);
        width = pixels.width();
        height = pixels.height();
    }
}

void SkinBitmap::release() noexcept {
    if (references <= 0) return;
    if (--references == 0) delete this;
}

void SkinBitmap::setTransparentColor(Color color) noexcept {
    if (color.sameRgb(keyColor)) return;
    keyColor = color;
    mask.clear();  // the cached mask belongs to the old key
}

void SkinBitmap::drawResampled(platform::Surface& target, const Canvas& canvas, const Rect& destRect,
                               Point sourceOffset, bool keyed) const noexcept {
    const platform::PixelBox to =
        canvas.toDevice(destRect).intersect({0, 0, target.width(), target.height()});
    if (to.empty()) return;
    const platform::PixelBox whole = canvas.toDevice(destRect);
    const double toLogical = 100.0 / canvas.pixelScale().percent;
    const double toImage = scale.percent / 100.0;
    for (int y = to.top; y < to.bottom; ++y) {
        const double v = sourceOffset.v + (y - whole.top + 0.5) * toLogical;
        const int sy = static_cast<int>(v * toImage);
        if (v < 0 || sy >= pixels.height()) continue;
        for (int x = to.left; x < to.right; ++x) {
            const double u = sourceOffset.h + (x - whole.left + 0.5) * toLogical;
            const int sx = static_cast<int>(u * toImage);
            if (u < 0 || sx >= pixels.width()) continue;
            if (keyed && mask[static_cast<std::size_t>(sy) * pixels.width() + sx] != 0) continue;
            target.setPixel(x, y, pixels.pixel(sx, sy));
        }
    }
    target.addDamage(to);
}

void SkinBitmap::draw(Canvas& canvas, const Rect& destRect, Point sourceOffset) const noexcept {
    platform::Surface* target = canvas.deviceContext();
    if (target == nullptr || pixels.empty()) return;
    if (canvas.pixelScale().percent != scale.percent) {
        drawResampled(*target, canvas, destRect, sourceOffset, false);
        return;
    }
    const platform::PixelBox to = canvas.toDevice(destRect);
    const Point from = scale.toPhysical(sourceOffset);
    platform::copyBlock(pixels, from.h, from.v, *target, to.left, to.top, to.right - to.left,
                        to.bottom - to.top);
}

void SkinBitmap::buildMask() noexcept {
    if (averaged) {
        // Averaged without a key, the edges blend the key into the picture: average again,
        // keeping the key apart.
        std::optional<platform::Surface> twice = gui::loadBitmapResource(id + kDoubleScaleIds);
        if (twice) {
            platform::Surface keyed = averageDown(*twice, pixels.width(), pixels.height(), keyColor.pixel());
            if (!keyed.empty()) pixels = std::move(keyed);
        }
    }
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
    if (canvas.pixelScale().percent != scale.percent) {
        drawResampled(*target, canvas, destRect, sourceOffset, true);
        return;
    }
    const platform::PixelBox to = canvas.toDevice(destRect);
    const Point from = scale.toPhysical(sourceOffset);
    int sx = from.h, sy = from.v;
    int dx = to.left, dy = to.top;
    int w = to.right - to.left, h = to.bottom - to.top;
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
    w = std::min({w, pixels.width() - sx, target->width() - dx});
    h = std::min({h, pixels.height() - sy, target->height() - dy});
    if (w <= 0 || h <= 0) return;
    for (int y = 0; y < h; ++y) {
        const std::uint32_t* src = pixels.row(sy + y) + sx;
        const std::uint8_t* keyed = mask.data() + static_cast<std::size_t>(sy + y) * pixels.width() + sx;
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

void BitmapSet::load(int first, int number, int main, int scalePercent) noexcept {
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
        SkinBitmap* bitmap = new (std::nothrow) SkinBitmap(first + i, scalePercent);
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
