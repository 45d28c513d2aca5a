// Curve display: the curve buffers and their loaders, the offscreen draw of background, baseline
// and both curves, and the two-axis drag measured from the press point.
#include "editor/CurveDisplay.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "gui/FrameView.h"
#include "gui/SkinBitmap.h"

namespace flanger::editor {

namespace {

using gui::Canvas;
using gui::Color;
using gui::Point;

std::unique_ptr<std::atomic<float>[]> makeCurve(int count, float fill) noexcept {
    if (count <= 0) return nullptr;
    std::unique_ptr<std::atomic<float>[]> curve(new (std::nothrow)
                                                    std::atomic<float>[static_cast<std::size_t>(count)]);
    if (curve != nullptr) {
        for (int i = 0; i < count; ++i) curve[i].store(fill, std::memory_order_relaxed);
    }
    return curve;
}

// The drawn offset trunc(offset × factor + 0.5). NaN draws on the baseline and the reach is
// bounded, so no curve value can make the conversion undefined or a line run for ever.
int drawnOffset(float offset, float factor) noexcept {
    const double raw = static_cast<double>(offset * factor) + 0.5;
    if (std::isnan(raw)) return 0;
    constexpr double kReach = 32768.0;
    return static_cast<int>(std::clamp(raw, -kReach, kReach));
}

}  // namespace

float dragAxisValue(float pressValue, int pointerOffset, float perPixel) noexcept {
    const float start = std::isfinite(pressValue) ? pressValue : 0.0f;
    const float moved = start + static_cast<float>(pointerOffset) * perPixel;
    if (!(moved >= 0.0f)) return 0.0f;
    if (moved > 1.0f) return 1.0f;
    return moved;
}

CurveDisplay::CurveDisplay(const gui::Rect& bounds, gui::ValueListener* valueListener,
                           std::int32_t controlTag, gui::SkinBitmap* backgroundBitmap, std::int32_t flagBits)
    : Control(bounds, valueListener, controlTag, backgroundBitmap),
      backgroundOffset{bounds.left, bounds.top},
      baseline(bounds.height() / 2),
      flags(flagBits),
      width(bounds.width()),
      height(bounds.height()) {
    const int count = std::max(width, 0);
    firstCurve = makeCurve(count, static_cast<float>(height / 2));
    secondCurve = makeCurve(count, static_cast<float>(height / 2));
    // Without both buffers there is nothing to draw or load: the display stays empty.
    if (firstCurve != nullptr && secondCurve != nullptr) sampleCount = count;
}

CurveDisplay::~CurveDisplay() = default;

void CurveDisplay::setCurveColor(int which, Color color) {
    (which == 0 ? firstColor : secondColor).store(color, std::memory_order_relaxed);
    markDirty(true);
}

Color CurveDisplay::curveColor(int which) const noexcept {
    return (which == 0 ? firstColor : secondColor).load(std::memory_order_relaxed);
}

float CurveDisplay::curveOffset(int which, int index) const noexcept {
    if (index < 0 || index >= sampleCount) return 0.0f;
    return (which == 0 ? firstCurve : secondCurve)[index].load(std::memory_order_relaxed);
}

void CurveDisplay::loadScaledCurve(int which, const float* values, int count, float reach) noexcept {
    if (sampleCount > 0) {
        std::atomic<float>* curve = (which == 0 ? firstCurve : secondCurve).get();
        // Callers must not pass more than the buffer holds; more is cut rather than overrun.
        const int loaded = values != nullptr ? std::clamp(count, 0, sampleCount) : 0;
        for (int i = 0; i < loaded; ++i) curve[i].store(-(reach * values[i]), std::memory_order_relaxed);
        curve[sampleCount - 1].store(0.0f, std::memory_order_relaxed);
    }
    markDirty(true);
}

void CurveDisplay::loadCentredCurve(int which, const float* values, int count) {
    loadScaledCurve(which, values, count, static_cast<float>(height / 2 - 1));
}

void CurveDisplay::setScale(float factor) {
    if (factor == getScale()) return;
    scale.store(factor, std::memory_order_relaxed);
    markDirty(true);
}

void CurveDisplay::setEditTags(std::int32_t xTag, std::int32_t yTag) {
    editTagX = xTag;
    editTagY = yTag;
}

void CurveDisplay::drawCurve(Canvas& canvas, const std::atomic<float>* curve, Color color,
                             float factor) const noexcept {
    const bool closed = (flags & kDrawBaseline) != 0;
    auto y = [&](int i) { return baseline + drawnOffset(curve[i].load(std::memory_order_relaxed), factor); };
    canvas.setPenColor(color);
    canvas.movePen({originX, closed ? baseline : y(0)});
    for (int i = 0; i + 1 < sampleCount; ++i) canvas.drawLineTo({originX + i, y(i)});
    if (closed) canvas.drawLineTo({sampleCount - 1, baseline});
}

void CurveDisplay::draw(Canvas& canvas) {
    // A display without area (or a missing picture that gave it none) has nothing to show.
    if (width > 0 && height > 0) {
        gui::OffscreenCanvas offscreen(frame, width, height, gui::colors::black, canvas.blockScale(size));
        if (background != nullptr) background->draw(offscreen, {0, 0, width, height}, backgroundOffset);
        const Color second = secondColor.load(std::memory_order_relaxed);
        if ((flags & kDrawBaseline) != 0) {
            offscreen.setPenColor(second);
            offscreen.movePen({originX, baseline});
            offscreen.drawLineTo({sampleCount - 1, baseline});
        }
        if (sampleCount > 0) {
            const float factor = getScale();
            if ((flags & kDrawSecond) != 0) drawCurve(offscreen, secondCurve.get(), second, factor);
            if ((flags & kDrawFirst) != 0)
                drawCurve(offscreen, firstCurve.get(), firstColor.load(std::memory_order_relaxed), factor);
        }
        offscreen.blitTo(canvas, size, {0, 0});
    }
    markDirty(false);
}

void CurveDisplay::onMouseDown(Canvas& canvas, Point where) {
    std::uint32_t buttons = canvas.readButtons();
    if (!takesPress(buttons)) return;
    if (frame != nullptr) {
        if (editTagX >= 0) frame->notifyEditStart(editTagX);
        if (editTagY >= 0) frame->notifyEditStart(editTagY);
    }

    const Point press = where;
    const float pressH = getHorizontal();
    const float pressV = getVertical();
    // A zero-sized axis does not move rather than divide by zero.
    const float perPixelH = width > 0 ? 1.0f / static_cast<float>(width) : 0.0f;
    const float perPixelV = height > 0 ? 1.0f / static_cast<float>(height) : 0.0f;
    // Each pass is compared with the drag's own previous pass, not with the stored values: the
    // listener's answer may rewrite those (the editor's echo rounds "SyncBeat" to a note), and a
    // pointer that stands still must report nothing.
    float lastH = dragAxisValue(pressH, 0, 0.0f);
    float lastV = dragAxisValue(pressV, 0, 0.0f);
    do {
        canvas.readPointer(where);
        const float speed = (buttons & gui::kShiftKey) != 0 ? 0.33333334f : 1.0f;
        float h = lastH;
        float v = lastV;
        if ((buttons & gui::kAltKey) == 0) h = dragAxisValue(pressH, where.h - press.h, perPixelH * speed);
        // Upwards increases.
        if ((buttons & gui::kControlKey) == 0)
            v = dragAxisValue(pressV, -(where.v - press.v), perPixelV * speed);
        if (h != lastH || v != lastV) {
            setHorizontal(h);
            setVertical(v);
            if (listener != nullptr) listener->onValueChanged(&canvas, this);
        }
        refreshDuringDrag();
        buttons = canvas.readButtons();
        lastH = h;
        lastV = v;
    } while ((buttons & gui::kPrimaryButton) != 0);

    if (frame != nullptr) {
        if (editTagX >= 0) frame->notifyEditEnd(editTagX);
        if (editTagY >= 0) frame->notifyEditEnd(editTagY);
    }
}

}  // namespace flanger::editor
