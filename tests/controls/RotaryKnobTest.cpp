// Rotary and strip knobs driven through the headless frame: circular and linear drags with the
// knob mode and Alt, the reset click, wheel and arrow keys, and the handle and strip pixels.
#include <gtest/gtest.h>

#include <cmath>

#include "gui/KnobMode.h"
#include "gui/controls/RotaryKnob.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::controls {
namespace {

using testing::ControlFixture;
using testing::Step;

constexpr int kTag = 7;

class Knob : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        setKnobMode(0);
        knob = new RotaryKnob({100, 100, 140, 140}, &listener, kTag, nullptr, nullptr, {0, 0});
        ASSERT_TRUE(frame->addChild(knob));
        editor.watched = knob;
    }
    void TearDown() override {
        setKnobMode(0);
        ControlFixture::TearDown();
    }
    RotaryKnob* knob = nullptr;
};

TEST_F(Knob, CircularClickSetsTheValueAtThePointersAngleRelativeToTheKnob) {
    press({120, 100});  // straight up from the centre (120, 120)
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-5f);
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', kTag}, {'e', kTag}}));
    EXPECT_EQ(frame->focusView(), knob);
    ASSERT_FALSE(listener.values.empty());
    EXPECT_NEAR(listener.values.back(), 0.5f, 1e-5f);
}

TEST_F(Knob, CircularReferenceIsTakenRelativeToTheKnobNotTheWindow) {
    knob->setValue(0.5f);
    // (103, 137) is 225° from the knob's centre; measured from the window's corner it would lie
    // in the gap on the maximum side, and the drag would pin the value there.
    press({103, 137});
    EXPECT_NEAR(knob->getValue(), 0.0f, 1e-5f);
}

TEST_F(Knob, DragStepPresentsOnlyTheKnob) {
    knob->setValue(0.0f);
    press({120, 100}, {{{140, 120}}});
    const platform::PixelBox shown = window->lastPresented();
    EXPECT_FALSE(shown.empty());
    EXPECT_GE(shown.left, 100);
    EXPECT_GE(shown.top, 100);
    EXPECT_LE(shown.right, 141);
    EXPECT_LE(shown.bottom, 141);
}

TEST_F(Knob, CircularDragAcrossTheBottomGapStaysPinnedAtTheMaximum) {
    press({140, 140}, {{{122, 140}}, {{118, 140}}, {{100, 140}}, {{100, 120}}, {{120, 100}}});
    ASSERT_EQ(editor.seen.size(), 6u);
    EXPECT_FLOAT_EQ(editor.seen[0], 1.0f);
    EXPECT_FLOAT_EQ(editor.seen[1], 1.0f);  // right half of the gap: the maximum
    EXPECT_FLOAT_EQ(editor.seen[2], 1.0f);  // left half would be the minimum: pinned
    EXPECT_FLOAT_EQ(editor.seen[3], 1.0f);
    EXPECT_FLOAT_EQ(editor.seen[4], 1.0f);     // 1/6 is still more than half the range away
    EXPECT_NEAR(editor.seen[5], 0.5f, 1e-5f);  // back within half the range: follows again
}

TEST_F(Knob, LinearModeCoversTheRangeInTwoHundredPixelsAndThreeHundredWithShift) {
    setKnobMode(kLinearKnobMode);
    knob->setValue(0.0f);
    press({120, 120}, {{{170, 120}}, {{220, 20}}});
    EXPECT_NEAR(editor.seen[0], 0.0f, 1e-6f);  // no movement yet: the click changes nothing
    EXPECT_NEAR(editor.seen[1], 0.25f, 1e-6f);
    EXPECT_NEAR(knob->getValue(), 1.0f, 1e-6f);

    knob->setValue(0.0f);
    press({120, 120}, {{{270, 120}, true}, {{420, 120}, true}}, {{}, true});
    EXPECT_NEAR(editor.seen[1], 0.5f, 1e-6f);
    EXPECT_NEAR(knob->getValue(), 1.0f, 1e-6f);
}

TEST_F(Knob, ShiftPressedMidDragDoesNotMakeTheValueJump) {
    setKnobMode(kLinearKnobMode);
    knob->setValue(0.0f);
    // The new state is taken up at the next movement, at the value the old rate gives there.
    press({120, 120},
          {{{160, 120}}, {{160, 120}, true}, {{190, 120}, true}, {{220, 120}, true}, {{240, 120}}});
    EXPECT_NEAR(editor.seen[1], 0.2f, 1e-6f);
    EXPECT_NEAR(editor.seen[2], 0.2f, 1e-6f);
    EXPECT_NEAR(editor.seen[3], 0.35f, 1e-6f);
    EXPECT_NEAR(editor.seen[4], 0.45f, 1e-6f);  // 30 px at 1/300
    EXPECT_NEAR(editor.seen[5], 0.45f + 20.0f / 300.0f, 1e-6f);
}

