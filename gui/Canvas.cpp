// Canvas rasterisation: lines by the classic rule (every pixel of the Bresenham line except the
// end point), interior fills, one-line text and pointer queries.
#include "gui/Canvas.h"

#include <algorithm>
#include <cstdlib>

#include "gui/SkinBitmap.h"

namespace flanger::gui {

Canvas::Canvas(FrameView* frame, platform::Surface* deviceContext, platform::Window* window) noexcept
    : surface(deviceContext), targetWindow(window), owner(frame) {
    if (window != nullptr) {
        const platform::ScreenPoint where = window->screenOrigin();
        origin = {where.x, where.y};
        // The frame's bounds are its window's size: the frame creates the window at its own size.
        const platform::Surface& backing = window->backing();
        clip = {0, 0, backing.width(), backing.height()};
    }
}

Canvas::~Canvas() {
    // Like ending a paint: whatever this canvas drew into its window's backing is shown now.
    if (targetWindow != nullptr && surface == &targetWindow->backing()) targetWindow->present();
}

platform::Platform& Canvas::livePlatform() noexcept {
    return targetWindow != nullptr ? targetWindow->owner() : platform::currentPlatform();
}

void Canvas::movePen(Point point) noexcept {
    pen = {point.h + drawOffset.h, point.v + drawOffset.v};
    dashPhase = 0;
}

void Canvas::plot(int x, int y) noexcept {
    // Wide pens stamp a square centred on the line; the dotted style applies to one-pixel pens only
    // (wider dotted pens draw solid, as the platform's cosmetic pens do).
    if (penWidth <= 1) {
        if (dashStyle == 1 && (dashPhase++ & 1) != 0) return;
        surface->setPixel(x, y, frameColor.pixel());
        return;
    }
    const int half = (penWidth - 1) / 2;
    surface->fill({x - half, y - half, x - half + penWidth, y - half + penWidth}, frameColor.pixel());
}

void Canvas::drawLineTo(Point point) noexcept {
    const Point to{point.h + drawOffset.h, point.v + drawOffset.v};
    if (surface != nullptr) {
        int x = pen.h, y = pen.v;
        const int dx = std::abs(to.h - x), dy = -std::abs(to.v - y);
        const int sx = x < to.h ? 1 : -1, sy = y < to.v ? 1 : -1;
        int error = dx + dy;
        int minX = x, minY = y, maxX = x, maxY = y;
        while (x != to.h || y != to.v) {
            plot(x, y);
            minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
            maxY = std::max(maxY, y);
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                x += sx;
            }
            if (twice <= dx) {
                error += dx;
                y += sy;
            }
        }
        surface->addDamage({minX - penWidth, minY - penWidth, maxX + penWidth + 1, maxY + penWidth + 1});
    }
    pen = to;
}

void Canvas::setDashStyle(int style) noexcept {
    dashStyle = style == 1 ? 1 : 0;
}
void Canvas::setPenColor(Color color) noexcept {
    frameColor = color;
}
void Canvas::setLineWidth(int width) noexcept {
    penWidth = std::max(1, width);
}
void Canvas::setBrushColor(Color color) noexcept {
    fillColor = color;
}
void Canvas::setTextInk(Color color) noexcept {
    fontColor = color;
}

void Canvas::selectFont(int fontId, int size, int style) noexcept {
    fontRequest = makeFontRequest(fontId, size, style);
    fontSelected = true;
}

void Canvas::outlineRect(const Rect& rect) noexcept {
    movePen({rect.left, rect.top});
    drawLineTo({rect.right, rect.top});
    drawLineTo({rect.right, rect.bottom});
    drawLineTo({rect.left, rect.bottom});
    drawLineTo({rect.left, rect.top});
}

void Canvas::fillInterior(const Rect& rect) noexcept {
    if (surface == nullptr) return;
    const Rect r = rect.movedBy(drawOffset.h, drawOffset.v);
    surface->fill({r.left + 1, r.top + 1, r.right, r.bottom}, fillColor.pixel());
}

