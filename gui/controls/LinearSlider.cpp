// Sliders: handle geometry from the style and travel, the offscreen draw, and the drag loop
// (jump to click or keep the grip point, Shift for a finer drag).
#include "gui/controls/LinearSlider.h"

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"
#include "gui/controls/ControlDrawing.h"

namespace flanger::gui::controls {

LinearSlider::LinearSlider(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                           std::int32_t minimumPositionPx, std::int32_t maximumPositionPx, SkinBitmap* handle,
                           SkinBitmap* backgroundBitmap, Point backgroundOffset, std::int32_t sliderStyleBits,
                           std::int32_t axisBit)
    : Control(bounds, valueListener, controlTag, backgroundBitmap),
      offset(backgroundOffset),
      handleBitmap(handle),
      travel(maximumPositionPx - minimumPositionPx),
      style(sliderStyleBits | axisBit),
      minimumPosition(minimumPositionPx - ((axisBit & kSliderVertical) != 0 ? bounds.top : bounds.left)),
      controlWidth(bounds.width()),
      controlHeight(bounds.height()),
      verticalAxis(axisBit == kSliderVertical) {
    if (handleBitmap != nullptr) {
        handleBitmap->retain();
        handleWidth = handleBitmap->getWidth();
        handleHeight = handleBitmap->getHeight();
    }
    deriveLimits();
}

LinearSlider::~LinearSlider() {
    if (handleBitmap != nullptr) handleBitmap->release();
}

void LinearSlider::deriveLimits() noexcept {
    lowestHandlePosition = minimumPosition + handleOffsetAlongAxis();
    highestHandleEnd = lowestHandlePosition + travel + handleSizeAlongAxis();
}

void LinearSlider::setThumbOffset(Point newOffset) {
    handleOffset = newOffset;
    deriveLimits();
}

void LinearSlider::setThumbBitmap(SkinBitmap* bitmap) {
    if (bitmap != nullptr) bitmap->retain();  // before the release, in case it is the same bitmap
    if (handleBitmap != nullptr) handleBitmap->release();
    handleBitmap = bitmap;
    handleWidth = bitmap != nullptr ? bitmap->getWidth() : 1;
    handleHeight = bitmap != nullptr ? bitmap->getHeight() : 1;
    // The limits include the handle's size; stale ones would let a larger handle leave its travel.
    deriveLimits();
}

Rect LinearSlider::handleRect() const noexcept {
    const int raw = sliderHandleStart(travel, sliderFraction(value, style), handleOffsetAlongAxis());
    const int start =
        sliderHandleStartInTravel(raw, lowestHandlePosition, highestHandleEnd, handleSizeAlongAxis());
    if (vertical()) return {handleOffset.h, start, handleOffset.h + handleWidth, start + handleHeight};
    return {start, handleOffset.v, start + handleWidth, handleOffset.v + handleHeight};
}

void LinearSlider::draw(Canvas& canvas) {
    // Without a frame there is no surface (the frame attaches every view before drawing it).
    if (offscreen != nullptr) {
        const Rect whole{0, 0, controlWidth, controlHeight};
        // The surface is kept between draws: start from black so no earlier handle remains.
        if (platform::Surface* surface = offscreen->deviceContext())
            surface->fill({0, 0, surface->width(), surface->height()}, 0);
        if (transparent) restoreFrameBackground(*offscreen, frame, whole, size);
        drawBackground(*offscreen, background, whole, offset, transparent);
        if (handleBitmap != nullptr)
            drawBackground(*offscreen, handleBitmap, handleRect(), {0, 0}, transparentHandle);
        offscreen->blitTo(canvas, size, {0, 0});
    }
    markDirty(false);
}

void LinearSlider::onMouseDown(Canvas& canvas, Point where) {
    if (!acceptsMouse()) return;
    const std::uint32_t buttons = canvas.readButtons();
    if (buttons == kResetClick) {
        applyResetClick(&canvas);
        return;
    }
    if ((buttons & kPrimaryButton) == 0) return;

    const int along = vertical() ? where.v : where.h;
    int startCoordinate = controlStartAlongAxis() + handleOffsetAlongAxis();
    if (jumpToClick) {
        startCoordinate += handleSizeAlongAxis() / 2 - 1;
    } else {
        // The handle as drawn but without the travel clamp, edges included.
        const int handleStart =
            controlStartAlongAxis() +
            sliderHandleStart(travel, sliderFraction(value, style), handleOffsetAlongAxis());
        const int across = vertical() ? where.h - size.left : where.v - size.top;
        const int acrossStart = vertical() ? handleOffset.h : handleOffset.v;
        const int acrossSize = vertical() ? handleWidth : handleHeight;
        const bool onHandle = along >= handleStart && along <= handleStart + handleSizeAlongAxis() &&
                              across >= acrossStart && across <= acrossStart + acrossSize;
        if (!onHandle) return;
        startCoordinate += along - handleStart;  // keep the grip point under the pointer
    }

    float anchor = value;
    std::uint32_t remembered = buttons;
    if (frame != nullptr) frame->setFocusView(this);
    trackDrag(canvas, [&](Point at, std::uint32_t state) {
        const bool fine = (state & kShiftKey) != 0;
        if (state != remembered && fine) {
            remembered = state;
            anchor = value;
        }
        if (!fine) anchor = value;
        value = sliderDragValue(vertical() ? at.v : at.h, startCoordinate, travel, style, fine, anchor,
                                fineFactor, value);
    });
}

bool LinearSlider::onWheelTurn(Canvas* canvas, Point /*where*/, float distance) {
    return wheelStep(canvas, distance);
}

std::int32_t LinearSlider::onKeyPress(const KeyCode& key) {
    return arrowKeyStep(key);
}

bool LinearSlider::onAttached(View* /*parentView*/) {
    offscreen.reset();
    offscreen = std::make_unique<OffscreenCanvas>(
        frame, controlWidth, controlHeight, colors::black,
        frame != nullptr ? frame->pixelScale().anchoredAt({size.left, size.top}) : PixelScale{});
    return true;
}

bool LinearSlider::onDetached(View* /*parentView*/) {
    offscreen.reset();
    return true;
}

VerticalLinearSlider::VerticalLinearSlider(const Rect& bounds, ValueListener* valueListener,
                                           std::int32_t controlTag, std::int32_t minimumPositionPx,
                                           std::int32_t maximumPositionPx, SkinBitmap* handle,
                                           SkinBitmap* backgroundBitmap, Point backgroundOffset,
                                           std::int32_t sliderStyleBits)
    : LinearSlider(bounds, valueListener, controlTag, minimumPositionPx, maximumPositionPx, handle,
                   backgroundBitmap, backgroundOffset, sliderStyleBits, kSliderVertical) {}

HorizontalLinearSlider::HorizontalLinearSlider(const Rect& bounds, ValueListener* valueListener,
                                               std::int32_t controlTag, std::int32_t minimumPositionPx,
                                               std::int32_t maximumPositionPx, SkinBitmap* handle,
                                               SkinBitmap* backgroundBitmap, Point backgroundOffset,
                                               std::int32_t sliderStyleBits)
    : LinearSlider(bounds, valueListener, controlTag, minimumPositionPx, maximumPositionPx, handle,
                   backgroundBitmap, backgroundOffset, sliderStyleBits, kSliderHorizontal) {}

}  // namespace flanger::gui::controls
