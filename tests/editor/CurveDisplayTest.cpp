// The curve displays: their starting fields, the loaders and setters with the dirty rule, the
// pixels of curves, baseline and background (and of curves that cannot be drawn as they stand),
// and whole two-axis drags through the headless frame's scripted pointer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "editor/CurveDisplay.h"
#include "editor/CurveMath.h"
#include "editor/ModulationDisplay.h"
#include "gui/SkinBitmap.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::editor {
namespace {

using gui::Canvas;
using gui::Color;
using gui::Point;
using gui::Rect;
using testing::ControlFixture;
using testing::Step;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kDarkRed = 0xB40000;  // (180, 0, 0), the second colour's default
// The editor's placement of the display.
constexpr Rect kDisplayRect{11, 41, 207, 115};

// Bitmaps are destroyed only by their last release; the holder gives up its own reference.
struct HeldBitmap {
    explicit HeldBitmap(gui::SkinBitmap* bitmap) : get(bitmap) {}
    ~HeldBitmap() { get->release(); }
    HeldBitmap(const HeldBitmap&) = delete;
    HeldBitmap& operator=(const HeldBitmap&) = delete;
    gui::SkinBitmap* get;
};

TEST(CurveDisplayFields, StartCentredWithTheBackgroundTakenFromTheDisplaysOwnCorner) {
    CurveDisplay display({10, 20, 110, 60}, nullptr, 4, nullptr, 5);
    EXPECT_EQ(display.displayWidth(), 100);
    EXPECT_EQ(display.displayHeight(), 40);
    EXPECT_EQ(display.getSampleCount(), 100);
    EXPECT_EQ(display.getBaseline(), 20);
    EXPECT_EQ(display.getOriginX(), 0);
    EXPECT_EQ(display.getBackgroundOffset(), (Point{10, 20}));
    EXPECT_EQ(display.getFlags(), 5);
    EXPECT_EQ(display.getScale(), 1.0f);
    EXPECT_EQ(display.curveColor(0), gui::colors::white);
    EXPECT_EQ(display.curveColor(1), (Color{180, 0, 0, 0}));
    EXPECT_EQ(display.curveColor(7), (Color{180, 0, 0, 0}));
    EXPECT_EQ(display.xEditTag(), -1);
    EXPECT_EQ(display.yEditTag(), -1);
    EXPECT_EQ(display.getHorizontal(), 0.0f);
    EXPECT_EQ(display.getVertical(), 0.0f);
    for (int i : {0, 50, 99}) {
        EXPECT_EQ(display.curveOffset(0, i), 20.0f) << i;
        EXPECT_EQ(display.curveOffset(1, i), 20.0f) << i;
    }
    EXPECT_EQ(display.curveOffset(0, 100), 0.0f);  // outside the buffer

    ModulationDisplay modulation(kDisplayRect, nullptr, 21, nullptr, 3);
    EXPECT_EQ(modulation.getBackgroundOffset(), (Point{0, 0}));
    EXPECT_EQ(modulation.getBaseline(), 74);
    EXPECT_EQ(modulation.getSampleCount(), 196);
    EXPECT_EQ(modulation.curveOffset(0, 0), 37.0f);
}

TEST(CurveDisplayLoaders, ScaleByTheReachAndEndTheCurveAtZero) {
    CurveDisplay display({0, 0, 100, 40}, nullptr, 1, nullptr, 3);
    const float values[] = {1.0f, 0.5f, -1.0f};
    display.markDirty(false);
    display.loadCentredCurve(0, values, 3);
    EXPECT_TRUE(display.needsRedraw());
    EXPECT_EQ(display.curveOffset(0, 0), -19.0f);  // 40 ÷ 2 − 1
    EXPECT_EQ(display.curveOffset(0, 1), -9.5f);
    EXPECT_EQ(display.curveOffset(0, 2), 19.0f);
    EXPECT_EQ(display.curveOffset(0, 3), 20.0f);  // beyond count: untouched
    EXPECT_EQ(display.curveOffset(0, 99), 0.0f);  // the last entry always
    EXPECT_EQ(display.curveOffset(1, 0), 20.0f);  // the other curve untouched
    display.loadCentredCurve(5, values, 1);       // any other value fills the second
    EXPECT_EQ(display.curveOffset(1, 0), -19.0f);

    ModulationDisplay modulation({0, 0, 100, 40}, nullptr, 1, nullptr, 3);
    modulation.loadCurve(1, values, 2);
    EXPECT_EQ(modulation.curveOffset(1, 0), -39.0f);  // height − 1
    EXPECT_EQ(modulation.curveOffset(1, 1), -19.5f);
    EXPECT_EQ(modulation.curveOffset(1, 99), 0.0f);
}

TEST(CurveDisplayLoaders, CountsBeyondTheBufferAreCutAndNullValuesLoadNothing) {
    ModulationDisplay display({0, 0, 20, 10}, nullptr, 1, nullptr, 3);
    const std::vector<float> many(500, 1.0f);
    display.loadCurve(0, many.data(), 500);
    for (int i = 0; i < 19; ++i) EXPECT_EQ(display.curveOffset(0, i), -9.0f) << i;
    EXPECT_EQ(display.curveOffset(0, 19), 0.0f);
    display.loadCurve(1, nullptr, 20);
    EXPECT_EQ(display.curveOffset(1, 0), 5.0f);
    EXPECT_EQ(display.curveOffset(1, 19), 0.0f);
    display.loadCurve(1, many.data(), -4);
    EXPECT_EQ(display.curveOffset(1, 0), 5.0f);

    // No width: no buffers, and the loaders and draw still work.
    ModulationDisplay empty({5, 5, 5, 30}, nullptr, 1, nullptr, 3);
    EXPECT_EQ(empty.getSampleCount(), 0);
    empty.loadCurve(0, many.data(), 3);
    EXPECT_TRUE(empty.needsRedraw());
    platform::Surface surface(40, 40, 0x123456);
    Canvas canvas(nullptr, &surface, nullptr);
    empty.draw(canvas);
    EXPECT_FALSE(empty.needsRedraw());
    EXPECT_EQ(surface.pixel(5, 10), 0x123456u);
}

TEST(CurveDisplaySetters, ScaleAndColourMarkDirtyButTheTwoValuesDoNot) {
    CurveDisplay display({0, 0, 100, 40}, nullptr, 1, nullptr, 3);
    display.markDirty(false);
    display.setScale(1.0f);
    EXPECT_FALSE(display.needsRedraw());
    display.setScale(2.0f);
    EXPECT_TRUE(display.needsRedraw());
    EXPECT_EQ(display.getScale(), 2.0f);

    display.markDirty(false);
    display.setHorizontal(0.25f);
    display.setVertical(0.75f);
    EXPECT_FALSE(display.needsRedraw());
    EXPECT_EQ(display.getHorizontal(), 0.25f);
    EXPECT_EQ(display.getVertical(), 0.75f);

    display.setCurveColor(0, gui::colors::green);
    EXPECT_TRUE(display.needsRedraw());
    EXPECT_EQ(display.curveColor(0), gui::colors::green);
    display.setCurveColor(2, gui::colors::white);
    EXPECT_EQ(display.curveColor(1), gui::colors::white);

    display.setEditTags(5, 9);
    EXPECT_EQ(display.xEditTag(), 5);
    EXPECT_EQ(display.yEditTag(), 9);
}

// The display drawn straight into a surface the size of the window part it covers.
class DisplayPixels : public ::testing::Test {
protected:
    platform::Surface render(CurveDisplay& display) {
        platform::Surface surface(display.displayWidth(), display.displayHeight(), 0x00FF00);
        Canvas canvas(nullptr, &surface, nullptr);
        canvas.setOffset({-display.bounds().left, -display.bounds().top});
        display.draw(canvas);
        EXPECT_FALSE(display.needsRedraw());
        return surface;
    }
    // The first row from the top in column x whose pixel differs from the reference.
    static int topmostChange(const platform::Surface& a, const platform::Surface& reference, int x) {
        for (int y = 0; y < a.height(); ++y)
            if (a.pixel(x, y) != reference.pixel(x, y)) return y;
        return -1;
    }
    static bool identical(const platform::Surface& a, const platform::Surface& b) {
        return a.pixels() == b.pixels();
    }
};

TEST_F(DisplayPixels, NoDepthLeavesTheModulationDisplayEqualToItsPicture) {
    HeldBitmap picture(new gui::SkinBitmap(1006));
    ASSERT_EQ(picture.get->getWidth(), 196);
    ASSERT_EQ(picture.get->getHeight(), 74);
    ModulationDisplay display(kDisplayRect, nullptr, 21, picture.get, 3);
    CurveParameters p;
    p.depth = 0.0f;
    std::vector<float> sweep(196), comb(196);
    loadModulationCurves(display, p, 196, 74, sweep, comb);
    EXPECT_TRUE(identical(render(display), picture.get->image()));
}

TEST_F(DisplayPixels, FullDepthPeaksOnRowTwoInWhiteOverTheCombCurve) {
    HeldBitmap held(new gui::SkinBitmap(1006));
    const platform::Surface& picture = held.get->image();
    ModulationDisplay display(kDisplayRect, nullptr, 21, held.get, 3);
    CurveParameters p;
    p.depth = 100.0f;
    p.rate = 1.0f;
    p.shapeSync = 8.0f;  // peaks at columns 48 and 144
    p.feedback = 100.0f;
    std::vector<float> sweep(196), comb(196);
    loadModulationCurves(display, p, 196, 74, sweep, comb);
    const platform::Surface shown = render(display);
    int top = 74;
    for (int x = 0; x < 196; ++x) {
        const int y = topmostChange(shown, picture, x);
        if (y >= 0) top = std::min(top, y);
    }
    EXPECT_EQ(top, 2);
    EXPECT_EQ(shown.pixel(48, 2), kWhite);
    EXPECT_EQ(shown.pixel(144, 2), kWhite);
    EXPECT_EQ(shown.pixel(48, 1), picture.pixel(48, 1));
    // Where the comb curve stands apart from the sweep it shows its own colour, at 100 % feedback.
    bool combSeen = false;
    for (int x = 0; x < 196 && !combSeen; ++x)
        for (int y = 0; y < 74; ++y)
            combSeen = combSeen || shown.pixel(x, y) == 0x91E3EEu;  // (145, 227, 238)
    EXPECT_TRUE(combSeen);
}

TEST_F(DisplayPixels, CurvesRunFromTheOriginToTheLastButOneEntry) {
    ModulationDisplay display({0, 0, 20, 10}, nullptr, 1, nullptr, CurveDisplay::kDrawFirst);
    std::vector<float> flat(20, 0.5f);  // 0.5 × 9 → offset −4.5, drawn at trunc(−4.5 + 0.5) = −4
    display.loadCurve(0, flat.data(), 20);
    const platform::Surface shown = render(display);
    for (int x = 0; x < 18; ++x) EXPECT_EQ(shown.pixel(x, 6), kWhite) << x;
    // The line to entry 18 ends there, and the last entry (0) is never drawn.
    EXPECT_EQ(shown.pixel(18, 6), 0u);
    EXPECT_EQ(shown.pixel(19, 10 - 1), 0u);
    EXPECT_EQ(shown.pixel(5, 5), 0u);  // no background picture: black
}

TEST_F(DisplayPixels, BaselineFlagDrawsTheBaselineAndClosesBothCurvesToIt) {
    CurveDisplay display({0, 0, 20, 20}, nullptr, 1, nullptr,
                         CurveDisplay::kDrawFirst | CurveDisplay::kDrawBaseline);
    std::vector<float> values(20, 1.0f);  // −9 from the baseline at 10, drawn at trunc(−8.5): row 2
    display.loadCentredCurve(0, values.data(), 20);
    const platform::Surface shown = render(display);
    EXPECT_EQ(shown.pixel(0, 10), kWhite);  // closed from the baseline at the origin, in the first colour
    EXPECT_EQ(shown.pixel(0, 5), kWhite);
    EXPECT_EQ(shown.pixel(10, 2), kWhite);
    EXPECT_EQ(shown.pixel(10, 10), kDarkRed);  // the baseline, second colour
    EXPECT_EQ(shown.pixel(18, 10), kDarkRed);
    EXPECT_EQ(shown.pixel(19, 10), 0u);     // its line ends at the last entry
    EXPECT_EQ(shown.pixel(18, 5), kWhite);  // the closing line back down
    // The second curve is not drawn without its flag: its colour is only on the baseline.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            if (y != 10) {
                EXPECT_NE(shown.pixel(x, y), kDarkRed) << x << ", " << y;
            }
}

