// Canvas rasterisation: lines by the classic rule (every pixel of the Bresenham line except the
// end point), interior fills, one-line text and pointer queries.
#include "gui/Canvas.h"

#include <algorithm>
#include <cstdlib>

#include "gui/SkinBitmap.h"

namespace flanger::gui {

Canvas::Canvas(FrameView* frame, platform::Surface* deviceContext, platform::Window* window,
               PixelScale scale) noexcept
    : surface(deviceContext), targetWindow(window), owner(frame), scaling(scale) {
    if (scaling.percent <= 0) scaling = {};
    if (window != nullptr) {
        const platform::ScreenPoint where = window->screenOrigin();
        origin = {where.x, where.y};
        // The frame's bounds are its window's size: the frame creates the window at its own size.
        const platform::Surface& backing = window->backing();
        clip = scaling.coveringLogical({0, 0, backing.width(), backing.height()});
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
    // (wider dotted pens draw solid, as the platform's cosmetic pens do). Scaled, a one-pixel pen
    // is a square of one logical pixel with its corner on the line, and a dot one such square.
    const int width = devicePenWidth();
    const bool dotted = dashStyle == 1 && penWidth <= 1;
    if (width <= 1) {
        if (dotted && (dashPhase++ & 1) != 0) return;
        surface->setPixel(x, y, frameColor.pixel());
        return;
    }
    if (dotted && dashPhase++ % (2 * width) != 0) return;
    const int half = scaling.edge((penWidth - 1) / 2);
    surface->fill({x - half, y - half, x - half + width, y - half + width}, frameColor.pixel());
}

void Canvas::drawLineTo(Point point) noexcept {
    const Point to{point.h + drawOffset.h, point.v + drawOffset.v};
    if (surface != nullptr) {
        const Point end = scaling.toPhysical(to);
        const Point start = scaling.toPhysical(pen);
        int x = start.h, y = start.v;
        const int dx = std::abs(end.h - x), dy = -std::abs(end.v - y);
        const int sx = x < end.h ? 1 : -1, sy = y < end.v ? 1 : -1;
        int error = dx + dy;
        int minX = x, minY = y, maxX = x, maxY = y;
        while (x != end.h || y != end.v) {
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
        const int width = devicePenWidth();
        surface->addDamage({minX - width, minY - width, maxX + width + 1, maxY + width + 1});
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
    surface->fill(scaling.toPhysical(Rect{r.left + 1, r.top + 1, r.right, r.bottom}), fillColor.pixel());
}

FontRequest Canvas::deviceFont() const noexcept {
    FontRequest request = fontSelected ? fontRequest : makeFontRequest(0, 0, 0);
    request.pixelSize = scaling.lengthToPhysical(request.pixelSize);
    return request;
}

void Canvas::drawTextLine(const char* text, const Rect& rect, int opaque, int align) noexcept {
    if (text == nullptr || surface == nullptr) return;
    if (!fontSelected) selectFont(0, 0, 0);
    const Rect logical = rect.movedBy(drawOffset.h, drawOffset.v);
    platform::PixelBox r = scaling.toPhysical(logical);
    if (align != 1 && align != 2) r.left = scaling.physicalX(logical.left + 1);
    const FontRequest font = deviceFont();
    const TextMetrics metrics = measureText(font, text);
    int x = r.left;
    if (align == 1) x = r.left + (r.right - r.left - metrics.width) / 2;
    if (align == 2) x = r.right - metrics.width;
    // Vertically centred: the line's cell (ascent + descent) in the middle of the rectangle.
    const int top = r.top + (r.bottom - r.top - metrics.height()) / 2;
    if (opaque != 0)
        surface->fill(platform::PixelBox{x, top, x + metrics.width, top + metrics.height()}.intersect(r),
                      fillColor.pixel());
    drawText(*surface, font, text, x, top + metrics.ascent, fontColor.pixel(), r);
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
    out = scaling.toLogical(Point{state.position.x - origin.h, state.position.y - origin.v});
}

void Canvas::currentPointer(Point& out) noexcept {
    const platform::PointerState state = livePlatform().readPointer();
    out = scaling.toLogical(Point{state.position.x - origin.h, state.position.y - origin.v});
}

OffscreenCanvas::OffscreenCanvas(FrameView* frame, int width, int height, Color background,
                                 PixelScale scale) noexcept
    : Canvas(frame, nullptr, nullptr, scale),
      surfaceHeight(height),
      surfaceWidth(width),
      backgroundColor(background) {
    setClipRect({std::min(0, width), std::min(0, height), std::max(0, width), std::max(0, height)});
    try {
        memory = platform::Surface(pixelScale().physicalX(width), pixelScale().physicalY(height),
                                   background.pixel());
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
    const platform::PixelBox to = destination.toDevice(destRect);
    const Point from = pixelScale().toPhysical(sourceOffset);
    platform::copyBlock(memory, from.h, from.v, *target, to.left, to.top, to.right - to.left,
                        to.bottom - to.top);
}

}  // namespace flanger::gui
