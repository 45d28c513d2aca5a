// Control base: the dirty rule against the last drawn value, clamping, the background
// reference, and the shared reset, wheel and arrow-key behaviour.
#include "gui/Control.h"

#include <cmath>

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"

namespace flanger::gui {

float steppedValue(float value, float direction, float stepSize, bool fine) noexcept {
    return value + direction * stepSize * (fine ? 0.1f : 1.0f);
}

float arrowDirection(std::uint8_t virtualKey) noexcept {
    switch (virtualKey) {
        case kVirtualDown:
        case kVirtualLeft:
            return -1.0f;
        case kVirtualUp:
        case kVirtualRight:
            return 1.0f;
        default:
            return 0.0f;
    }
}

Control::Control(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                 SkinBitmap* bitmap) noexcept
    : View(bounds), listener(valueListener), tag(controlTag), background(bitmap) {
    if (background != nullptr) background->retain();
}

Control::~Control() {
    if (background != nullptr) background->release();
}

bool Control::needsRedraw() const {
    const bool differs = lastDrawnValue != value && !std::isnan(lastDrawnValue) && !std::isnan(value);
    return differs || dirty;
}

void Control::markDirty(bool flag) {
    dirty = flag;
    if (!flag) {
        lastDrawnValue = value;
    } else {
        // Any value other than the current one forces the redraw.
        lastDrawnValue = value == -1.0f ? 0.0f : -1.0f;
    }
}

void Control::refreshDuringDrag() {
    if (ViewEditor* editor = ownerEditor()) editor->dragRefresh();
}

void Control::setBackground(SkinBitmap* bitmap) {
    if (bitmap != nullptr) bitmap->retain();  // before the release, in case it is the same bitmap
    if (background != nullptr) background->release();
    background = bitmap;
}

void Control::clampValue() {
    if (value > maximum) {
        value = maximum;
    } else if (value < minimum) {
        value = minimum;
    }
}

bool Control::takesPress(std::uint32_t buttons) const noexcept {
    return acceptsMouse() && (buttons & kPrimaryButton) != 0;
}

void Control::applyResetClick(Canvas* canvas) {
    value = getDefaultValue();
    notifyIfChanged(canvas);
}

void Control::notifyIfChanged(Canvas* canvas) {
    if (listener == nullptr) return;
    const bool unreported = value != reportedValue && !std::isnan(value) && !std::isnan(reportedValue);
    if (!unreported && !needsRedraw()) return;
    reportedValue = value;
    listener->onValueChanged(canvas, this);
}

void Control::notifyEditStart() {
    if (frame != nullptr) frame->notifyEditStart(tag);
}

void Control::notifyEditEnd() {
    if (frame != nullptr) frame->notifyEditEnd(tag);
}

bool Control::wheelStep(Canvas* canvas, float distance) {
    if (!acceptsMouse()) return false;
    std::uint32_t buttons = 0;
    if (canvas != nullptr) {
        buttons = canvas->readButtons();
    } else {
        Canvas live(nullptr, nullptr, nullptr);  // reads the current platform's state
        buttons = live.readButtons();
    }
    notifyEditStart();
    value = steppedValue(value, distance, stepSize, (buttons & kShiftKey) != 0);
    clampValue();
    notifyIfChanged(canvas);
    notifyEditEnd();
    return true;
}

std::int32_t Control::arrowKeyStep(const KeyCode& key) {
    const float direction = arrowDirection(key.virt);
    if (direction == 0.0f) return -1;
    notifyEditStart();
    value = steppedValue(value, direction, stepSize, (key.modifier & kShiftModifier) != 0);
    clampValue();
    notifyIfChanged(nullptr);
    notifyEditEnd();
    return 1;
}

}  // namespace flanger::gui