TEST_F(DisplayPixels, SecondCurveIsDrawnUnderTheFirstInItsOwnColour) {
    CurveDisplay display({0, 0, 20, 20}, nullptr, 1, nullptr, 3);
    std::vector<float> up(20, 1.0f), down(20, -1.0f);
    display.loadCentredCurve(0, up.data(), 20);
    display.loadCentredCurve(1, down.data(), 20);
    const platform::Surface shown = render(display);
    EXPECT_EQ(shown.pixel(5, 2), kWhite);
    EXPECT_EQ(shown.pixel(5, 19), kDarkRed);
    display.loadCentredCurve(1, up.data(), 20);  // the same curve: the first lies on top
    EXPECT_EQ(render(display).pixel(5, 2), kWhite);
    display.setScale(0.5f);  // −9 × 0.5 + 0.5 → −4
    EXPECT_EQ(render(display).pixel(5, 6), kWhite);
}

TEST_F(DisplayPixels, NonFiniteOffsetsAndScalesDrawOnTheBaselineOrAtTheEdge) {
    CurveDisplay display({0, 0, 20, 20}, nullptr, 1, nullptr, CurveDisplay::kDrawFirst);
    std::vector<float> odd(20, kNaN);
    odd[3] = std::numeric_limits<float>::infinity();
    odd[4] = 1e30f;
    display.loadCentredCurve(0, odd.data(), 20);
    const platform::Surface shown = render(display);
    EXPECT_EQ(shown.pixel(10, 10), kWhite);  // NaN on the baseline
    display.setScale(kNaN);
    display.setScale(std::numeric_limits<float>::infinity());
    render(display);
}

