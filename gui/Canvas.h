// The drawing context every paint goes through: pen, brush, text ink, font and offset over one
// pixel surface (a window's backing or an offscreen one), plus the pointer and buttons.
// Lines, rectangles, text and block copies are rasterised here, so every backend gives the same pixels.
// Callers draw in logical coordinates; the canvas draws them at its scale in physical pixels.
#pragma once

#include <cstdint>

#include "gui/Color.h"
#include "gui/Fonts.h"
#include "gui/Geometry.h"
#include "gui/PixelScale.h"
#include "platform/Platform.h"

namespace flanger::gui {

class FrameView;
class SkinBitmap;

// Button state bits as controls see them (the swapped-buttons setting already applied).
enum ButtonBits : std::uint32_t {
    kPrimaryButton = 1,
    kMiddleButton = 2,
    kSecondaryButton = 4,
    kShiftKey = 8,
    kControlKey = 16,
    kAltKey = 32,
};

class Canvas {
public:
    // deviceContext is the surface drawn into (null: drawing does nothing); window, when given,
    // supplies the screen origin and is presented when the canvas goes away.
    // scale maps the logical coordinates callers draw at to the surface's physical pixels.
    Canvas(FrameView* frame, platform::Surface* deviceContext, platform::Window* window,
           PixelScale scale = {}) noexcept;
    virtual ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void movePen(Point point) noexcept;
    void drawLineTo(Point point) noexcept;
    void setDashStyle(int style) noexcept;
    void setPenColor(Color color) noexcept;
    void setLineWidth(int width) noexcept;
    void setBrushColor(Color color) noexcept;
    void setTextInk(Color color) noexcept;
    void selectFont(int fontId, int size, int style) noexcept;
    void outlineRect(const Rect& rect) noexcept;
    void fillInterior(const Rect& rect) noexcept;
    void drawTextLine(const char* text, const Rect& rect, int opaque, int align) noexcept;
    // Buttons and modifiers as the events handled so far leave them (down at a press being handled,
    // even when its release is already queued).
    std::uint32_t readButtons() noexcept;
    // For tracking loops, once per pass: the pointer after the next queued pointer event, which
    // then counts as handled (readButtons sees its buttons). A press with its release queued thus
    // reads down, then up: a whole click, however late the host delivered it.
    void readPointer(Point& out) noexcept;
    // The pointer as the events handled so far leave it, taking nothing from the queue.
    void currentPointer(Point& out) noexcept;

    const PixelScale& pixelScale() const noexcept { return scaling; }
    // The physical pixels of a logical rectangle, the offset applied: for code drawing pixels
    // straight into deviceContext().
    platform::PixelBox toDevice(const Rect& rect) const noexcept {
        return scaling.toPhysical(rect.movedBy(drawOffset.h, drawOffset.v));
    }
    // The scale of an offscreen block to be copied to destRect here (see OffscreenCanvas::blitTo).
    PixelScale blockScale(const Rect& destRect) const noexcept {
        return scaling.anchoredAt({destRect.left + drawOffset.h, destRect.top + drawOffset.v});
    }
    // The font as it is rasterised: the selected one at the canvas's scale.
    FontRequest deviceFont() const noexcept;

    Point offset() const noexcept { return drawOffset; }
    void setOffset(Point point) noexcept { drawOffset = point; }
    Rect clipRect() const noexcept { return clip; }
    void setClipRect(const Rect& rect) noexcept { clip = rect; }  // stored, not applied to drawing
    Point windowOrigin() const noexcept { return origin; }
    platform::Surface* deviceContext() const noexcept { return surface; }
    platform::Window* window() const noexcept { return targetWindow; }
    FrameView* frame() const noexcept { return owner; }

    Color penColor() const noexcept { return frameColor; }
    Color brushColor() const noexcept { return fillColor; }
    Color textInk() const noexcept { return fontColor; }
    int lineWidth() const noexcept { return penWidth; }
    int lineStyle() const noexcept { return dashStyle; }
    // Valid after selectFont; callers always select a font before drawing text.
    const FontRequest& font() const noexcept { return fontRequest; }
    int fontId() const noexcept { return fontRequest.fontId; }
    int fontSize() const noexcept { return fontRequest.pixelSize; }

protected:
    // For OffscreenCanvas, which creates its surface after the Canvas part.
    void attachSurface(platform::Surface* target) noexcept { surface = target; }

private:
    platform::Platform& livePlatform() noexcept;
    void plot(int x, int y) noexcept;
    int devicePenWidth() const noexcept { return scaling.lengthToPhysical(penWidth); }

    Point origin;
    Point drawOffset;
    platform::Surface* surface;
    platform::Window* targetWindow;
    FrameView* owner;
    FontRequest fontRequest;
    bool fontSelected = false;
    Color fontColor = colors::white;
    int penWidth = 1;
    Color frameColor = colors::white;
    Color fillColor = colors::black;
    int dashStyle = 0;
    Rect clip{0, 0, 1000, 1000};
    PixelScale scaling;
    Point pen;          // logical coordinates, offset applied
    int dashPhase = 0;  // physical steps taken along the current polyline, for the dot pattern
};

// A canvas over a memory surface of its own, filled with a background colour; controls draw into
// one and copy it to the window in one block.
class OffscreenCanvas : public Canvas {
public:
    // width and height are logical; the surface is as large as they are at scale, which is the
    // destination's blockScale for the rectangle the block will be copied to.
    OffscreenCanvas(FrameView* frame, int width, int height, Color background,
                    PixelScale scale = {}) noexcept;
    ~OffscreenCanvas() override;

    // Copies the destRect-sized block at sourceOffset in this surface to destRect (+ the
    // destination's offset) in the destination.
    void blitTo(Canvas& destination, const Rect& destRect, Point sourceOffset) noexcept;

    // An optional bitmap the surface is kept with; retained here, released on destruction.
    void setBitmap(SkinBitmap* bitmap) noexcept;
    SkinBitmap* bitmap() const noexcept { return heldBitmap; }
    int width() const noexcept { return surfaceWidth; }  // logical
    int height() const noexcept { return surfaceHeight; }
    Color background() const noexcept { return backgroundColor; }
    const platform::Surface& pixels() const noexcept { return memory; }

private:
    SkinBitmap* heldBitmap = nullptr;
    int surfaceHeight;
    int surfaceWidth;
    Color backgroundColor;
    platform::Surface memory;
};

}  // namespace flanger::gui
