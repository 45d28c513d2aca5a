// Toggle and momentary buttons: frame choice by value, the click flip and the held loop.
#include "gui/controls/Buttons.h"

#include <cmath>

#include "gui/SkinBitmap.h"
#include "gui/controls/ControlDrawing.h"

namespace flanger::gui::controls {

bool showsOn(float value) noexcept {
    return value != 0.0f && !std::isnan(value);
}

ToggleButton::ToggleButton(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                           SkinBitmap* backgroundBitmap)
    : Control(bounds, valueListener, controlTag, backgroundBitmap) {}

void ToggleButton::draw(Canvas& canvas) {
    if (background != nullptr) {
        const Point source{0, showsOn(value) ? background->getHeight() / 2 : 0};
        if (transparent) restoreFrameBackground(canvas, frame, size, size);
        drawBackground(canvas, background, size, source, transparent);
    }
    markDirty(false);
}

void ToggleButton::onMouseDown(Canvas& canvas, Point /*where*/) {
    if (!takesPress(canvas.readButtons())) return;
    notifyEditStart();
    // The value truncated to an integer decides: 0.6 counts as off. NaN counts as off too, and
    // no float-to-integer conversion is made that could overflow.
    value = std::isnan(value) || std::trunc(value) == 0.0f ? 1.0f : 0.0f;
    refreshDuringDrag();
    if (listener != nullptr) listener->onValueChanged(&canvas, this);
    notifyEditEnd();
}

MomentaryButton::MomentaryButton(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                                 std::int32_t heightOfOneFrame, SkinBitmap* backgroundBitmap,
                                 Point backgroundOffset)
    : Control(bounds, valueListener, controlTag, backgroundBitmap),
      offset(backgroundOffset),
      frameHeight(heightOfOneFrame) {}

void MomentaryButton::draw(Canvas& canvas) {
    clampValue();
    const Point source{offset.h, offset.v + (showsOn(value) ? frameHeight : 0)};
    if (transparent) restoreFrameBackground(canvas, frame, size, size);
    drawBackground(canvas, background, size, source, transparent);
    markDirty(false);
}

void MomentaryButton::onMouseDown(Canvas& canvas, Point where) {
    std::uint32_t buttons = canvas.readButtons();
    if (!takesPress(buttons)) return;
    const float pressValue = value;
    const float pressedValue = pressValue == 0.0f ? 1.0f : 0.0f;
    notifyEditStart();
    if (buttons == kPrimaryButton) {
        // Held: on while the pointer is over the button, back to the press value elsewhere.
        Point at = where;
        while (buttons == kPrimaryButton) {
            value = size.contains(at) ? pressedValue : pressValue;
            notifyIfChanged(&canvas);
            canvas.readPointer(at);
            refreshDuringDrag();
            buttons = canvas.readButtons();
        }
    } else {
        value = value == 0.0f ? 1.0f : 0.0f;
        if (listener != nullptr) listener->onValueChanged(&canvas, this);
    }
    // The listener always sees the release.
    value = 0.0f;
    if (listener != nullptr) listener->onValueChanged(&canvas, this);
    notifyEditEnd();
}

}  // namespace flanger::gui::controls