TEST_F(DisplayPixels, MissingOrEmptyPicturesLeaveTheCurvesOnBlack) {
    HeldBitmap missing(new gui::SkinBitmap(4242));
    ASSERT_EQ(missing.get->getWidth(), 0);
    ModulationDisplay display({0, 0, 20, 10}, nullptr, 1, missing.get, 3);
    EXPECT_EQ(render(display).pixel(10, 2), 0u);
    gui::SkinBitmap* empty = new gui::SkinBitmap(0, platform::Surface(0, 0));
    display.setBackground(empty);
    empty->release();
    EXPECT_EQ(render(display).pixel(10, 2), 0u);
}

// A listener that answers like the editor: in sync mode the horizontal value comes back as the
// note it stands for (k ÷ 17), and the display is redrawn when dirty.
struct EchoListener : gui::ValueListener {
    bool roundToNotes = false;
    std::vector<std::pair<float, float>> reports;
    void onValueChanged(Canvas* canvas, gui::Control* control) override {
        auto* display = static_cast<CurveDisplay*>(control);
        reports.push_back({display->getHorizontal(), display->getVertical()});
        if (roundToNotes) display->setHorizontal(std::floor(display->getHorizontal() * 17.0f + 0.5f) / 17.0f);
        if (canvas != nullptr) display->redrawIfDirty(*canvas);
    }
};

