// Drawing steps the standard controls share: the background bitmap opaque or colour-keyed, and
// the frame's own background restored under a keyed control first.
#pragma once

#include "gui/Canvas.h"
#include "gui/Geometry.h"

namespace flanger::gui {
class FrameView;
class SkinBitmap;
}  // namespace flanger::gui

namespace flanger::gui::controls {

// Keyed pixels leave the destination alone, so without this a control redrawn over its own
// last frame would let that frame show through: the frame's background goes down first.
// frameArea is the part of the frame behind dest (the control's window rectangle).
void restoreFrameBackground(Canvas& canvas, const FrameView* frame, const Rect& dest,
                            const Rect& frameArea) noexcept;

// draw or drawKeyed by the control's transparency flag; nothing without a bitmap.
void drawBackground(Canvas& canvas, SkinBitmap* bitmap, const Rect& dest, Point sourceOffset,
                    bool keyed) noexcept;

}  // namespace flanger::gui::controls
