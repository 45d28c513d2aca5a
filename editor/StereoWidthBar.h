// The stereo width bar: a band of vertical lines that grows from the centre outwards with the
// value, set by the pointer's distance from the centre.
#pragma once

#include <cstdint>

#include "gui/Control.h"

namespace flanger::editor {

class StereoWidthBar : public gui::Control {
public:
    StereoWidthBar(const gui::Rect& size, gui::ValueListener* listener, std::int32_t tag,
                   gui::SkinBitmap* background);
    ~StereoWidthBar() override;

    void draw(gui::Canvas& canvas) override;
    void onMouseDown(gui::Canvas& canvas, gui::Point where) override;
};

// The band's columns for a bar width and value: lo … hi − 1 relative to the bar's left edge.
struct WidthBand {
    int lo = 0;
    int hi = 0;
};
// value is taken into 0 … 1 (NaN as 0) so the band never leaves the bar.
WidthBand stereoWidthBand(int barWidth, float value) noexcept;

// The value a pointer column gives: its distance from the centre as a fraction of the half width
// (unclamped); 0 for a bar too narrow to have a half.
float stereoWidthAt(int pointerH, int barLeft, int barWidth) noexcept;

}  // namespace flanger::editor