TEST_F(Knob, LinearOvershootMustBeUndoneBeforeTheValueMoves) {
    setKnobMode(kLinearKnobMode);
    knob->setValue(0.5f);
    press({120, 120}, {{{320, 120}}, {{220, 120}}, {{170, 120}}});
    EXPECT_FLOAT_EQ(editor.seen[1], 1.0f);  // 0.5 + 1.0, clamped
    EXPECT_FLOAT_EQ(editor.seen[2], 1.0f);  // base 0.5 + 100 px: still at the end
    EXPECT_NEAR(editor.seen[3], 0.75f, 1e-6f);
}

TEST_F(Knob, AltInvertsTheModuleWideModeForOneDrag) {
    EXPECT_FALSE(dragsLinearly(0, kPrimaryButton));
    EXPECT_TRUE(dragsLinearly(0, kPrimaryButton | kAltKey));
    EXPECT_TRUE(dragsLinearly(kLinearKnobMode, kPrimaryButton));
    EXPECT_FALSE(dragsLinearly(kLinearKnobMode, kPrimaryButton | kAltKey));
    EXPECT_FALSE(dragsLinearly(1, kPrimaryButton));

    knob->setValue(0.0f);
    Step alt;
    alt.alt = true;
    press({120, 100}, {}, alt);  // circular would jump to 0.5; linear without movement keeps 0
    EXPECT_FLOAT_EQ(knob->getValue(), 0.0f);
}

TEST_F(Knob, ControlClickResetsToTheDefaultWithoutADrag) {
    knob->setValue(0.9f);
    Step control;
    control.control = true;
    press({120, 100}, {}, control);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    EXPECT_TRUE(editor.edits.empty());
    EXPECT_EQ(editor.refreshes, 0);
    EXPECT_EQ(listener.values, std::vector<float>{0.5f});
}

TEST_F(Knob, WheelAndArrowKeysStepTheValue) {
    knob->setValue(0.5f);
    headless.setPointer(120, 120);
    EXPECT_TRUE(frame->onWheelTurn(nullptr, {0, 0}, 2.0f));
    EXPECT_NEAR(knob->getValue(), 0.7f, 1e-6f);
    headless.setModifiers(true, false, false);
    EXPECT_TRUE(knob->onWheelTurn(nullptr, {0, 0}, -1.0f));
    EXPECT_NEAR(knob->getValue(), 0.69f, 1e-6f);
    headless.setModifiers(false, false, false);

    EXPECT_EQ(knob->onKeyPress({0, kVirtualUp, 0}), 1);
    EXPECT_NEAR(knob->getValue(), 0.79f, 1e-6f);
    EXPECT_EQ(knob->onKeyPress({0, kVirtualLeft, kShiftModifier}), 1);
    EXPECT_NEAR(knob->getValue(), 0.78f, 1e-6f);
    EXPECT_EQ(knob->onKeyPress({'a', 0, 0}), -1);
    EXPECT_EQ(listener.canvases.back(), nullptr);  // key changes pass no canvas
    knob->enableMouse(false);
    EXPECT_FALSE(knob->onWheelTurn(nullptr, {0, 0}, 1.0f));
}

TEST(KnobArcSetters, DerivedMappingFollowsTheAnglesButNotMinAndMax) {
    RotaryKnob knob({0, 0, 40, 40}, nullptr, 1, nullptr, nullptr, {0, 0});
    knob.markDirty(false);
    knob.setArcSweep(-3.1415927f);
    EXPECT_TRUE(knob.needsRedraw());
    EXPECT_NEAR(knob.knobArc().valuePerRadian, -1.0f / 3.1415927f, 1e-6f);
    knob.setMax(2.0f);
    EXPECT_NEAR(knob.knobArc().valuePerRadian, -1.0f / 3.1415927f, 1e-6f);
    knob.setArcStart(3.1415927f);
    EXPECT_NEAR(knob.knobArc().valuePerRadian, -2.0f / 3.1415927f, 1e-6f);
    EXPECT_NEAR(knob.valueAtPoint({20, 0}), 1.0f, 1e-5f);  // half of the 180° sweep, of 0 … 2
}

TEST(KnobDrawing, LineHandleIsAShadowAndALightLineToTheCentre) {
    platform::Surface surface(40, 40, 0x000000);
    Canvas canvas(nullptr, &surface, nullptr);
    RotaryKnob knob({0, 0, 40, 40}, nullptr, 1, nullptr, nullptr, {0, 0});
    knob.setValue(0.5f);
    knob.draw(canvas);
    EXPECT_FALSE(knob.needsRedraw());
    // Handle point (20, 3); centre (19, 20); the light line is moved by (+1, −1).
    EXPECT_EQ(surface.pixel(19, 10), colors::grey.pixel());
    EXPECT_EQ(surface.pixel(20, 10), colors::white.pixel());
    EXPECT_EQ(surface.pixel(18, 10), 0u);
    EXPECT_EQ(surface.pixel(21, 10), 0u);
}

