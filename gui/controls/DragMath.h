// The arithmetic of the standard controls, apart from any canvas: knob arc geometry, the
// linear and circular knob drags, slider positions and handle rectangles, strip frames.
#pragma once

#include <cstdint>

#include "gui/Geometry.h"

namespace flanger::gui::controls {

// A knob's arc: where the minimum lies, how far (signed) the maximum lies from it, and the
// value mapping derived from both. Angles in radians, counter-clockwise, v axis pointing down.
struct KnobArc {
    float start = 3.9269908f;  // 225°
    float range = -4.712389f;  // −270°: clockwise on screen
    float halfGap = 0.0f;
    float valuePerRadian = 0.0f;
    float valueOffset = 0.0f;
    float low = 0.0f;  // the minimum and maximum the mapping was derived for: the arc's ends
    float high = 1.0f;

    // Derives halfGap, valuePerRadian and valueOffset for the given value range.
    void derive(float minimum, float maximum) noexcept;
};

// The handle point for value, relative to the knob's top-left. Non-finite values are shown
// at the start angle (the minimum), so no NaN reaches an integer conversion.
Point knobPointerPosition(const KnobArc& arc, float value, float radius, int inset) noexcept;

// The value at a point relative to the knob's top-left; in the gap, whichever end is nearer.
float knobValueAtPoint(const KnobArc& arc, Point where, float radius) noexcept;

// Linear knob drag: right and up increase; Shift makes it finer without the value jumping.
class LinearKnobDrag {
public:
    LinearKnobDrag(float pressValue, Point press, std::uint32_t buttons, float minimum, float maximum,
                   float fineFactor) noexcept;
    // The new value (unclamped) for a pointer position and button state.
    float update(Point where, std::uint32_t buttons) noexcept;
    float base() const noexcept { return baseValue; }
    float step() const noexcept { return stepValue; }

private:
    float stepFor(std::uint32_t buttons) const noexcept;

    float range;
    float fine;
    float baseValue;  // deliberately unclamped: an overshoot must be undone before the value moves
    float stepValue;
    Point pressPoint;
    std::uint32_t buttonsInForce;
};

// Circular knob drag: follows the pointer's angle but will not jump across the gap by more
// than half the range; pinned at the end it came from until the pointer comes back.
class CircularKnobDrag {
public:
    explicit CircularKnobDrag(float pressReference) noexcept : reference(pressReference) {}
    float update(float pointed, float minimum, float maximum) noexcept;
    float referenceValue() const noexcept { return reference; }

private:
    float reference;
};

// Which strip frame a value shows: ⌊value × (count − 1)⌋ kept in 0 … count − 1 (NaN → 0).
int stripFrameIndex(float value, int frameCount, int frameHeight) noexcept;

// Slider style bits.
inline constexpr std::int32_t kSliderHorizontal = 1;
inline constexpr std::int32_t kSliderVertical = 2;
inline constexpr std::int32_t kSliderGrowsRight = 8;
inline constexpr std::int32_t kSliderGrowsLeft = 16;
inline constexpr std::int32_t kSliderGrowsDown = 32;
inline constexpr std::int32_t kSliderGrowsUp = 64;

// Only styles 8 and 32 grow right/down; every other style grows left/up, in drawing and
// dragging alike, so the two always agree.
constexpr bool sliderGrowsForward(std::int32_t style) noexcept {
    return (style & (kSliderGrowsRight | kSliderGrowsDown)) != 0;
}

// The handle's fraction of the travel for a value: value or 1 − value by style, kept in
// [0, 1]; a non-finite value is shown as the minimum.
float sliderFraction(float value, std::int32_t style) noexcept;

// Where the handle lies along the axis (relative to the control), before any clamping.
int sliderHandleStart(int travel, float fraction, int handleOffset) noexcept;

// The same start kept inside [lowest, highestEnd − handleSize], so the whole handle stays in
// its travel whatever the value.
int sliderHandleStartInTravel(int start, int lowest, int highestEnd, int handleSize) noexcept;

// The value a slider drag gives at a pointer coordinate along its axis; `anchor` and `fine`
// give the Shift drag. Returns `current` when the travel is not positive (nothing to divide by).
float sliderDragValue(int pointer, int startCoordinate, int travel, std::int32_t style, bool fine,
                      float anchor, float fineFactor, float current) noexcept;

}  // namespace flanger::gui::controls
