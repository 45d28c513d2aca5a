// The stereo width bar: band limits from the value, the two colour ramps drawn offscreen, and the
// drag that sets the value from the pointer's distance to the centre.
#include "editor/StereoWidthBar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"
#include "resources/Palette.h"

namespace flanger::editor {

namespace {

using gui::Canvas;
using gui::Color;

// A ramp step: the skin colour darkened by the same amount in every channel. Narrow bars push the
// ramps past their ends; the channels stay bytes.
Color rampColor(std::uint32_t from, int darker) noexcept {
    auto channel = [darker](std::uint32_t c) {
        return static_cast<std::uint8_t>(std::clamp(static_cast<int>(c & 0xFF) - darker, 0, 255));
    };
    return {channel(from >> 16), channel(from >> 8), channel(from), 0};
}

void verticalLine(Canvas& canvas, int x, int top, int bottom) noexcept {
    canvas.movePen({x, top});
    canvas.drawLineTo({x, bottom});
}

}  // namespace

WidthBand stereoWidthBand(int barWidth, float value) noexcept {
    const float v = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    const float hf = static_cast<float>(barWidth / 2);
    return {static_cast<int>((hf - 10.0f) - (hf - 10.0f) * v),
            static_cast<int>((hf - 10.0f) * v + hf + 10.0f)};
}

float stereoWidthAt(int pointerH, int barLeft, int barWidth) noexcept {
    const int half = barWidth / 2;
    if (half <= 0) return 0.0f;
    return std::fabs(static_cast<float>(pointerH - barLeft - half)) / static_cast<float>(half);
}

StereoWidthBar::StereoWidthBar(const gui::Rect& bounds, gui::ValueListener* valueListener,
                               std::int32_t controlTag, gui::SkinBitmap* backgroundBitmap)
    : Control(bounds, valueListener, controlTag, backgroundBitmap) {}

StereoWidthBar::~StereoWidthBar() = default;

void StereoWidthBar::draw(Canvas& canvas) {
    const int w = size.width();
    const int h = size.height();
    if (w > 0 && h > 0) {
        const int half = w / 2;
        const float hf = static_cast<float>(half);
        const WidthBand band = stereoWidthBand(w, value);
        gui::OffscreenCanvas offscreen(frame, w, h, gui::colors::black, canvas.blockScale(size));
        if (background != nullptr) background->draw(offscreen, {0, 0, w, h}, {0, 0});
        // A bar of one column has no half to measure the ramps against.
        if (half > 0) {
            // Left half: brightest at its outer end.
            for (int x = half; x >= band.lo; --x) {
                const int k = static_cast<int>(static_cast<float>(x) / hf * 100.0f);
                offscreen.setPenColor(rampColor(resources::palette::kAccent, k));
                if (x == band.lo + 1) {
                    verticalLine(offscreen, x, 1, h - 1);
                } else if (x == band.lo) {
                    verticalLine(offscreen, x, 2, h - 2);
                } else {
                    verticalLine(offscreen, x, 0, h);
                }
            }
            // Right half: darkest at the centre, lightest at its outer end.
            const int reach = band.hi - half;
            for (int x = half; x <= band.hi - 1 && reach > 0; ++x) {
                const int m = band.hi - x;
                const int k = static_cast<int>(static_cast<float>(m) / static_cast<float>(reach) * 50.0f);
                offscreen.setPenColor(rampColor(resources::palette::kAccentDeep, k));
                if (x == band.hi - 2) {
                    verticalLine(offscreen, x, 1, h - 1);
                } else if (x == band.hi - 1) {
                    verticalLine(offscreen, x, 2, h - 2);
                } else {
                    verticalLine(offscreen, x, 0, h);
                }
            }
        }
        offscreen.blitTo(canvas, size, {0, 0});
    }
    markDirty(false);
}

void StereoWidthBar::onMouseDown(Canvas& canvas, gui::Point where) {
    if (!takesPress(canvas.readButtons())) return;
    // A bar without a half has no centre to measure from: nothing to set.
    if (size.width() / 2 <= 0) return;
    notifyEditStart();
    // Compared with the previous pass rather than by writing the last drawn value, so the bar
    // stays dirty until it has been drawn and a still pointer reports nothing.
    float last = value;
    do {
        canvas.readPointer(where);
        value = stereoWidthAt(where.h, size.left, size.width());
        clampValue();
        if (value != last) {
            if (listener != nullptr) listener->onValueChanged(&canvas, this);
            last = value;
        }
        refreshDuringDrag();
    } while ((canvas.readButtons() & gui::kPrimaryButton) != 0);
    notifyEditEnd();
}

}  // namespace flanger::editor