void Canvas::drawTextLine(const char* text, const Rect& rect, int opaque, int align) noexcept {
    if (text == nullptr || surface == nullptr) return;
    if (!fontSelected) selectFont(0, 0, 0);
    Rect r = rect.movedBy(drawOffset.h, drawOffset.v);
    if (align != 1 && align != 2) r.left += 1;
    const TextMetrics metrics = measureText(fontRequest, text);
    int x = r.left;
    if (align == 1) x = r.left + (r.width() - metrics.width) / 2;
    if (align == 2) x = r.right - metrics.width;
    // Vertically centred: the line's cell (ascent + descent) in the middle of the rectangle.
    const int top = r.top + (r.height() - metrics.height()) / 2;
    const platform::PixelBox clipBox{r.left, r.top, r.right, r.bottom};
    if (opaque != 0)
        surface->fill(
            platform::PixelBox{x, top, x + metrics.width, top + metrics.height()}.intersect(clipBox),
            fillColor.pixel());
    drawText(*surface, fontRequest, text, x, top + metrics.ascent, fontColor.pixel(), clipBox);
}

std::uint32_t Canvas::readButtons() noexcept {
    platform::Platform& live = livePlatform();
    const platform::PointerState state = live.readPointer();
    const bool swapped = live.buttonsSwapped();
    std::uint32_t bits = 0;
    if ((state.buttons & platform::kLeftButton) != 0) bits |= swapped ? kSecondaryButton : kPrimaryButton;
    if ((state.buttons & platform::kRightButton) != 0) bits |= swapped ? kPrimaryButton : kSecondaryButton;
    if ((state.buttons & platform::kMiddleButton) != 0) bits |= kMiddleButton;
    if (state.shift) bits |= kShiftKey;
    if (state.control) bits |= kControlKey;
    if (state.alt) bits |= kAltKey;
    return bits;
}

void Canvas::readPointer(Point& out) noexcept {
    const platform::PointerState state = livePlatform().trackPointer();
    out = {state.position.x - origin.h, state.position.y - origin.v};
}

void Canvas::currentPointer(Point& out) noexcept {
    const platform::PointerState state = livePlatform().readPointer();
    out = {state.position.x - origin.h, state.position.y - origin.v};
}

OffscreenCanvas::OffscreenCanvas(FrameView* frame, int width, int height, Color background) noexcept
    : Canvas(frame, nullptr, nullptr),
      surfaceHeight(height),
      surfaceWidth(width),
      backgroundColor(background) {
    setClipRect({std::min(0, width), std::min(0, height), std::max(0, width), std::max(0, height)});
    try {
        memory = platform::Surface(width, height);
    } catch (...) {
        return;  // no surface: the canvas draws nothing
    }
    attachSurface(&memory);
    setBrushColor(background);
    setPenColor(background);
    fillInterior({0, 0, width, height});
    outlineRect({0, 0, width, height});
}

OffscreenCanvas::~OffscreenCanvas() {
    setBitmap(nullptr);
}

void OffscreenCanvas::setBitmap(SkinBitmap* bitmap) noexcept {
    if (bitmap != nullptr) bitmap->retain();
    if (heldBitmap != nullptr) heldBitmap->release();
    heldBitmap = bitmap;
}

void OffscreenCanvas::blitTo(Canvas& destination, const Rect& destRect, Point sourceOffset) noexcept {
    platform::Surface* target = destination.deviceContext();
    if (target == nullptr || memory.empty() || target == &memory) return;
    const Point at{destRect.left + destination.offset().h, destRect.top + destination.offset().v};
    platform::copyBlock(memory, sourceOffset.h, sourceOffset.v, *target, at.h, at.v, destRect.width(),
                        destRect.height());
}

}  // namespace flanger::gui
