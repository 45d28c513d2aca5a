// Rotary knobs: a background with a handle (bitmap or line) on an arc, and the film-strip knob
// that shows one frame per value. Both drag circularly or linearly by the module-wide knob mode.
#pragma once

#include <cstdint>

#include "gui/Color.h"
#include "gui/Control.h"
#include "gui/controls/DragMath.h"

namespace flanger::gui::controls {

// The knob mode value that selects linear dragging; every other mode drags circularly.
inline constexpr std::int32_t kLinearKnobMode = 2;

// Whether a drag that starts with these buttons runs linearly: the module's knob mode, which
// Alt inverts for this one drag.
bool dragsLinearly(std::int32_t mode, std::uint32_t buttons) noexcept;

class RotaryKnob : public Control {
public:
    // handle may be null (a line handle is drawn); both bitmaps are retained.
    RotaryKnob(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background,
               SkinBitmap* handle, Point backgroundOffset);
    ~RotaryKnob() override;

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    bool onWheelTurn(Canvas* canvas, Point where, float distance) override;
    std::int32_t onKeyPress(const KeyCode& key) override;
    bool stepsWithArrows() const override { return true; }

    virtual void paintPointer(Canvas& canvas);
    virtual void setArcStart(float radians);
    virtual float getArcStart() const { return arc.start; }
    virtual void setArcSweep(float radians);
    virtual float getArcSweep() const { return arc.range; }
    virtual void pointerPosition(Point& out) const;
    // where is relative to the knob's top-left.
    virtual float valueAtPoint(Point where) const;
    virtual void setPointerInset(int pixels) { inset = pixels; }
    virtual void setPointerShadowColor(Color color);
    virtual void setPointerColor(Color color);
    // Releases the old bitmap, retains the new one; null leaves the inset as it is.
    virtual void setPointerBitmap(SkinBitmap* bitmap);
    virtual void setFineFactor(float factor) { fineFactor = factor; }
    virtual float getFineFactor() const { return fineFactor; }

    int pointerInset() const noexcept { return inset; }
    SkinBitmap* pointerBitmap() const noexcept { return handleBitmap; }
    Point backgroundOffset() const noexcept { return offset; }
    const KnobArc& knobArc() const noexcept { return arc; }

protected:
    // Background at the size rectangle (keyed ones over the frame's background first).
    void drawKnobBackground(Canvas& canvas, Point sourceOffset);

    Point offset;
    Color handleColor = colors::white;
    Color handleShadowColor = colors::grey;
    SkinBitmap* handleBitmap = nullptr;
    int inset = 3;
    KnobArc arc;
    float radius;
    float fineFactor = 1.5f;
};

class StripKnob : public RotaryKnob {
public:
    StripKnob(const Rect& size, ValueListener* listener, std::int32_t tag, std::int32_t frameCount,
              std::int32_t frameHeight, SkinBitmap* background, Point backgroundOffset);

    void draw(Canvas& canvas) override;

    std::int32_t frames() const noexcept { return frameCount; }
    std::int32_t heightOfFrame() const noexcept { return frameHeight; }
    int shownFrame() const noexcept { return stripFrameIndex(value, frameCount, frameHeight); }

private:
    std::int32_t frameCount;
    std::int32_t frameHeight;
};

}  // namespace flanger::gui::controls
