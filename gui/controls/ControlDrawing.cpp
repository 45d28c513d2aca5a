// Shared background steps of the standard controls.
#include "gui/controls/ControlDrawing.h"

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"

namespace flanger::gui::controls {

void restoreFrameBackground(Canvas& canvas, const FrameView* frame, const Rect& dest,
                            const Rect& frameArea) noexcept {
    if (frame == nullptr) return;
    SkinBitmap* behind = frame->getBackground();
    if (behind == nullptr) return;
    behind->draw(canvas, dest, {frameArea.left, frameArea.top});
}

void drawBackground(Canvas& canvas, SkinBitmap* bitmap, const Rect& dest, Point sourceOffset,
                    bool keyed) noexcept {
    if (bitmap == nullptr) return;
    if (keyed) {
        bitmap->drawKeyed(canvas, dest, sourceOffset);
    } else {
        bitmap->draw(canvas, dest, sourceOffset);
    }
}

}  // namespace flanger::gui::controls
