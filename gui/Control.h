// A view that holds one normalised value and reports each user change of it to a listener,
// plus the interaction rules every value control shares: reset click, polled drag loop, wheel
// and arrow-key steps.
#pragma once

#include <cstdint>
#include <limits>

#include "gui/Canvas.h"
#include "gui/View.h"

namespace flanger::gui {

class Control;
class SkinBitmap;

class ValueListener {
public:
    virtual ~ValueListener() = default;
    // canvas is null for key-driven changes; read value and tag from the control.
    virtual void onValueChanged(Canvas* canvas, Control* control) = 0;
};

// The value arithmetic of wheel turns and arrow keys, kept apart so it can be tested alone.
// fine: Shift held, which moves a tenth of the step.
float steppedValue(float value, float direction, float stepSize, bool fine) noexcept;
// −1 for down and left, +1 for up and right, 0 for any other virtual key.
float arrowDirection(std::uint8_t virtualKey) noexcept;

class Control : public View {
public:
    // Takes a reference on background (which may be null).
    Control(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background) noexcept;
    ~Control() override;

    void draw(Canvas& canvas) override = 0;
    // Dirty while the value differs from the last drawn one (NaN on either side counts as equal).
    bool needsRedraw() const override;
    void markDirty(bool flag) override;

    virtual void refreshDuringDrag();
    virtual void setValue(float newValue) {
        value = newValue;
        reportedValue = newValue;
    }
    virtual float getValue() const { return value; }
    virtual void setMin(float v) { minimum = v; }
    virtual float getMin() const { return minimum; }
    virtual void setMax(float v) { maximum = v; }
    virtual float getMax() const { return maximum; }
    virtual void setLastDrawnValue(float v) { lastDrawnValue = v; }
    virtual float getLastDrawnValue() const { return lastDrawnValue; }
    virtual void setDefaultValue(float v) { defaultValue = v; }
    virtual float getDefaultValue() const { return defaultValue; }
    virtual void setTag(std::int32_t newTag) { tag = newTag; }
    virtual void setBackground(SkinBitmap* bitmap);
    virtual SkinBitmap* getBackground() const { return background; }
    virtual void setStepSize(float step) { stepSize = step; }
    virtual float getStepSize() const { return stepSize; }
    virtual void clampValue();

    std::int32_t getTag() const noexcept { return tag; }
    ValueListener* valueListener() const noexcept { return listener; }
    void setListener(ValueListener* newListener) noexcept { listener = newListener; }

    // --- The shared interaction contract, for the concrete controls. ---

    // Whether onMouseDown should act on a press with these buttons (mouse enabled, primary down).
    bool takesPress(std::uint32_t buttons) const noexcept;
    // The reset click: value := default, the listener hears of it only if that changed anything.
    void applyResetClick(Canvas* canvas);
    // Tells the listener when the value differs from what was drawn or from what it last heard.
    void notifyIfChanged(Canvas* canvas);
    void notifyEditStart();
    void notifyEditEnd();

    // The drag loop: edit start, then per pass read buttons and pointer through the canvas,
    // let update(where, buttons) compute the value, clamp, notify, refresh; ends in the first
    // pass that reads the primary button up; edit end.
    template <typename Update>
    void trackDrag(Canvas& canvas, Update&& update) {
        notifyEditStart();
        for (;;) {
            const std::uint32_t buttons = canvas.readButtons();
            if ((buttons & kPrimaryButton) == 0) break;
            Point where;
            canvas.readPointer(where);
            update(where, buttons);
            clampValue();
            notifyIfChanged(&canvas);
            refreshDuringDrag();
        }
        notifyEditEnd();
    }

    // Wheel rule: false when mouse is disabled, else step by distance (a tenth with Shift).
    bool wheelStep(Canvas* canvas, float distance);
    // Arrow-key rule: −1 for keys other than 11–14, else one step (a tenth with Shift), 1.
    std::int32_t arrowKeyStep(const KeyCode& key);

protected:
    ValueListener* listener;
    std::int32_t tag;
    float lastDrawnValue = 1.0f;
    float defaultValue = 0.5f;
    float value = 0.0f;
    float minimum = 0.0f;
    float maximum = 1.0f;
    float stepSize = 0.1f;
    // The value last reported to the listener or set from outside (NaN: not known). Two steps
    // before the next repaint can return to the drawn value while the parameter holds the first.
    float reportedValue = std::numeric_limits<float>::quiet_NaN();
    SkinBitmap* background = nullptr;
};

}  // namespace flanger::gui
