// Sliders through the headless frame: handle placement by style and value (kept in its travel),
// jump-to-click and grip drags, the fine drag, the reset click, odd travels and the offscreen.
#include <gtest/gtest.h>

#include <cmath>

#include "gui/controls/LinearSlider.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::controls {
namespace {

using testing::ControlFixture;
using testing::Step;

constexpr int kTag = 17;

// Laid out as the editor's mix slider: 12 × 141 at (20, 48), a 12 × 22 handle, travel 119.
class Slider : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        handle = testing::solidBitmap(12, 22, 0x00FF00);
        groove = testing::solidBitmap(12, 141, 0x202020);
        slider = make(kSliderGrowsUp);
        ASSERT_TRUE(frame->addChild(slider));
        editor.watched = slider;
    }
    void TearDown() override {
        ControlFixture::TearDown();
        handle->release();
        groove->release();
    }
    VerticalLinearSlider* make(std::int32_t style, int maximum = 167) {
        return new VerticalLinearSlider({20, 48, 32, 189}, &listener, kTag, 48, maximum, handle, groove,
                                        {0, 0}, style);
    }

    SkinBitmap* handle = nullptr;
    SkinBitmap* groove = nullptr;
    VerticalLinearSlider* slider = nullptr;
};

TEST_F(Slider, StyleSixtyFourPutsValueOneAtTheTopOfTheTravel) {
    EXPECT_EQ(slider->sliderStyle(), kSliderGrowsUp | kSliderVertical);
    EXPECT_EQ(slider->travelPixels(), 119);
    slider->setValue(1.0f);
    EXPECT_EQ(slider->handleRect(), (Rect{0, 0, 12, 22}));
    slider->setValue(0.0f);
    EXPECT_EQ(slider->handleRect(), (Rect{0, 119, 12, 141}));
    slider->setValue(0.5f);
    EXPECT_EQ(slider->handleRect().top, 59);
}

TEST_F(Slider, HandleStaysInItsTravelForOutOfRangeAndNonFiniteValues) {
    for (const auto& [value, top] : std::vector<std::pair<float, int>>{
             {2.0f, 0}, {-1.0f, 119}, {std::nanf(""), 119}, {INFINITY, 119}, {-INFINITY, 119}}) {
        slider->setValue(value);  // setValue does not clamp: the drawing must
        EXPECT_EQ(slider->handleRect().top, top) << value;
        EXPECT_EQ(slider->handleRect().bottom, top + 22) << value;
    }
}

TEST_F(Slider, JumpToClickCentresTheHandleOnThePointer) {
    slider->setValue(0.5f);
    press({26, 177}, {{{26, 118}}, {{26, 20}}});
    EXPECT_FLOAT_EQ(editor.seen[0], 0.0f);  // 177 − (48 + 22/2 − 1) = the whole travel down
    EXPECT_NEAR(editor.seen[1], 1.0f - 60.0f / 119.0f, 1e-6f);
    EXPECT_FLOAT_EQ(slider->getValue(), 1.0f);  // clamped past the top
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', kTag}, {'e', kTag}}));
    EXPECT_EQ(frame->focusView(), slider);
}

TEST_F(Slider, WithoutJumpToClickOnlyTheHandleTakesThePressAndKeepsItsGrip) {
    slider->setJumpToClick(false);
    slider->setValue(0.5f);  // handle from 107 to 129 in the window
    press({26, 100});
    EXPECT_FLOAT_EQ(slider->getValue(), 0.5f);
    EXPECT_TRUE(editor.edits.empty());
    EXPECT_EQ(editor.refreshes, 0);

    press({26, 110}, {{{26, 100}}});
    EXPECT_NEAR(editor.seen[0], 1.0f - 59.0f / 119.0f, 1e-6f);  // the press itself moves nothing visible
    EXPECT_NEAR(slider->getValue(), 1.0f - 49.0f / 119.0f, 1e-6f);
    EXPECT_EQ(editor.edits.size(), 2u);
}

TEST_F(Slider, ShiftDragIsTenTimesFinerFromWhereShiftWasPressed) {
    press({26, 118}, {{{26, 118}, true}, {{26, 108}, true}, {{26, 98}}});
    const float before = 1.0f - 60.0f / 119.0f;
    EXPECT_NEAR(editor.seen[1], before, 1e-6f);
    EXPECT_NEAR(editor.seen[2], before + 10.0f / 119.0f / 10.0f, 1e-6f);
    EXPECT_NEAR(editor.seen[3], 1.0f - 40.0f / 119.0f, 1e-6f);  // Shift up: the pointer's own value
}

TEST_F(Slider, ControlClickResetsWithoutADrag) {
    slider->setValue(0.1f);
    Step control;
    control.control = true;
    press({26, 60}, {}, control);
    EXPECT_FLOAT_EQ(slider->getValue(), 0.5f);
    EXPECT_TRUE(editor.edits.empty());
    EXPECT_EQ(listener.values, std::vector<float>{0.5f});
}

