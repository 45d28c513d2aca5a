// The controls' arithmetic without a canvas: knob arc geometry and its gap, the linear and
// circular drags, strip frames and slider positions, including the odd inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gui/Canvas.h"
#include "gui/controls/DragMath.h"

namespace flanger::gui::controls {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class KnobGeometry : public ::testing::Test {
protected:
    void SetUp() override { arc.derive(0.0f, 1.0f); }
    KnobArc arc;  // default 225° start, −270° sweep
    float radius = 20.0f;
    int inset = 3;
};

TEST_F(KnobGeometry, HandleSitsAtLowerLeftTopAndLowerRight) {
    // 17 px from the centre (20, 20): 225°, 90° and −45°, rounded half up.
    EXPECT_EQ(knobPointerPosition(arc, 0.0f, radius, inset), (Point{8, 32}));
    EXPECT_EQ(knobPointerPosition(arc, 0.5f, radius, inset), (Point{20, 3}));
    EXPECT_EQ(knobPointerPosition(arc, 1.0f, radius, inset), (Point{32, 32}));
}

TEST_F(KnobGeometry, NonFiniteValuesAreShownAtTheMinimum) {
    const Point minimum = knobPointerPosition(arc, 0.0f, radius, inset);
    EXPECT_EQ(knobPointerPosition(arc, kNaN, radius, inset), minimum);
    EXPECT_EQ(knobPointerPosition(arc, kInf, radius, inset), minimum);
    EXPECT_EQ(knobPointerPosition(arc, -kInf, radius, inset), minimum);
}

TEST_F(KnobGeometry, ValueAtPointIsLinearInTheAngleAlongTheArc) {
    EXPECT_NEAR(knobValueAtPoint(arc, {20, 0}, radius), 0.5f, 1e-5f);         // straight up
    EXPECT_NEAR(knobValueAtPoint(arc, {0, 20}, radius), 1.0f / 6.0f, 1e-5f);  // left: 45° past the start
    EXPECT_NEAR(knobValueAtPoint(arc, {40, 20}, radius), 5.0f / 6.0f, 1e-5f);
    EXPECT_NEAR(knobValueAtPoint(arc, {0, 40}, radius), 0.0f, 1e-5f);   // on the start angle
    EXPECT_NEAR(knobValueAtPoint(arc, {40, 40}, radius), 1.0f, 1e-5f);  // on the end angle
}

TEST_F(KnobGeometry, GapSplitsAtItsMiddleWhichGoesToTheMinimumForAClockwiseArc) {
    EXPECT_EQ(knobValueAtPoint(arc, {21, 40}, radius), 1.0f);  // just right of straight down
    EXPECT_EQ(knobValueAtPoint(arc, {19, 40}, radius), 0.0f);
    EXPECT_EQ(knobValueAtPoint(arc, {20, 40}, radius), 0.0f);  // the exact middle
    KnobArc counter;
    counter.start = -0.7853982f;
    counter.range = 4.712389f;
    counter.derive(0.0f, 1.0f);
    EXPECT_EQ(knobValueAtPoint(counter, {20, 40}, radius), 1.0f);
}

TEST(KnobArcDerivation, ZeroSweepMapsEverythingToTheMinimumWithoutDividing) {
    KnobArc arc;
    arc.range = 0.0f;
    arc.derive(0.0f, 1.0f);
    EXPECT_EQ(arc.valuePerRadian, 0.0f);
    EXPECT_FLOAT_EQ(knobValueAtPoint(arc, {3, 9}, 10.0f), 0.0f);
    EXPECT_EQ(knobPointerPosition(arc, 0.7f, 10.0f, 2), knobPointerPosition(arc, 0.0f, 10.0f, 2));
}

TEST(LinearKnob, TwoHundredPixelsCoverTheRangeAndThreeHundredWithShift) {
    LinearKnobDrag plain(0.0f, {50, 50}, kPrimaryButton, 0.0f, 1.0f, 1.5f);
    EXPECT_FLOAT_EQ(plain.update({150, -50}, kPrimaryButton), 1.0f);  // 100 right + 100 up
    EXPECT_FLOAT_EQ(plain.update({50, 150}, kPrimaryButton), -0.5f);  // unclamped: the caller clamps
    LinearKnobDrag fine(0.0f, {0, 0}, kPrimaryButton | kShiftKey, 0.0f, 1.0f, 1.5f);
    EXPECT_NEAR(fine.update({300, 0}, kPrimaryButton | kShiftKey), 1.0f, 1e-6f);
    EXPECT_NEAR(fine.update({150, 0}, kPrimaryButton | kShiftKey), 0.5f, 1e-6f);
}

TEST(LinearKnob, ShiftMidDragKeepsTheValueAndChangesOnlyTheRate) {
    LinearKnobDrag drag(0.2f, {0, 0}, kPrimaryButton, 0.0f, 1.0f, 1.5f);
    const float before = drag.update({40, 0}, kPrimaryButton);
    EXPECT_FLOAT_EQ(before, 0.4f);
    const float pressed = drag.update({40, 0}, kPrimaryButton | kShiftKey);
    EXPECT_FLOAT_EQ(pressed, before);
    EXPECT_NEAR(drag.update({70, 0}, kPrimaryButton | kShiftKey), 0.5f, 1e-6f);  // 30 px at 1/300
    EXPECT_NEAR(drag.update({70, 0}, kPrimaryButton), 0.5f, 1e-6f);              // released: no jump
    EXPECT_NEAR(drag.update({90, 0}, kPrimaryButton), 0.6f, 1e-6f);
}

TEST(LinearKnob, BrokenFineFactorFallsBackToTheNormalRate) {
    LinearKnobDrag drag(0.0f, {0, 0}, kPrimaryButton | kShiftKey, 0.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(drag.update({100, 0}, kPrimaryButton | kShiftKey), 0.5f);
}

TEST(CircularKnob, PinsAtTheEndItCameFromUntilThePointerReturns) {
    CircularKnobDrag drag(0.9f);
    EXPECT_FLOAT_EQ(drag.update(0.95f, 0.0f, 1.0f), 0.95f);
    EXPECT_FLOAT_EQ(drag.update(0.0f, 0.0f, 1.0f), 1.0f);  // jumped across the gap: pinned at max
    EXPECT_FLOAT_EQ(drag.update(0.3f, 0.0f, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(drag.referenceValue(), 0.95f);
    EXPECT_FLOAT_EQ(drag.update(0.6f, 0.0f, 1.0f), 0.6f);  // within half the range of 0.95
    CircularKnobDrag fromMinimum(0.05f);
    EXPECT_FLOAT_EQ(fromMinimum.update(0.9f, 0.0f, 1.0f), 0.0f);
}

TEST(StripFrames, ThirtyOneFramesAndTheOddValues) {
    EXPECT_EQ(stripFrameIndex(0.5f, 31, 42), 15);
    EXPECT_EQ(stripFrameIndex(1.0f, 31, 42), 30);
    EXPECT_EQ(stripFrameIndex(0.999f, 31, 42), 29);
    EXPECT_EQ(stripFrameIndex(0.0f, 31, 42), 0);
    EXPECT_EQ(stripFrameIndex(-0.3f, 31, 42), 0);
    EXPECT_EQ(stripFrameIndex(kNaN, 31, 42), 0);
    EXPECT_EQ(stripFrameIndex(7.0f, 31, 42), 30);
    EXPECT_EQ(stripFrameIndex(kInf, 31, 42), 30);
    EXPECT_EQ(stripFrameIndex(0.5f, 31, 0), 0);
    EXPECT_EQ(stripFrameIndex(0.5f, 0, 42), 0);
}

TEST(SliderPositions, OnlyStylesEightAndThirtyTwoGrowForward) {
    EXPECT_FLOAT_EQ(sliderFraction(0.25f, kSliderHorizontal | kSliderGrowsRight), 0.25f);
    EXPECT_FLOAT_EQ(sliderFraction(0.25f, kSliderVertical | kSliderGrowsDown), 0.25f);
    EXPECT_FLOAT_EQ(sliderFraction(0.25f, kSliderVertical | kSliderGrowsUp), 0.75f);
    EXPECT_FLOAT_EQ(sliderFraction(0.25f, kSliderVertical), 0.75f);  // no direction bit
    // The drag agrees with the drawing for the same styles.
    EXPECT_FLOAT_EQ(sliderDragValue(25, 0, 100, kSliderVertical, false, 0.0f, 10.0f, 0.0f), 0.75f);
    EXPECT_FLOAT_EQ(sliderDragValue(25, 0, 100, kSliderVertical | kSliderGrowsDown, false, 0.0f, 10.0f, 0.0f),
                    0.25f);
}

TEST(SliderPositions, OutOfRangeAndNonFiniteValuesKeepTheHandleInItsTravel) {
    EXPECT_FLOAT_EQ(sliderFraction(3.0f, kSliderGrowsRight), 1.0f);
    EXPECT_FLOAT_EQ(sliderFraction(-3.0f, kSliderGrowsRight), 0.0f);
    EXPECT_FLOAT_EQ(sliderFraction(kNaN, kSliderGrowsRight), 0.0f);
    EXPECT_FLOAT_EQ(sliderFraction(kNaN, kSliderGrowsUp), 1.0f);  // the minimum, at the bottom
    EXPECT_EQ(sliderHandleStart(100, 0.5f, 3), 53);
    EXPECT_EQ(sliderHandleStartInTravel(130, 0, 122, 22), 100);
    EXPECT_EQ(sliderHandleStartInTravel(-4, 0, 122, 22), 0);
    EXPECT_EQ(sliderHandleStartInTravel(5, 2, 1, 22), 2);  // no room at all: the lowest position
}

TEST(SliderPositions, FineDragAndAZeroTravel) {
    EXPECT_FLOAT_EQ(sliderDragValue(60, 0, 100, kSliderGrowsRight, true, 0.5f, 10.0f, 0.5f), 0.51f);
    EXPECT_FLOAT_EQ(sliderDragValue(60, 0, 0, kSliderGrowsRight, false, 0.0f, 10.0f, 0.3f), 0.3f);
    EXPECT_FLOAT_EQ(sliderDragValue(60, 0, -5, kSliderGrowsRight, false, 0.0f, 10.0f, 0.3f), 0.3f);
}

}  // namespace
}  // namespace flanger::gui::controls
