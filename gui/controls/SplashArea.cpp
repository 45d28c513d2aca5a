// Splash areas: open as the frame's modal view at the display rectangle, close back to the
// click rectangle with a full frame repaint; InfoSplash's text slots.
#include "gui/controls/SplashArea.h"

#include <cmath>
#include <cstdio>

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"
#include "gui/controls/Buttons.h"
#include "gui/controls/ControlDrawing.h"

namespace flanger::gui::controls {

SplashArea::SplashArea(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                       SkinBitmap* backgroundBitmap, const Rect& displayRect, Point pictureOffset)
    : Control(bounds, valueListener, controlTag, backgroundBitmap),
      display(displayRect),
      savedSize(bounds),
      offset(pictureOffset) {}

void SplashArea::drawPicture(Canvas& canvas) {
    if (!showsOn(value)) return;
    if (transparent) restoreFrameBackground(canvas, frame, display, display);
    drawBackground(canvas, background, display, offset, transparent);
}

void SplashArea::draw(Canvas& canvas) {
    drawPicture(canvas);
    markDirty(false);
}

void SplashArea::onMouseDown(Canvas& canvas, Point /*where*/) {
    if (!takesPress(canvas.readButtons())) return;
    notifyEditStart();
    value = value == 0.0f ? 1.0f : 0.0f;
    if (value == 1.0f) {
        if (frame == nullptr || !frame->setModalView(this)) {
            // Another view holds the modal place: stay closed, change nothing else.
            value = 0.0f;
            notifyEditEnd();
            return;
        }
        open = true;
        savedSize = size;
        size = display;
        draw(canvas);
        if (listener != nullptr) listener->onValueChanged(&canvas, this);
    } else {
        size = savedSize;
        // Only this splash's own modal place is given up, never another view's.
        if (frame != nullptr && frame->modalView() == this) frame->setModalView(nullptr);
        open = false;
        if (frame != nullptr) frame->draw(canvas);
        if (listener != nullptr) listener->onValueChanged(&canvas, this);
    }
    markDirty(true);
    notifyEditEnd();
}

InfoSplash::InfoSplash(const Rect& bounds, ValueListener* valueListener, std::int32_t controlTag,
                       SkinBitmap* backgroundBitmap, const Rect& displayRect, Point pictureOffset)
    : SplashArea(bounds, valueListener, controlTag, backgroundBitmap, displayRect, pictureOffset) {}

void InfoSplash::draw(Canvas& canvas) {
    if (showsOn(value)) {
        drawPicture(canvas);
        canvas.selectFont(3, 10, 0);
        for (const TextSlot& slot : slots) {
            if (!slot.set) continue;
            canvas.setTextInk(slot.color);
            canvas.drawTextLine(slot.text.data(), slot.rect, 0, slot.alignment);
        }
    }
    markDirty(false);
}

void InfoSplash::fill(TextSlot& slot, const char* text, const Rect& rect, Color color,
                      std::int32_t alignment) {
    std::snprintf(slot.text.data(), slot.text.size(), "%s", text != nullptr ? text : "");
    slot.rect = rect;
    slot.color = color;
    slot.alignment = alignment;
    slot.set = true;
}

void InfoSplash::setFirstText(const char* text, const Rect& rect, Color color, std::int32_t alignment) {
    fill(slots[0], text, rect, color, alignment);
}

void InfoSplash::setSecondText(const char* text, const Rect& rect, Color color, std::int32_t alignment) {
    fill(slots[1], text, rect, color, alignment);
}

bool hasPositiveExtent(const Rect& rect) noexcept {
    // In 64 bits: corners near the int32 limits must not overflow the sum.
    const std::int64_t extent = static_cast<std::int64_t>(rect.right) + rect.bottom - rect.left - rect.top;
    return extent > 0;
}

void fillInfoTexts(InfoSplash& splash, const Rect& versionRect, const Rect& legalRect, Color color,
                   std::int32_t alignment, const char* fileVersion, const char* legalCopyright) {
    std::array<char, InfoSplash::kTextBytes> line{};
    if (hasPositiveExtent(versionRect) && fileVersion != nullptr) {
        std::snprintf(line.data(), line.size(), "Version: %s", fileVersion);
        splash.setSecondText(line.data(), versionRect, color, alignment);
    }
    if (hasPositiveExtent(legalRect) && legalCopyright != nullptr) {
        splash.setFirstText(legalCopyright, legalRect, color, alignment);
    }
}

}  // namespace flanger::gui::controls