class DisplayDrag : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        display = new ModulationDisplay(kDisplayRect, &echo, 21, nullptr, 3);
        display->setEditTags(5, 9);
        ASSERT_TRUE(frame->addChild(display));
        const std::int32_t depth = 2, rate = 5;
        frame->setEditList(5, 1, &depth);
        frame->setEditList(9, 1, &rate);
    }
    // Press in the middle of the display and move by the offsets, one per pass.
    void drag(std::vector<Point> offsets, Step held = {}) {
        std::vector<Step> path;
        for (Point d : offsets) {
            Step s = held;
            s.at = {kMiddle.h + d.h, kMiddle.v + d.v};
            path.push_back(s);
        }
        echo.reports.clear();
        editor.edits.clear();
        press(kMiddle, std::move(path), held);
    }
    static constexpr Point kMiddle{109, 78};
    EchoListener echo;
    ModulationDisplay* display = nullptr;
};

TEST_F(DisplayDrag, TheWholeWidthMovesTheHorizontalValueByOneAndTheHeightTheVertical) {
    drag({{49, 0}, {98, 0}, {196, 0}, {196, 0}});
    ASSERT_EQ(echo.reports.size(), 3u);  // the last pass does not move
    EXPECT_FLOAT_EQ(echo.reports[0].first, 0.25f);
    EXPECT_FLOAT_EQ(echo.reports[1].first, 0.5f);
    EXPECT_FLOAT_EQ(echo.reports[2].first, 1.0f);
    drag({{300, 0}});
    EXPECT_EQ(display->getHorizontal(), 1.0f);

    display->setHorizontal(0.0f);
    display->setVertical(0.0f);
    drag({{0, -37}, {0, -74}, {0, 10}});  // up increases; down below the press gives 0
    ASSERT_EQ(echo.reports.size(), 3u);
    EXPECT_FLOAT_EQ(echo.reports[0].second, 0.5f);
    EXPECT_FLOAT_EQ(echo.reports[1].second, 1.0f);
    EXPECT_EQ(echo.reports[2].second, 0.0f);
    for (const auto& r : echo.reports) EXPECT_EQ(r.first, 0.0f);
}