TEST(KnobDrawing, BitmapHandleIsCentredOnThePointerAndReplacedCleanly) {
    SkinBitmap* first = testing::solidBitmap(6, 6, 0xFF0000);
    RotaryKnob knob({0, 0, 40, 40}, nullptr, 1, nullptr, first, {0, 0});
    EXPECT_EQ(knob.pointerInset(), 5);  // ⌊6 × 0.5 + 2.5⌋
    EXPECT_EQ(first->referenceCount(), 2);

    SkinBitmap* second = testing::solidBitmap(10, 4, 0x00FF00);
    knob.setPointerBitmap(second);
    EXPECT_EQ(first->referenceCount(), 1);
    EXPECT_EQ(second->referenceCount(), 2);
    EXPECT_EQ(knob.pointerInset(), 7);
    knob.setPointerBitmap(nullptr);
    EXPECT_EQ(knob.pointerInset(), 7);  // null keeps the inset
    EXPECT_EQ(second->referenceCount(), 1);
    knob.setPointerBitmap(second);

    platform::Surface surface(40, 40, 0x000000);
    Canvas canvas(nullptr, &surface, nullptr);
    knob.setValue(0.5f);
    knob.draw(canvas);  // handle point (20, 7): a 10 × 4 block from (15, 5)
    EXPECT_EQ(surface.pixel(15, 5), 0x00FF00u);
    EXPECT_EQ(surface.pixel(24, 8), 0x00FF00u);
    EXPECT_EQ(surface.pixel(14, 5), 0u);
    EXPECT_EQ(surface.pixel(25, 8), 0u);
    EXPECT_EQ(surface.pixel(15, 9), 0u);
    first->release();
    second->release();
}

// 31 frames of 10 × 10, frame i filled with colour i; frame 2 is all key colour (white).
SkinBitmap* numberedStrip() {
    platform::Surface strip(10, 310);
    for (int i = 0; i < 31; ++i) {
        strip.fill({0, i * 10, 10, i * 10 + 10},
                   i == 2 ? 0xFFFFFFu : static_cast<std::uint32_t>(0x010101 * (i + 1)));
    }
    return new SkinBitmap(0, std::move(strip));
}

TEST(StripKnobDrawing, ShowsTheClampedFrameOfTheValue) {
    SkinBitmap* strip = numberedStrip();
    StripKnob knob({5, 5, 15, 15}, nullptr, 1, 31, 10, strip, {0, 0});
    EXPECT_EQ(knob.pointerInset(), 0);
    platform::Surface surface(20, 20, 0);
    Canvas canvas(nullptr, &surface, nullptr);
    for (const auto& [value, frameIndex] : std::vector<std::pair<float, int>>{
             {0.5f, 15}, {1.0f, 30}, {0.999f, 29}, {1.7f, 30}, {-1.0f, 0}, {std::nanf(""), 0}}) {
        knob.setValue(value);
        knob.draw(canvas);
        EXPECT_EQ(knob.shownFrame(), frameIndex) << value;
        EXPECT_EQ(surface.pixel(10, 10), static_cast<std::uint32_t>(0x010101 * (frameIndex + 1))) << value;
    }
    strip->release();
}

TEST_F(ControlFixture, KeyedStripKnobRestoresTheFrameBackgroundFirst) {
    SkinBitmap* wall = testing::solidBitmap(240, 240, 0x800000);
    frame->setBackground(wall);
    wall->release();
    SkinBitmap* strip = numberedStrip();
    auto* knob = new StripKnob({5, 5, 15, 15}, nullptr, 1, 31, 10, strip, {0, 0});
    strip->release();
    knob->setTransparent(true);
    ASSERT_TRUE(frame->addChild(knob));
    knob->setValue(1.0f / 30.0f);  // frame 1: opaque
    knob->paintNow();
    EXPECT_EQ(pixels().pixel(10, 10), 0x020202u);
    knob->setValue(2.0f / 30.0f + 1e-4f);  // frame 2: all key colour
    knob->paintNow();
    EXPECT_EQ(pixels().pixel(10, 10), 0x800000u);  // not the earlier frame
}

TEST(StripKnobDrawing, ZeroFrameHeightDrawsNothing) {
    SkinBitmap* strip = numberedStrip();
    StripKnob knob({0, 0, 10, 10}, nullptr, 1, 0, 0, strip, {0, 0});
    platform::Surface surface(10, 10, 0x123456);
    Canvas canvas(nullptr, &surface, nullptr);
    knob.setValue(0.5f);
    knob.draw(canvas);
    EXPECT_EQ(surface.pixel(5, 5), 0x123456u);
    EXPECT_FALSE(knob.needsRedraw());
    strip->release();
}

}  // namespace
}  // namespace flanger::gui::controls
