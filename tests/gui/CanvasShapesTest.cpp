// Line, outline and fill rasterisation, offsets, pen styles and the offscreen canvas.
#include <gtest/gtest.h>

#include "gui/Canvas.h"

namespace flanger::gui {
namespace {

constexpr std::uint32_t kInk = 0xFF0000;

class CanvasShapes : public ::testing::Test {
protected:
    platform::Surface surface{16, 16, 0};
    Canvas canvas{nullptr, &surface, nullptr};

    bool lit(int x, int y) const { return surface.pixel(x, y) == kInk; }
    int litCount() const {
        int n = 0;
        for (std::uint32_t p : surface.pixels()) n += p == kInk ? 1 : 0;
        return n;
    }
};

TEST_F(CanvasShapes, OutlineRectSetsExactlyTheFourEdgeLines) {
    canvas.setPenColor(colors::red);
    canvas.outlineRect({0, 0, 10, 10});
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool onEdge = (x == 0 || x == 10 || y == 0 || y == 10) && x <= 10 && y <= 10;
            EXPECT_EQ(lit(x, y), onEdge) << x << "," << y;
        }
    }
}

TEST_F(CanvasShapes, FillInteriorPaintsOnlyStrictlyInsidePixels) {
    canvas.setBrushColor(colors::red);
    canvas.fillInterior({0, 0, 10, 10});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(lit(x, y), x >= 1 && x <= 9 && y >= 1 && y <= 9) << x << "," << y;
}

TEST_F(CanvasShapes, LineLeavesOutItsEndPointInEveryDirection) {
    canvas.setPenColor(colors::red);
    canvas.movePen({2, 2});
    canvas.drawLineTo({12, 7});
    EXPECT_TRUE(lit(2, 2));
    EXPECT_FALSE(lit(12, 7));
    EXPECT_EQ(litCount(), 10);  // one pixel per step along the major axis
    surface = platform::Surface(16, 16, 0);
    canvas.movePen({9, 9});
    canvas.drawLineTo({9, 3});
    EXPECT_EQ(litCount(), 6);
    EXPECT_TRUE(lit(9, 4));
    EXPECT_FALSE(lit(9, 3));
}

TEST_F(CanvasShapes, OffsetMovesEveryDrawingOperation) {
    canvas.setOffset({3, 4});
    canvas.setPenColor(colors::red);
    canvas.setBrushColor(colors::red);
    canvas.fillInterior({0, 0, 2, 2});
    EXPECT_TRUE(lit(4, 5));
    EXPECT_EQ(litCount(), 1);
    canvas.movePen({0, 0});
    canvas.drawLineTo({0, 3});
    EXPECT_TRUE(lit(3, 4));
    EXPECT_TRUE(lit(3, 6));
    EXPECT_FALSE(lit(3, 7));
}

TEST_F(CanvasShapes, DottedPenSetsEveryOtherPixelAndWidePensDrawSolid) {
    canvas.setPenColor(colors::red);
    canvas.setDashStyle(1);
    canvas.movePen({0, 0});
    canvas.drawLineTo({10, 0});
    for (int x = 0; x < 10; ++x) EXPECT_EQ(lit(x, 0), x % 2 == 0) << x;
    canvas.setLineWidth(3);
    canvas.movePen({0, 8});
    canvas.drawLineTo({10, 8});
    for (int x = 0; x < 10; ++x) EXPECT_TRUE(lit(x, 7) && lit(x, 8) && lit(x, 9)) << x;
    canvas.setDashStyle(7);  // anything but 1 is solid
    EXPECT_EQ(canvas.lineStyle(), 0);
}

TEST_F(CanvasShapes, DrawingOutsideTheSurfaceIsClippedNotWrapped) {
    canvas.setPenColor(colors::red);
    canvas.setBrushColor(colors::red);
    canvas.movePen({-20, 5});
    canvas.drawLineTo({40, 5});
    canvas.fillInterior({-100, -100, 0, 100});  // interior entirely left of the surface
    EXPECT_EQ(litCount(), 16);
}

TEST_F(CanvasShapes, FreshCanvasDefaultsAndNullSurfaceIsHarmless) {
    EXPECT_EQ(canvas.penColor(), colors::white);
    EXPECT_EQ(canvas.brushColor(), colors::black);
    EXPECT_EQ(canvas.textInk(), colors::white);
    EXPECT_EQ(canvas.lineWidth(), 1);
    EXPECT_EQ(canvas.clipRect(), (Rect{0, 0, 1000, 1000}));
    Canvas nothing(nullptr, nullptr, nullptr);
    nothing.outlineRect({0, 0, 5, 5});
    nothing.fillInterior({0, 0, 5, 5});
    nothing.drawTextLine("x", {0, 0, 5, 5}, 1, 0);
}

TEST(OffscreenCanvas, StartsInTheBackgroundColourAndBlitsABlock) {
    OffscreenCanvas offscreen(nullptr, 6, 4, colors::blue);
    for (std::uint32_t p : offscreen.pixels().pixels()) EXPECT_EQ(p, colors::blue.pixel());
    EXPECT_EQ(offscreen.clipRect(), (Rect{0, 0, 6, 4}));
    offscreen.setBrushColor(colors::yellow);
    offscreen.fillInterior({1, 0, 4, 3});  // columns 2–3, rows 1–2
    platform::Surface window(20, 20, 0);
    Canvas target(nullptr, &window, nullptr);
    target.setOffset({1, 1});
    offscreen.blitTo(target, {5, 5, 8, 7}, {1, 1});
    EXPECT_EQ(window.pixel(6, 6), colors::blue.pixel());
    EXPECT_EQ(window.pixel(7, 6), colors::yellow.pixel());
    EXPECT_EQ(window.pixel(8, 7), colors::yellow.pixel());
    EXPECT_EQ(window.pixel(9, 6), 0u);  // only the 3 × 2 block moved
    EXPECT_EQ(window.pixel(6, 8), 0u);
}

TEST(OffscreenCanvas, NegativeSizeGivesNoSurfaceAndAnOrderedClip) {
    OffscreenCanvas offscreen(nullptr, -5, 3, colors::red);
    EXPECT_EQ(offscreen.clipRect(), (Rect{-5, 0, 0, 3}));
    EXPECT_TRUE(offscreen.pixels().empty());
}

}  // namespace
}  // namespace flanger::gui
