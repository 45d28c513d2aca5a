// Knob, slider and strip arithmetic; every division is guarded, so odd ranges, zero sizes and
// non-finite values give a defined result instead of NaN reaching an integer conversion.
#include "gui/controls/DragMath.h"

#include <algorithm>
#include <cmath>

#include "gui/Canvas.h"

namespace flanger::gui::controls {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr float kLinearPixelsPerRange = 200.0f;
constexpr double kMiddleTolerance = 1e-6;
}  // namespace

void KnobArc::derive(float minimum, float maximum) noexcept {
    halfGap = static_cast<float>((kTwoPi - std::fabs(range)) * 0.5);
    // A zero sweep maps every angle to the minimum rather than dividing by zero.
    valuePerRadian = range != 0.0f ? (maximum - minimum) / range : 0.0f;
    valueOffset = minimum - valuePerRadian * start;
    low = minimum;
    high = maximum;
}

Point knobPointerPosition(const KnobArc& arc, float value, float radius, int inset) noexcept {
    double angle = arc.start;
    if (std::isfinite(value) && arc.valuePerRadian != 0.0f) {
        angle = (static_cast<double>(value) - arc.valueOffset) / arc.valuePerRadian;
    }
    const double reach = static_cast<double>(radius) - inset;
    const double h = radius + std::cos(angle) * reach + 0.5;
    const double v = radius - std::sin(angle) * reach + 0.5;
    return {static_cast<std::int32_t>(h), static_cast<std::int32_t>(v)};
}

float knobValueAtPoint(const KnobArc& arc, Point where, float radius) noexcept {
    if (arc.range == 0.0f) return arc.low;  // no arc: nothing but the minimum to point at
    double angle = std::atan2(static_cast<double>(radius) - where.v, static_cast<double>(where.h) - radius);
    if (angle < 0.0) angle += kTwoPi;
    const double sign = arc.range < 0.0f ? -1.0 : 1.0;
    const double sweep = std::fabs(static_cast<double>(arc.range));
    double along = std::fmod((angle - arc.start) * sign, kTwoPi);
    if (along < 0.0) along += kTwoPi;
    // Value mapping as derived when the angles were set (min/max changes do not move it).
    const auto valueAt = [&arc](double a) {
        return static_cast<float>(arc.valueOffset + static_cast<double>(arc.valuePerRadian) * a);
    };
    const float atStart = arc.low;
    const float atEnd = arc.high;
    if (along <= sweep) return valueAt(arc.start + sign * along);
    // The middle of the gap is a single angle; float angles only reach it within rounding.
    const double fromMiddle = (along - sweep) - arc.halfGap;
    if (fromMiddle < -kMiddleTolerance) return atEnd;
    if (fromMiddle > kMiddleTolerance) return atStart;
    return arc.range < 0.0f ? atStart : atEnd;
}

LinearKnobDrag::LinearKnobDrag(float pressValue, Point press, std::uint32_t buttons, float minimum,
                               float maximum, float fineFactor) noexcept
    : range(maximum - minimum),
      fine(fineFactor),
      baseValue(pressValue),
      pressPoint(press),
      buttonsInForce(buttons) {
    stepValue = stepFor(buttons);
}

float LinearKnobDrag::stepFor(std::uint32_t buttons) const noexcept {
    float pixels = kLinearPixelsPerRange;
    if ((buttons & kShiftKey) != 0) {
        const float finer = fine * kLinearPixelsPerRange;
        // A zero or broken fine factor would divide by zero: keep the normal speed instead.
        if (std::isfinite(finer) && finer > 0.0f) pixels = finer;
    }
    return range / pixels;
}

float LinearKnobDrag::update(Point where, std::uint32_t buttons) noexcept {
    const float delta = static_cast<float>((where.h - pressPoint.h) + (pressPoint.v - where.v));
    if (buttons != buttonsInForce) {
        const float newStep = stepFor(buttons);
        baseValue += (stepValue - newStep) * delta;
        stepValue = newStep;
        buttonsInForce = buttons;
    }
    return baseValue + delta * stepValue;
}

float CircularKnobDrag::update(float pointed, float minimum, float maximum) noexcept {
    const float half = (maximum - minimum) / 2.0f;
    if (reference - pointed > half) return maximum;
    if (pointed - reference > half) return minimum;
    reference = pointed;
    return pointed;
}

int stripFrameIndex(float value, int frameCount, int frameHeight) noexcept {
    if (frameCount <= 1 || frameHeight <= 0) return 0;
    const double span = static_cast<double>(frameHeight) * (frameCount - 1);
    const double x = static_cast<double>(value) * span;
    if (!(x >= 0.0)) return 0;  // negative and NaN
    const double frame = std::floor(x / frameHeight);
    return frame >= frameCount - 1 ? frameCount - 1 : static_cast<int>(frame);
}

float sliderFraction(float value, std::int32_t style) noexcept {
    const float shown = std::isfinite(value) ? value : 0.0f;
    const float fraction = sliderGrowsForward(style) ? shown : 1.0f - shown;
    return std::clamp(fraction, 0.0f, 1.0f);
}

int sliderHandleStart(int travel, float fraction, int handleOffset) noexcept {
    return static_cast<int>(std::floor(static_cast<double>(travel) * fraction)) + handleOffset;
}

int sliderHandleStartInTravel(int start, int lowest, int highestEnd, int handleSize) noexcept {
    start = std::min(start, highestEnd - handleSize);
    return std::max(start, lowest);
}

float sliderDragValue(int pointer, int startCoordinate, int travel, std::int32_t style, bool fine,
                      float anchor, float fineFactor, float current) noexcept {
    if (travel <= 0) return current;
    float position = static_cast<float>(pointer - startCoordinate) / static_cast<float>(travel);
    if (!sliderGrowsForward(style)) position = 1.0f - position;
    if (fine && std::isfinite(fineFactor) && fineFactor != 0.0f)
        position = anchor + (position - anchor) / fineFactor;
    return position;
}

}  // namespace flanger::gui::controls