TEST_F(DisplayDrag, ValuesAreMeasuredFromThePressNotSetToThePointer) {
    display->setHorizontal(0.3f);
    display->setVertical(0.6f);
    drag({{0, 0}, {-49, 0}});
    ASSERT_EQ(echo.reports.size(), 1u);  // the press itself changes nothing
    EXPECT_NEAR(echo.reports[0].first, 0.05f, 1e-6f);
    EXPECT_FLOAT_EQ(echo.reports[0].second, 0.6f);
}

TEST_F(DisplayDrag, ShiftMovesAtAThirdOfTheSpeed) {
    Step shift;
    shift.shift = true;
    drag({{98, -37}}, shift);
    ASSERT_EQ(echo.reports.size(), 1u);
    EXPECT_NEAR(echo.reports[0].first, 0.5f / 3.0f, 1e-6f);
    EXPECT_NEAR(echo.reports[0].second, 0.5f / 3.0f, 1e-6f);
}

TEST_F(DisplayDrag, ControlLocksTheVerticalAxisAndAltTheHorizontal) {
    Step control;
    control.control = true;
    drag({{98, -37}}, control);
    ASSERT_EQ(echo.reports.size(), 1u);
    EXPECT_FLOAT_EQ(echo.reports[0].first, 0.5f);
    EXPECT_EQ(echo.reports[0].second, 0.0f);
    ASSERT_EQ(editor.edits.size(), 4u);  // no reset click: Control + click still drags

    display->setHorizontal(0.0f);
    Step alt;
    alt.alt = true;
    drag({{98, -37}}, alt);
    ASSERT_EQ(echo.reports.size(), 1u);
    EXPECT_EQ(echo.reports[0].first, 0.0f);
    EXPECT_FLOAT_EQ(echo.reports[0].second, 0.5f);
}

