// The stereo width bar: band limits and both colour ramps with their shortened outer columns,
// values that cannot be drawn as they stand, and clicks and drags through the headless frame.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "editor/StereoWidthBar.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::editor {
namespace {

using gui::Canvas;
using gui::Point;
using gui::Rect;
using testing::ControlFixture;
using testing::Step;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
// The editor's placement of the bar: 194 × 9, centre column 97 (window column 109).
constexpr Rect kBarRect{12, 31, 206, 40};

platform::Surface render(StereoWidthBar& bar) {
    platform::Surface surface(bar.bounds().width(), bar.bounds().height(), 0x00FF00);
    Canvas canvas(nullptr, &surface, nullptr);
    canvas.setOffset({-bar.bounds().left, -bar.bounds().top});
    bar.draw(canvas);
    return surface;
}

// The columns with anything drawn on them (the bar has no picture: black elsewhere).
std::vector<int> drawnColumns(const platform::Surface& s) {
    std::vector<int> columns;
    for (int x = 0; x < s.width(); ++x) {
        bool any = false;
        for (int y = 0; y < s.height(); ++y) any = any || s.pixel(x, y) != 0;
        if (any) columns.push_back(x);
    }
    return columns;
}

std::vector<int> range(int first, int last) {
    std::vector<int> out;
    for (int x = first; x <= last; ++x) out.push_back(x);
    return out;
}

TEST(StereoWidthBand, SpansTwentyColumnsAtZeroAndTheWholeBarAtOne) {
    EXPECT_EQ(stereoWidthBand(194, 0.0f).lo, 87);
    EXPECT_EQ(stereoWidthBand(194, 0.0f).hi, 107);
    EXPECT_EQ(stereoWidthBand(194, 1.0f).lo, 0);
    EXPECT_EQ(stereoWidthBand(194, 1.0f).hi, 194);
    EXPECT_EQ(stereoWidthBand(194, 0.5f).lo, 43);   // trunc(87 − 43.5)
    EXPECT_EQ(stereoWidthBand(194, 0.5f).hi, 150);  // trunc(43.5 + 107)
    // Values a host or program may leave: NaN as 0, the rest kept within the bar.
    EXPECT_EQ(stereoWidthBand(194, kNaN).lo, 87);
    EXPECT_EQ(stereoWidthBand(194, 7.0f).hi, 194);
    EXPECT_EQ(stereoWidthBand(194, -std::numeric_limits<float>::infinity()).lo, 87);
}

TEST(StereoWidthAt, IsTheDistanceFromTheCentreOverTheHalfWidth) {
    EXPECT_EQ(stereoWidthAt(109, 12, 194), 0.0f);
    EXPECT_EQ(stereoWidthAt(12, 12, 194), 1.0f);
    EXPECT_EQ(stereoWidthAt(206, 12, 194), 1.0f);
    EXPECT_FLOAT_EQ(stereoWidthAt(60, 12, 194), 49.0f / 97.0f);  // in floating point, not 0
    EXPECT_FLOAT_EQ(stereoWidthAt(300, 12, 194), 191.0f / 97.0f);
    EXPECT_EQ(stereoWidthAt(5, 5, 1), 0.0f);  // no half: nothing to divide by
    EXPECT_EQ(stereoWidthAt(5, 5, 0), 0.0f);
}

TEST(StereoWidthBarDrawing, AtZeroOnlyTheTwentyCentreColumnsAreDrawn) {
    StereoWidthBar bar(kBarRect, nullptr, 22, nullptr);
    bar.setValue(0.0f);
    const platform::Surface shown = render(bar);
    EXPECT_EQ(drawnColumns(shown), range(87, 106));
    EXPECT_FALSE(bar.needsRedraw());
}

TEST(StereoWidthBarDrawing, AtOneEveryColumnIsDrawnWithBothRamps) {
    StereoWidthBar bar(kBarRect, nullptr, 22, nullptr);
    bar.setValue(1.0f);
    const platform::Surface s = render(bar);
    EXPECT_EQ(drawnColumns(s), range(0, 193));
    auto rgb = [](int r, int g, int b) {
        return platform::packRgb(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                 static_cast<std::uint8_t>(b));
    };
    // Left: k = trunc(x ÷ 97 × 100), brightest at the outer end.
    EXPECT_EQ(s.pixel(50, 0), rgb(145 - 51, 227 - 51, 238 - 51));
    EXPECT_EQ(s.pixel(50, 8), rgb(145 - 51, 227 - 51, 238 - 51));
    EXPECT_EQ(s.pixel(96, 4), rgb(145 - 98, 227 - 98, 238 - 98));
    // The centre column belongs to the right half, darkest there: k = 50.
    EXPECT_EQ(s.pixel(97, 4), rgb(6, 77, 127));
    // Right: k = trunc((194 − x) ÷ 97 × 50).
    EXPECT_EQ(s.pixel(150, 4), rgb(56 - 22, 127 - 22, 177 - 22));
    // The two outer columns of each side are shortened by one and two pixels at both ends.
    EXPECT_EQ(s.pixel(0, 1), 0u);
    EXPECT_EQ(s.pixel(0, 2), rgb(145, 227, 238));
    EXPECT_EQ(s.pixel(0, 6), rgb(145, 227, 238));
    EXPECT_EQ(s.pixel(0, 7), 0u);
    EXPECT_EQ(s.pixel(1, 0), 0u);
    EXPECT_EQ(s.pixel(1, 1), rgb(144, 226, 237));
    EXPECT_EQ(s.pixel(1, 7), rgb(144, 226, 237));
    EXPECT_EQ(s.pixel(1, 8), 0u);
    EXPECT_EQ(s.pixel(2, 0), rgb(143, 225, 236));
    EXPECT_EQ(s.pixel(193, 1), 0u);
    EXPECT_EQ(s.pixel(193, 2), rgb(56, 127, 177));
    EXPECT_EQ(s.pixel(193, 7), 0u);
    EXPECT_EQ(s.pixel(192, 0), 0u);
    EXPECT_EQ(s.pixel(192, 1), rgb(55, 126, 176));
    EXPECT_EQ(s.pixel(191, 8), rgb(55, 126, 176));
}

TEST(StereoWidthBarDrawing, PictureUnderTheBandAndBarsWithoutAreaOrValue) {
    auto* picture = new gui::SkinBitmap(1009);
    ASSERT_EQ(picture->getWidth(), 196);
    StereoWidthBar bar(kBarRect, nullptr, 22, picture);
    picture->release();
    bar.setValue(0.0f);
    const platform::Surface s = render(bar);
    EXPECT_EQ(s.pixel(10, 4), bar.getBackground()->image().pixel(10, 4));
    EXPECT_EQ(s.pixel(193, 8), bar.getBackground()->image().pixel(193, 8));

    bar.setValue(kNaN);  // drawn as 0
    EXPECT_EQ(render(bar).pixels(), s.pixels());

    for (const Rect& r : {Rect{0, 0, 0, 9}, Rect{0, 0, 1, 9}, Rect{0, 0, 5, 9}, Rect{0, 0, 20, 0}}) {
        StereoWidthBar odd(r, nullptr, 22, nullptr);
        odd.setValue(1.0f);
        render(odd);
        EXPECT_FALSE(odd.needsRedraw());
    }
}

class BarDrag : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        bar = new StereoWidthBar(kBarRect, &listener, 22, nullptr);
        ASSERT_TRUE(frame->addChild(bar));
        const std::int32_t stereo = 3;
        frame->setEditList(22, 1, &stereo);
        editor.watched = bar;
    }
    StereoWidthBar* bar = nullptr;
};

