// Rotary and strip knobs: drawing from the arc geometry, and the drag loop that turns pointer
// motion into values through the linear or circular drag arithmetic.
#include "gui/controls/RotaryKnob.h"

#include <climits>
#include <cmath>

#include "gui/FrameView.h"
#include "gui/KnobMode.h"
#include "gui/SkinBitmap.h"
#include "gui/controls/ControlDrawing.h"

namespace flanger::gui::controls {

namespace {
int insetForHandle(const SkinBitmap& handle) noexcept {
    return static_cast<int>(std::floor(handle.getWidth() * 0.5 + 2.5));
}
}  // namespace

bool dragsLinearly(std::int32_t mode, std::uint32_t buttons) noexcept {
    const bool linear = mode == kLinearKnobMode;
    return (buttons & kAltKey) != 0 ? !linear : linear;
}

RotaryKnob::RotaryKnob(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                       SkinBitmap* backgroundBitmap, SkinBitmap* handle, Point backgroundOffset)
    : Control(bounds, valueListener, controlTag, backgroundBitmap),
      offset(backgroundOffset),
      handleBitmap(handle),
      radius(static_cast<float>(bounds.width()) * 0.5f) {
    if (handleBitmap != nullptr) {
        handleBitmap->retain();
        inset = insetForHandle(*handleBitmap);
    }
    arc.derive(minimum, maximum);
}

RotaryKnob::~RotaryKnob() {
    if (handleBitmap != nullptr) handleBitmap->release();
}

void RotaryKnob::drawKnobBackground(Canvas& canvas, Point sourceOffset) {
    if (transparent) restoreFrameBackground(canvas, frame, size, size);
    drawBackground(canvas, background, size, sourceOffset, transparent);
}

void RotaryKnob::draw(Canvas& canvas) {
    drawKnobBackground(canvas, offset);
    paintPointer(canvas);
    markDirty(false);
}

void RotaryKnob::paintPointer(Canvas& canvas) {
    Point p;
    pointerPosition(p);
    if (handleBitmap != nullptr) {
        const int w = handleBitmap->getWidth();
        const int h = handleBitmap->getHeight();
        const Point corner{size.left + p.h - w / 2, size.top + p.v - h / 2};
        handleBitmap->drawKeyed(canvas, {corner.h, corner.v, corner.h + w, corner.v + h}, {0, 0});
        return;
    }
    const Point tip{size.left + p.h - 1, size.top + p.v};
    const Point centre{size.left - 1 + size.width() / 2, size.top + size.height() / 2};
    // The pen may carry another control's width or dots from earlier in this paint.
    canvas.setLineWidth(1);
    canvas.setDashStyle(0);
    canvas.setPenColor(handleShadowColor);
    canvas.movePen(tip);
    canvas.drawLineTo(centre);
    canvas.setPenColor(handleColor);
    canvas.movePen({tip.h + 1, tip.v - 1});
    canvas.drawLineTo({centre.h + 1, centre.v - 1});
}

void RotaryKnob::setArcStart(float radians) {
    arc.start = radians;
    arc.derive(minimum, maximum);
    markDirty(true);
}

void RotaryKnob::setArcSweep(float radians) {
    arc.range = radians;
    arc.derive(minimum, maximum);
    markDirty(true);
}

void RotaryKnob::pointerPosition(Point& out) const {
    out = knobPointerPosition(arc, value, radius, inset);
}

float RotaryKnob::valueAtPoint(Point where) const {
    return knobValueAtPoint(arc, where, radius);
}

void RotaryKnob::setPointerShadowColor(Color color) {
    handleShadowColor = color;
    markDirty(true);
}

void RotaryKnob::setPointerColor(Color color) {
    handleColor = color;
    markDirty(true);
}

void RotaryKnob::setPointerBitmap(SkinBitmap* bitmap) {
    if (bitmap != nullptr) bitmap->retain();  // before the release, in case it is the same bitmap
    if (handleBitmap != nullptr) handleBitmap->release();
    handleBitmap = bitmap;
    if (handleBitmap != nullptr) inset = insetForHandle(*handleBitmap);
}

void RotaryKnob::onMouseDown(Canvas& canvas, Point where) {
    const std::uint32_t buttons = canvas.readButtons();
    if (!takesPress(buttons)) return;
    if (buttons == kResetClick) {
        applyResetClick(&canvas);
        return;
    }
    const bool linear = dragsLinearly(knobMode(), buttons);
    if (frame != nullptr) frame->setFocusView(this);
    const Point topLeft{size.left, size.top};
    if (linear) {
        LinearKnobDrag drag(value, where, buttons, minimum, maximum, fineFactor);
        Point last = where;
        trackDrag(canvas, [&](Point at, std::uint32_t state) {
            if (at == last) return;
            last = at;
            value = drag.update(at, state);
        });
        return;
    }
    // Both the reference and every later point are taken relative to the knob's top-left.
    CircularKnobDrag drag(valueAtPoint({where.h - topLeft.h, where.v - topLeft.v}));
    Point last{INT_MIN, INT_MIN};  // the first pass computes at once: a click sets the value
    trackDrag(canvas, [&](Point at, std::uint32_t) {
        if (at == last) return;
        last = at;
        value = drag.update(valueAtPoint({at.h - topLeft.h, at.v - topLeft.v}), minimum, maximum);
    });
}

bool RotaryKnob::onWheelTurn(Canvas* canvas, Point /*where*/, float distance) {
    return wheelStep(canvas, distance);
}

std::int32_t RotaryKnob::onKeyPress(const KeyCode& key) {
    return arrowKeyStep(key);
}

StripKnob::StripKnob(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                     std::int32_t count, std::int32_t heightOfOneFrame, SkinBitmap* strip,
                     Point backgroundOffset)
    : RotaryKnob(bounds, valueListener, controlTag, strip, nullptr, backgroundOffset),
      frameCount(count),
      frameHeight(heightOfOneFrame) {
    inset = 0;
}

void StripKnob::draw(Canvas& canvas) {
    // No frame height means no frames: nothing to pick, nothing to divide by.
    if (frameHeight > 0) drawKnobBackground(canvas, {0, shownFrame() * frameHeight});
    markDirty(false);
}

}  // namespace flanger::gui::controls
