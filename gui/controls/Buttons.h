// Two-state buttons: a toggle that flips on each click and a momentary button that is on only
// while held; both take their frames from one background bitmap.
#pragma once

#include <cstdint>

#include "gui/Control.h"

namespace flanger::gui::controls {

// Background: the off frame above the on frame, each half the bitmap's height.
class ToggleButton : public Control {
public:
    ToggleButton(const Rect& size, ValueListener* listener, std::int32_t tag, SkinBitmap* background);

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
};

// The pressed frame lies one frame height below the background offset.
class MomentaryButton : public Control {
public:
    MomentaryButton(const Rect& size, ValueListener* listener, std::int32_t tag, std::int32_t frameHeight,
                    SkinBitmap* background, Point backgroundOffset);

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;

    std::int32_t heightOfFrame() const noexcept { return frameHeight; }

private:
    Point offset;
    std::int32_t frameHeight;
};

// Whether a value shows as "on": NaN is shown as off, like the minimum.
bool showsOn(float value) noexcept;

}  // namespace flanger::gui::controls
