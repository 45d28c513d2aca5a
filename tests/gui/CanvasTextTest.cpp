// Font selection, face resolution and one-line text: alignment, centring, opacity, blending.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "gui/Canvas.h"

namespace flanger::gui {
namespace {

struct InkBox {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    bool any() const { return right >= left; }
};

InkBox inkBox(const platform::Surface& s, std::uint32_t background) {
    InkBox box;
    for (int y = 0; y < s.height(); ++y) {
        for (int x = 0; x < s.width(); ++x) {
            if (s.pixel(x, y) == background) continue;
            box.left = std::min(box.left, x), box.right = std::max(box.right, x);
            box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

TEST(FontSelection, OutOfRangeIdFallsBackToBoldArialTwelve) {
    platform::Surface s(4, 4);
    Canvas canvas(nullptr, &s, nullptr);
    canvas.selectFont(9, 0, 0);
    EXPECT_EQ(canvas.fontId(), 0);
    EXPECT_STREQ(canvas.font().face, "Arial");
    EXPECT_EQ(canvas.fontSize(), 12);
    EXPECT_EQ(canvas.font().weight, 700);
    EXPECT_EQ(canvas.font().pitchAndFamily, 0x22);
    canvas.selectFont(-1, 0, 0);
    EXPECT_EQ(canvas.fontId(), 0);
}

TEST(FontSelection, SymbolIsDecorativeAndStyleBitsApply) {
    platform::Surface s(4, 4);
    Canvas canvas(nullptr, &s, nullptr);
    canvas.selectFont(7, 0, 1);
    EXPECT_STREQ(canvas.font().face, "Symbol");
    EXPECT_EQ(canvas.fontSize(), 13);
    EXPECT_EQ(canvas.font().weight, 700);
    EXPECT_EQ(canvas.font().pitchAndFamily, 0x50);
    canvas.selectFont(6, 0, 6);
    EXPECT_EQ(canvas.fontSize(), 9);
    EXPECT_EQ(canvas.font().weight, 400);
    EXPECT_TRUE(canvas.font().italic);
    EXPECT_TRUE(canvas.font().underline);
    canvas.selectFont(3, 10, 0);
    EXPECT_EQ(canvas.fontSize(), 10);
    EXPECT_EQ(canvas.font().weight, 400);
}

TEST(FontSelection, ArialResolvesToAMetricCompatibleFace) {
    const ResolvedFace bold = resolveFace(makeFontRequest(0, 0, 0));
    EXPECT_EQ(bold.family, "Liberation Sans");
    EXPECT_TRUE(bold.bold);
    const ResolvedFace symbol = resolveFace(makeFontRequest(7, 0, 0));
    EXPECT_FALSE(symbol.file.empty());
    // Arial's cell at 12 pixels: ascent 11, descent 3.
    const TextMetrics metrics = measureText(makeFontRequest(3, 0, 0), "Hg");
    EXPECT_EQ(metrics.ascent, 11);
    EXPECT_EQ(metrics.descent, 3);
    EXPECT_GT(metrics.width, 10);
}

class TextLine : public ::testing::Test {
protected:
    static constexpr std::uint32_t kBack = 0x000000;
    platform::Surface surface{120, 40, kBack};
    Canvas canvas{nullptr, &surface, nullptr};
    const Rect box{20, 10, 100, 30};

    void SetUp() override {
        canvas.selectFont(3, 0, 0);
        canvas.setTextInk(colors::white);
    }
    InkBox drawn(const char* text, int align) {
        surface = platform::Surface(120, 40, kBack);
        canvas.drawTextLine(text, box, 0, align);
        return inkBox(surface, kBack);
    }
};

TEST_F(TextLine, AlignsLeftWithOnePixelInsetCentredAndFlushRight) {
    // "I" has its ink exactly one stem wide at its pen position plus the face's side bearing.
    const int width = measureText(canvas.font(), "IIII").width;
    const InkBox left = drawn("IIII", 0);
    const InkBox centre = drawn("IIII", 1);
    const InkBox right = drawn("IIII", 2);
    ASSERT_TRUE(left.any() && centre.any() && right.any());
    const int bearing = left.left - (box.left + 1);
    EXPECT_GE(bearing, 0);
    EXPECT_LE(bearing, 2);
    EXPECT_EQ(centre.left - bearing, box.left + (box.width() - width) / 2);
    EXPECT_EQ(right.left - bearing, box.right - width);
    EXPECT_LT(right.right, box.right);
}

TEST_F(TextLine, IsCentredVerticallyOnItsCell) {
    const InkBox ink = drawn("H", 1);
    // Cell 14 high centred in 20 rows: top 13, baseline 13 + 11 = 24; capitals sit on it.
    EXPECT_EQ(ink.bottom, 23);
    EXPECT_GE(ink.top, 14);
}

TEST_F(TextLine, OpaqueFillsTheTextCellWithTheBrushAndTransparentDoesNot) {
    canvas.setBrushColor(colors::blue);
    canvas.drawTextLine("ab", box, 1, 0);
    const int width = measureText(canvas.font(), "ab").width;
    EXPECT_EQ(surface.pixel(box.left + 1, 13), colors::blue.pixel());
    EXPECT_EQ(surface.pixel(box.left + width, 26), colors::blue.pixel());
    EXPECT_EQ(surface.pixel(box.left + width + 1, 20), kBack);
    EXPECT_EQ(surface.pixel(box.left + 1, 12), kBack);
    surface = platform::Surface(120, 40, kBack);
    canvas.drawTextLine("ab", box, 0, 0);
    for (std::uint32_t p : surface.pixels()) EXPECT_NE(p, colors::blue.pixel());
}

TEST_F(TextLine, GlyphEdgesBlendWithWhatLiesBeneath) {
    surface = platform::Surface(120, 40, 0x0000FF);
    canvas.setTextInk(colors::red);
    canvas.drawTextLine("O", box, 0, 1);
    bool blended = false;
    for (std::uint32_t p : surface.pixels()) {
        const int r = platform::redOf(p), b = platform::blueOf(p);
        if (r > 0 && r < 255 && b > 0 && b < 255 && platform::greenOf(p) == 0) blended = true;
    }
    EXPECT_TRUE(blended);
}

TEST_F(TextLine, TextIsClippedToTheRectangleAndNullDrawsNothing) {
    const InkBox ink = drawn("WWWWWWWWWWWWWWWWWWWWWW", 0);
    EXPECT_GE(ink.left, box.left + 1);
    EXPECT_LT(ink.right, box.right);
    EXPECT_FALSE(drawn(nullptr, 0).any());
}

TEST_F(TextLine, BoldIsWiderThanRegularAndUnderlineAddsARule) {
    const int regular = measureText(makeFontRequest(3, 0, 0), "Flanger").width;
    const int bold = measureText(makeFontRequest(3, 0, 1), "Flanger").width;
    EXPECT_GT(bold, regular);
    const InkBox plain = drawn("ace", 0);
    canvas.selectFont(3, 0, 4);
    const InkBox underlined = drawn("ace", 0);
    EXPECT_GT(underlined.bottom, plain.bottom);
}

}  // namespace
}  // namespace flanger::gui
