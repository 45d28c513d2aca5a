// Skin bitmaps loaded from the module's resources by numeric id, shared by reference count and
// drawn opaque or colour-keyed; and the run of consecutive ids an editor loads as one set.
// A bitmap is loaded for one scale; its size is logical, its pixels are at that scale.
#pragma once

#include <cstdint>
#include <vector>

#include "gui/Canvas.h"
#include "gui/Color.h"
#include "gui/Geometry.h"
#include "platform/Surface.h"

namespace flanger::gui {

class SkinBitmap {
public:
    // A bitmap that cannot be loaded has size 0 and draws nothing. At 200 % the module's picture
    // drawn at 200 % is used, between 100 and 200 % that one averaged down; where the module has
    // none, the 100 % one.
    explicit SkinBitmap(int resourceId, int scalePercent = 100) noexcept;
    // An image supplied directly (tests, generated pictures), under the given id, with pixels at
    // the given scale.
    SkinBitmap(int resourceId, platform::Surface image, int scalePercent = 100) noexcept;
    SkinBitmap(const SkinBitmap&) = delete;
    SkinBitmap& operator=(const SkinBitmap&) = delete;

    void draw(Canvas& canvas, const Rect& destRect, Point sourceOffset) const noexcept;
    // Drawn into a canvas of another scale than the bitmap's, the pixels are picked nearest.
    // Pixels equal to the transparent colour leave the destination unchanged; the image itself is
    // never touched. The key mask is built on the first keyed draw and kept.
    void drawKeyed(Canvas& canvas, const Rect& destRect, Point sourceOffset) noexcept;

    void retain() noexcept { ++references; }
    void release() noexcept;  // the release that takes the count from 1 to 0 destroys the bitmap
    int referenceCount() const noexcept { return references; }

    int getWidth() const noexcept { return width; }  // logical
    int getHeight() const noexcept { return height; }
    int imageScale() const noexcept { return scale.percent; }
    int resourceId() const noexcept { return id; }
    void setTransparentColor(Color color) noexcept;
    bool hasMask() const noexcept { return !mask.empty(); }
    const platform::Surface& image() const noexcept { return pixels; }

private:
    ~SkinBitmap() = default;  // only release() destroys
    void load(int scalePercent) noexcept;
    void buildMask() noexcept;
    // The block at destination box `to` from logical source offset, pixel by pixel, for a
    // canvas of another scale.
    void drawResampled(platform::Surface& target, const Canvas& canvas, const Rect& destRect,
                       Point sourceOffset, bool keyed) const noexcept;

    int id;
    int references = 1;
    int width = 0;
    int height = 0;
    PixelScale scale;
    bool averaged = false;  // pixels averaged down from the 200 % picture
    Color keyColor = colors::defaultTransparent;
    platform::Surface pixels;
    std::vector<std::uint8_t> mask;  // 1 where the image shows the transparent colour
};

class BitmapSet {
public:
    BitmapSet() = default;
    ~BitmapSet();
    BitmapSet(const BitmapSet&) = delete;
    BitmapSet& operator=(const BitmapSet&) = delete;

    // Loads ids firstId … firstId + count − 1; mainId −1 means the first id. A second load
    // releases what the first one loaded.
    // scalePercent is the scale the bitmaps are loaded for.
    void load(int firstId, int count, int mainId = -1, int scalePercent = 100) noexcept;
    // Null when id − first id is outside 0 … count − 1 or the slot's id is −1.
    SkinBitmap* get(int id) const noexcept;
    int getWidth(int id) const noexcept;
    int getHeight(int id) const noexcept;
    SkinBitmap* getMain() const noexcept { return get(mainId); }
    // Releases one slot's bitmap and marks the slot empty (id −1).
    void releaseSlot(int id) noexcept;

    int size() const noexcept { return count; }

private:
    void clear() noexcept;

    int mainId = -1;
    int firstId = 0;
    int count = 0;
    std::vector<int> ids;
    std::vector<SkinBitmap*> bitmaps;
};

}  // namespace flanger::gui
