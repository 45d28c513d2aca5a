// Vertical and horizontal sliders: a handle bitmap moved along a travel over a background,
// drawn through an offscreen surface the slider keeps while attached to a frame.
#pragma once

#include <cstdint>
#include <memory>

#include "gui/Canvas.h"
#include "gui/Control.h"
#include "gui/controls/DragMath.h"

namespace flanger::gui::controls {

class LinearSlider : public Control {
public:
    ~LinearSlider() override;

    void draw(Canvas& canvas) override;
    void onMouseDown(Canvas& canvas, Point where) override;
    bool onWheelTurn(Canvas* canvas, Point where, float distance) override;
    std::int32_t onKeyPress(const KeyCode& key) override;
    bool stepsWithArrows() const override { return true; }
    bool onAttached(View* parentView) override;
    bool onDetached(View* parentView) override;

    virtual void setThumbTransparent(bool on) { transparentHandle = on; }
    virtual void setJumpToClick(bool on) { jumpToClick = on; }
    virtual bool getJumpToClick() const { return jumpToClick; }
    virtual void setThumbOffset(Point offset);
    // Retains the new bitmap and releases the old one; takes the new one's size (1 × 1 for null).
    virtual void setThumbBitmap(SkinBitmap* bitmap);
    virtual SkinBitmap* getThumbBitmap() const { return handleBitmap; }
    virtual void setFineFactor(float factor) { fineFactor = factor; }
    virtual float getFineFactor() const { return fineFactor; }

    bool vertical() const noexcept { return verticalAxis; }
    std::int32_t sliderStyle() const noexcept { return style; }
    int travelPixels() const noexcept { return travel; }
    bool hasOffscreen() const noexcept { return offscreen != nullptr; }
    // The handle's rectangle relative to the control, as drawn (kept inside its travel).
    Rect handleRect() const noexcept;

protected:
    // axisBit (1 horizontal, 2 vertical) is added to style; positions are window pixels along the axis.
    LinearSlider(const Rect& size, ValueListener* listener, std::int32_t tag, std::int32_t minimumPosition,
                 std::int32_t maximumPosition, SkinBitmap* handle, SkinBitmap* background,
                 Point backgroundOffset, std::int32_t style, std::int32_t axisBit);

private:
    void deriveLimits() noexcept;
    int handleSizeAlongAxis() const noexcept { return vertical() ? handleHeight : handleWidth; }
    int handleOffsetAlongAxis() const noexcept { return vertical() ? handleOffset.v : handleOffset.h; }
    int controlStartAlongAxis() const noexcept { return vertical() ? size.top : size.left; }

    Point offset;
    Point handleOffset;
    SkinBitmap* handleBitmap = nullptr;
    std::unique_ptr<OffscreenCanvas> offscreen;
    int handleWidth = 1;
    int handleHeight = 1;
    int travel;
    std::int32_t style;
    int lowestHandlePosition = 0;
    int highestHandleEnd = 0;
    int minimumPosition;
    int controlWidth;
    int controlHeight;
    float fineFactor = 10.0f;
    bool transparentHandle = true;
    bool jumpToClick = true;
    bool verticalAxis;  // from the class, whatever other axis bit the caller's style carries
};

class VerticalLinearSlider : public LinearSlider {
public:
    VerticalLinearSlider(const Rect& size, ValueListener* listener, std::int32_t tag,
                         std::int32_t minimumPosition, std::int32_t maximumPosition, SkinBitmap* handle,
                         SkinBitmap* background, Point backgroundOffset, std::int32_t style);
};

class HorizontalLinearSlider : public LinearSlider {
public:
    HorizontalLinearSlider(const Rect& size, ValueListener* listener, std::int32_t tag,
                           std::int32_t minimumPosition, std::int32_t maximumPosition, SkinBitmap* handle,
                           SkinBitmap* background, Point backgroundOffset, std::int32_t style);
};

}  // namespace flanger::gui::controls
