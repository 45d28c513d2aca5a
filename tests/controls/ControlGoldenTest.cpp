// Each standard control drawn by a headless frame over the editor background, in a few states,
// against PNG goldens in tests/golden/controls/. FLANGER_REGENERATE_GOLDENS=1 rewrites them; a
// mismatch leaves the actual picture and a diff in the build tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gui/controls/Buttons.h"
#include "gui/controls/LinearSlider.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/controls/SplashArea.h"
#include "tests/controls/ControlTestSupport.h"
#include "tests/support/GoldenImage.h"
#include "tools/common/PngFile.h"

namespace flanger::gui::controls {
namespace {

struct Tolerance {
    int channel = 0;  // largest per-channel difference that counts as equal
    int pixels = 0;   // pixels allowed beyond it (text only)
};

void expectMatchesGolden(const platform::Surface& actual, const std::string& name, Tolerance tolerance = {}) {
    flanger::testing::expectMatchesGolden(actual, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, name,
                                          {tolerance.channel, tolerance.pixels});
}

// A frame at the editor's size over its background, the way the editor lays the controls out.
class ControlGolden : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setCurrentPlatform(&headless);
        bitmaps.load(1000, 11, 1001);
        frame = new FrameView({0, 0, 370, 216}, &headless, 0x5150, nullptr);
        ASSERT_TRUE(frame->hasWindow());
        frame->setBackground(bitmaps.getMain());
        window = static_cast<platform::HeadlessWindow*>(frame->nativeWindow());
    }
    void TearDown() override {
        frame->release();
        platform::setCurrentPlatform(nullptr);
    }

    // The control drawn at each value, side by side with a 2-pixel black gap.
    platform::Surface states(Control* control, const std::vector<float>& values) {
        EXPECT_TRUE(frame->addChild(control));
        frame->paintView(nullptr);
        const Rect at = control->bounds();
        const int count = static_cast<int>(values.size());
        platform::Surface strip(count * (at.width() + 2) - 2, at.height(), 0);
        for (int i = 0; i < count; ++i) {
            control->setValue(values[static_cast<std::size_t>(i)]);
            control->paintNow();
            platform::copyBlock(window->backing(), at.left, at.top, strip, i * (at.width() + 2), 0,
                                at.width(), at.height());
        }
        return strip;
    }

    platform::HeadlessPlatform headless;
    BitmapSet bitmaps;
    FrameView* frame = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

TEST_F(ControlGolden, StripKnobAtMinimumMiddleAndMaximum) {
    auto* knob = new StripKnob({13, 154, 55, 196}, nullptr, 1, 65, 42, bitmaps.get(1003), {0, 0});
    knob->setTransparent(true);
    expectMatchesGolden(states(knob, {0.0f, 0.5f, 1.0f}), "strip-knob");
}

TEST_F(ControlGolden, RotaryKnobWithHandleBitmap) {
    auto* knob =
        new RotaryKnob({235, 47, 257, 69}, nullptr, 15, bitmaps.getMain(), bitmaps.get(1004), {235, 47});
    expectMatchesGolden(states(knob, {0.0f, 0.5f, 1.0f}), "rotary-knob-bitmap");
}

TEST_F(ControlGolden, RotaryKnobWithLineHandle) {
    auto* knob = new RotaryKnob({113, 154, 155, 196}, nullptr, 5, bitmaps.getMain(), nullptr, {113, 154});
    knob->setPointerColor(colors::yellow);
    expectMatchesGolden(states(knob, {0.0f, 0.25f, 0.5f, 1.0f}), "rotary-knob-line");
}

TEST_F(ControlGolden, VerticalSliderAtBottomMiddleAndTop) {
    auto* slider = new VerticalLinearSlider({333, 48, 345, 189}, nullptr, 17, 48, 167, bitmaps.get(1005),
                                            bitmaps.getMain(), {333, 48}, kSliderGrowsUp);
    slider->setThumbTransparent(true);
    expectMatchesGolden(states(slider, {0.0f, 0.5f, 1.0f}), "vertical-slider");
}

TEST_F(ControlGolden, ToggleAndMomentaryButtonsOffAndOn) {
    auto* toggle = new ToggleButton({256, 140, 267, 151}, nullptr, 11, bitmaps.get(1010));
    expectMatchesGolden(states(toggle, {0.0f, 1.0f}), "toggle-button");
    auto* momentary = new MomentaryButton({200, 10, 211, 21}, nullptr, 21, 11, bitmaps.get(1010), {0, 0});
    expectMatchesGolden(states(momentary, {0.0f, 1.0f}), "momentary-button");
}

TEST_F(ControlGolden, OpenInfoSplashWithItsVersionLine) {
    auto* splash = new InfoSplash({10, 6, 78, 23}, nullptr, 0, bitmaps.get(1000), {0, 0, 370, 216}, {0, 0});
    fillInfoTexts(*splash, {144, 174, 215, 194}, {0, 0, 0, 0}, colors::white, 0, "1.1.1", "unused");
    ASSERT_TRUE(frame->addChild(splash));
    splash->setValue(1.0f);
    frame->paintView(nullptr);
    // Text goes through the system's fonts: a little room for their rasteriser.
    expectMatchesGolden(window->backing(), "info-splash", {8, 60});
}

}  // namespace
}  // namespace flanger::gui::controls