TEST_F(BarDrag, ClicksAtTheCentreGiveZeroAndAtEitherEndOne) {
    bar->setValue(0.5f);
    press({109, 35});
    EXPECT_EQ(bar->getValue(), 0.0f);
    press({12, 35});
    EXPECT_EQ(bar->getValue(), 1.0f);
    bar->setValue(0.5f);
    press({206, 35});
    EXPECT_EQ(bar->getValue(), 1.0f);
    EXPECT_EQ(listener.values, (std::vector<float>{0.0f, 1.0f, 1.0f}));
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{
                                {'b', 3}, {'e', 3}, {'b', 3}, {'e', 3}, {'b', 3}, {'e', 3}}));
}

TEST_F(BarDrag, DragFollowsTheDistanceClampsBeyondTheEndsAndAStillPointerReportsNothing) {
    bar->setValue(0.0f);
    press({109, 35}, {{{60, 35}}, {{60, 35}}, {{158, 20}}, {{300, 35}}, {{400, 35}}});
    EXPECT_EQ(listener.values, (std::vector<float>{49.0f / 97.0f, 1.0f}));
    // The click at the centre of a bar at 0 changed nothing; 158 is as far out as 60.
    ASSERT_EQ(editor.seen.size(), 6u);
    EXPECT_FLOAT_EQ(editor.seen[3], 49.0f / 97.0f);
}

TEST_F(BarDrag, TheBarIsRepaintedDuringTheDragWithoutTheListenersHelp) {
    bar->setValue(0.0f);
    bar->paintNow();
    press({109, 35}, {{{12, 35}}, {{12, 35}}});
    EXPECT_FALSE(bar->needsRedraw());
    // The whole band shows in the window: its left end at window column 12.
    EXPECT_NE(pixels().pixel(14, 35), 0u);
    EXPECT_NE(window->screen().pixel(14, 35), 0u);
}

TEST_F(BarDrag, OnlyThePrimaryButtonOnAnEnabledBarStartsADrag) {
    bar->setValue(0.5f);
    headless.setButtons(platform::kRightButton);
    {
        Canvas canvas(frame, &window->backing(), window);
        bar->onMouseDown(canvas, {12, 35});
        headless.setButtons(platform::kLeftButton);
        bar->enableMouse(false);
        bar->onMouseDown(canvas, {12, 35});
        headless.setButtons(0);
    }
    EXPECT_EQ(bar->getValue(), 0.5f);
    EXPECT_TRUE(editor.edits.empty());
    EXPECT_TRUE(listener.values.empty());
}

}  // namespace
}  // namespace flanger::editor