TEST_F(Slider, DrawingAndDraggingAgreeForAStyleWithoutADirection) {
    auto* plain = make(0);
    frame->removeChild(slider, true);
    ASSERT_TRUE(frame->addChild(plain));
    editor.watched = plain;
    plain->setValue(0.25f);
    const Rect drawn = plain->handleRect();
    EXPECT_EQ(drawn.top, 89);          // grows upward like 16/64
    press({26, 48 + drawn.top + 10});  // the handle's centre as a jump-to-click drag places it
    EXPECT_NEAR(plain->getValue(), 0.25f, 0.01f);
}

TEST_F(Slider, ZeroTravelKeepsTheValue) {
    auto* flat = make(kSliderGrowsUp, 48);
    frame->removeChild(slider, true);
    ASSERT_TRUE(frame->addChild(flat));
    editor.watched = flat;
    flat->setValue(0.3f);
    press({26, 60}, {{{26, 90}}});
    EXPECT_FLOAT_EQ(flat->getValue(), 0.3f);
    EXPECT_EQ(flat->handleRect().top, 0);
}

TEST_F(Slider, DrawsThroughItsOffscreenOnlyWhileAttached) {
    EXPECT_TRUE(slider->hasOffscreen());
    slider->setValue(1.0f);
    slider->paintNow();
    EXPECT_EQ(pixels().pixel(26, 48), 0x00FF00u);  // handle at the top
    EXPECT_EQ(pixels().pixel(26, 70), 0x202020u);  // groove below it
    slider->setValue(0.0f);
    slider->paintNow();
    EXPECT_EQ(pixels().pixel(26, 48), 0x202020u);  // no earlier handle left behind
    EXPECT_EQ(pixels().pixel(26, 188), 0x00FF00u);

    slider->retain();
    frame->removeChild(slider, true);
    EXPECT_FALSE(slider->hasOffscreen());
    slider->markDirty(true);
    Canvas canvas(nullptr, &pixels(), nullptr);
    slider->draw(canvas);  // nothing to draw with, but no longer dirty
    EXPECT_FALSE(slider->needsRedraw());
    slider->release();
}

TEST_F(Slider, KeyedSliderShowsTheFrameBackgroundThroughItsKeyColour) {
    SkinBitmap* wall = testing::solidBitmap(240, 240, 0x000080);
    frame->setBackground(wall);
    wall->release();
    SkinBitmap* keyed = testing::solidBitmap(12, 141, 0xFFFFFF);  // all key colour
    slider->setBackground(keyed);
    keyed->release();
    slider->setTransparent(true);
    slider->setValue(1.0f);
    slider->paintNow();
    EXPECT_EQ(pixels().pixel(26, 100), 0x000080u);
}

TEST_F(Slider, ReplacingTheThumbReleasesTheOldOneAndTakesTheNewSize) {
    EXPECT_EQ(handle->referenceCount(), 2);
    SkinBitmap* tall = testing::solidBitmap(12, 40, 0xFF00FF);
    slider->setThumbBitmap(tall);
    EXPECT_EQ(handle->referenceCount(), 1);
    EXPECT_EQ(tall->referenceCount(), 2);
    slider->setValue(0.0f);
    EXPECT_EQ(slider->handleRect(), (Rect{0, 119, 12, 159}));
    slider->setThumbBitmap(nullptr);
    EXPECT_EQ(tall->referenceCount(), 1);
    EXPECT_EQ(slider->handleRect().height(), 1);
    tall->release();
}

TEST_F(Slider, WheelAndArrowKeysStep) {
    slider->setValue(0.5f);
    headless.setPointer(26, 100);
    EXPECT_TRUE(frame->onWheelTurn(nullptr, {0, 0}, 1.0f));
    EXPECT_NEAR(slider->getValue(), 0.6f, 1e-6f);
    EXPECT_EQ(frame->onKeyPress({0, kVirtualDown, 0}), 1);
    EXPECT_NEAR(slider->getValue(), 0.5f, 1e-6f);
}

TEST(HorizontalSlider, StyleEightGrowsToTheRight) {
    SkinBitmap* thumb = testing::solidBitmap(10, 8, 0xFF0000);
    HorizontalLinearSlider slider({10, 0, 110, 8}, nullptr, 1, 10, 100, thumb, nullptr, {0, 0},
                                  kSliderGrowsRight);
    EXPECT_FALSE(slider.vertical());
    slider.setValue(0.25f);
    EXPECT_EQ(slider.handleRect(), (Rect{22, 0, 32, 8}));
    slider.setThumbOffset({0, 0});
    thumb->release();
}

}  // namespace
}  // namespace flanger::gui::controls
