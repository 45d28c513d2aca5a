// Toggle and momentary buttons through the headless frame: the flip by truncated value, the
// held loop inside and outside the button, modifier clicks, and their frames.
#include <gtest/gtest.h>

#include <cmath>

#include "gui/controls/Buttons.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::controls {
namespace {

using testing::ControlFixture;
using testing::Step;

// 10 × 20: the off frame red above the on frame blue.
SkinBitmap* twoFrames() {
    platform::Surface image(10, 20, 0xFF0000);
    image.fill({0, 10, 10, 20}, 0x0000FF);
    return new SkinBitmap(0, std::move(image));
}

class Toggle : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        SkinBitmap* frames = twoFrames();
        toggle = new ToggleButton({50, 50, 60, 60}, &listener, 11, frames);
        frames->release();
        ASSERT_TRUE(frame->addChild(toggle));
    }
    ToggleButton* toggle = nullptr;
};

TEST_F(Toggle, ClickTurnsATruncatedZeroOnAndAnythingElseOff) {
    for (const auto& [before, after] : std::vector<std::pair<float, float>>{{0.6f, 1.0f},
                                                                            {1.0f, 0.0f},
                                                                            {0.0f, 1.0f},
                                                                            {-0.9f, 1.0f},
                                                                            {2.5f, 0.0f},
                                                                            {std::nanf(""), 1.0f},
                                                                            {INFINITY, 0.0f}}) {
        toggle->setValue(before);
        listener.values.clear();
        press({55, 55});
        EXPECT_EQ(toggle->getValue(), after) << before;
        EXPECT_EQ(listener.values.size(), 1u) << before;  // called whether or not it changed
    }
    EXPECT_EQ(editor.edits.size(), 14u);
    EXPECT_EQ(editor.refreshes, 7);
}

TEST_F(Toggle, AQueuedPressAndReleaseToggleInOnePump) {
    queuedClick({55, 55});
    EXPECT_EQ(toggle->getValue(), 1.0f);
    queuedClick({55, 55});
    EXPECT_EQ(toggle->getValue(), 0.0f);
    EXPECT_EQ(listener.values.size(), 2u);
}

TEST_F(Toggle, DrawsTheLowerFrameWhenOn) {
    toggle->setValue(1.0f);
    toggle->paintNow();
    EXPECT_EQ(pixels().pixel(55, 55), 0x0000FFu);
    toggle->setValue(0.0f);
    toggle->paintNow();
    EXPECT_EQ(pixels().pixel(55, 55), 0xFF0000u);
    toggle->setValue(std::nanf(""));
    toggle->paintNow();
    EXPECT_EQ(pixels().pixel(55, 55), 0xFF0000u);
}

TEST_F(Toggle, ControlClickIsAnOrdinaryClick) {
    toggle->setValue(0.0f);
    Step control;
    control.control = true;
    press({55, 55}, {}, control);
    EXPECT_EQ(toggle->getValue(), 1.0f);  // no reset to the default 0.5
}

class Momentary : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        SkinBitmap* frames = twoFrames();
        button = new MomentaryButton({50, 50, 60, 60}, &listener, 21, 10, frames, {0, 0});
        frames->release();
        ASSERT_TRUE(frame->addChild(button));
        editor.watched = button;
        button->markDirty(false);  // as after the first paint
    }
    MomentaryButton* button = nullptr;
};

TEST_F(Momentary, PressDragOutsideAndReleaseGoesOneThenPressValueThenZero) {
    press({55, 55}, {{{80, 80}}, {{80, 80}}, {{81, 80}}});
    // The pointer read at the end of a pass is used by the next one.
    EXPECT_EQ(editor.seen, (std::vector<float>{1.0f, 1.0f, 0.0f, 0.0f}));
    // On, back to the press value outside, and the release as 0 whether or not it changed.
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f, 0.0f}));
    EXPECT_EQ(button->getValue(), 0.0f);
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 21}, {'e', 21}}));
}

TEST_F(Momentary, EdgesOfTheButtonCountAsInside) {
    press({60, 60}, {{{60, 60}}});
    EXPECT_EQ(editor.seen.front(), 1.0f);
}

TEST_F(Momentary, ModifierClickFlipsOnceThenReleases) {
    Step shift;
    shift.shift = true;
    press({55, 55}, {}, shift);
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(editor.refreshes, 0);
}

TEST_F(Momentary, DrawClampsAndShowsThePressedFrameOneFrameLower) {
    button->setValue(3.0f);
    button->paintNow();
    EXPECT_EQ(button->getValue(), 1.0f);
    EXPECT_EQ(pixels().pixel(55, 55), 0x0000FFu);
    button->setValue(0.0f);
    button->paintNow();
    EXPECT_EQ(pixels().pixel(55, 55), 0xFF0000u);
}

}  // namespace
}  // namespace flanger::gui::controls