TEST_F(DisplayDrag, ModifiersAreTakenFromTheLastPass) {
    // Alt pressed mid-drag keeps the horizontal value where it was; released, it follows again.
    Step alt;
    alt.alt = true;
    std::vector<Step> path{{{kMiddle.h + 49, kMiddle.v}}, alt, {}};
    path[1].at = {kMiddle.h + 98, kMiddle.v - 37};
    path[2].at = {kMiddle.h + 98, kMiddle.v - 37};
    press(kMiddle, path);
    ASSERT_EQ(echo.reports.size(), 3u);
    EXPECT_FLOAT_EQ(echo.reports[0].first, 0.25f);
    EXPECT_FLOAT_EQ(echo.reports[1].first, 0.25f);
    EXPECT_FLOAT_EQ(echo.reports[1].second, 0.5f);
    EXPECT_FLOAT_EQ(echo.reports[2].first, 0.5f);
}

TEST_F(DisplayDrag, BeginAndEndOfEditGoOutUnderBothEditTagsXFirst) {
    drag({{10, 0}});
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 2}, {'b', 5}, {'e', 2}, {'e', 5}}));
    const std::int32_t syncBeat = 6;
    frame->setEditList(9, 1, &syncBeat);
    drag({{10, 0}});
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 2}, {'b', 6}, {'e', 2}, {'e', 6}}));

    display->setEditTags(-1, 9);
    drag({{20, 0}});
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 6}, {'e', 6}}));
    display->setEditTags(-1, -1);
    drag({{30, 0}});
    EXPECT_TRUE(editor.edits.empty());
    EXPECT_EQ(echo.reports.size(), 1u);  // the drag still runs
}

TEST_F(DisplayDrag, AStillPointerReportsNothingEvenWhenTheEchoRoundsTheValue) {
    echo.roundToNotes = true;
    drag({{30, 0}, {30, 0}, {30, 0}, {30, -5}, {30, -5}});
    ASSERT_EQ(echo.reports.size(), 2u);
    EXPECT_NEAR(echo.reports[0].first, 30.0f / 196.0f, 1e-6f);
    EXPECT_NEAR(echo.reports[1].first, 30.0f / 196.0f, 1e-6f);
    EXPECT_NEAR(echo.reports[1].second, 5.0f / 74.0f, 1e-6f);
    EXPECT_FLOAT_EQ(display->getHorizontal(), 3.0f / 17.0f);  // the echo's note stays in place
}

TEST_F(DisplayDrag, APressWithoutThePrimaryButtonOrOnADisabledDisplayDoesNothing) {
    headless.setButtons(platform::kRightButton);
    {
        Canvas canvas(frame, &window->backing(), window);
        display->onMouseDown(canvas, kMiddle);
        headless.setButtons(platform::kLeftButton);
        display->enableMouse(false);
        display->onMouseDown(canvas, kMiddle);
        headless.setButtons(0);
    }
    EXPECT_TRUE(editor.edits.empty());
    EXPECT_EQ(editor.refreshes, 0);
    EXPECT_TRUE(echo.reports.empty());
}

TEST_F(DisplayDrag, NonFinitePressValuesStartFromZero) {
    display->setHorizontal(kNaN);
    display->setVertical(std::numeric_limits<float>::infinity());
    drag({{49, 0}});
    ASSERT_EQ(echo.reports.size(), 1u);
    EXPECT_FLOAT_EQ(echo.reports[0].first, 0.25f);
    EXPECT_EQ(echo.reports[0].second, 0.0f);
}

TEST(DragAxisValue, MovesByTheOffsetAndStaysWithinZeroAndOne) {
    EXPECT_FLOAT_EQ(dragAxisValue(0.5f, 10, 0.01f), 0.6f);
    EXPECT_EQ(dragAxisValue(0.5f, 100, 0.01f), 1.0f);
    EXPECT_EQ(dragAxisValue(0.5f, -100, 0.01f), 0.0f);
    EXPECT_EQ(dragAxisValue(1.7f, 0, 0.01f), 1.0f);
    EXPECT_EQ(dragAxisValue(kNaN, 0, 0.01f), 0.0f);
    EXPECT_FLOAT_EQ(dragAxisValue(-std::numeric_limits<float>::infinity(), 5, 0.01f), 0.05f);  // from 0
    EXPECT_EQ(dragAxisValue(0.5f, 1000, 0.0f), 0.5f);  // a zero-sized axis does not move
}

}  // namespace
}  // namespace flanger::editor
