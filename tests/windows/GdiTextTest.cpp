// Text through GDI as the Windows editor draws it: plausible metrics for the editor's font,
// grey-scale pixels only inside the clip, the same pixels wherever a line is drawn, and no GDI
// object left behind.
#include <gtest/gtest.h>

#include <thread>

#include "platform/win32/GdiText.h"
#include "platform/win32/LiveObjects.h"

namespace flanger::platform::win32 {
namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

SystemFont editorFont() {
    SystemFont font;  // Arial, 12 px, bold: the editor's labels and values
    return font;
}

// The pixels of a w × h block at (left, top).
std::vector<std::uint32_t> block(const Surface& surface, int left, int top, int w, int h) {
    std::vector<std::uint32_t> pixels;
    for (int y = top; y < top + h; ++y)
        for (int x = left; x < left + w; ++x) pixels.push_back(surface.pixel(x, y));
    return pixels;
}

// One line drawn black on white at (10, 20) of a fresh 100 × 30 surface.
std::vector<std::uint32_t> drawnLine(const SystemFont& font, const char* text) {
    Surface surface(100, 30, kWhite);
    gdiText().draw(surface, font, text, 10, 20, kBlack, {0, 0, 100, 30});
    return surface.pixels();
}

int inkedPixels(const std::vector<std::uint32_t>& pixels) {
    return static_cast<int>(
        std::count_if(pixels.begin(), pixels.end(), [](std::uint32_t p) { return p != kWhite; }));
}

TEST(GdiText, MeasuresTheEditorFontAsLinuxDoes) {
    SystemTextMetrics metrics;
    ASSERT_TRUE(gdiText().measure(editorFont(), "Feedback", metrics));
    // FreeType on Linux gives "Feedback" in Liberation Sans Bold at 12 px 56 pixels of advance
    // and an ascent of 11 over a descent of 3.
    EXPECT_NEAR(metrics.width, 56, 56 * 0.15);
    EXPECT_GE(metrics.ascent + metrics.descent, 12);
    EXPECT_LE(metrics.ascent + metrics.descent, 17);
    EXPECT_GT(metrics.ascent, 2 * metrics.descent);

    SystemTextMetrics empty;
    ASSERT_TRUE(gdiText().measure(editorFont(), "", empty));
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.ascent, metrics.ascent);

    EXPECT_EQ(gdiText().family(editorFont()), "Liberation Sans");
}

TEST(GdiText, DrawsGreyLevelsOnlyInsideTheClip) {
    Surface surface(120, 30, kWhite);
    const PixelBox clip{0, 0, 40, 30};  // cuts "Feedback" after its first letters
    gdiText().draw(surface, editorFont(), "Feedback", 10, 20, kBlack, clip);
    int grey = 0, dark = 0;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 120; ++x) {
            const std::uint32_t p = surface.pixel(x, y);
            if (x >= clip.right) {
                ASSERT_EQ(p, kWhite) << x << "," << y;
                continue;
            }
            ASSERT_TRUE(redOf(p) == greenOf(p) && greenOf(p) == blueOf(p))
                << x << "," << y;  // no colour fringes
            if (redOf(p) < 64) ++dark;
            if (redOf(p) >= 64 && redOf(p) < 224) ++grey;
        }
    }
    EXPECT_GT(dark, 20);
    EXPECT_GT(grey, 10);  // antialiased edges, not a one-bit rendering
}

TEST(GdiText, DrawsTheSamePixelsWhereverTheLineGoesAndStylesChangeThem) {
    Surface surface(220, 60, kWhite);
    gdiText().draw(surface, editorFont(), "Feedback", 10, 20, kBlack, {0, 0, 220, 60});
    gdiText().draw(surface, editorFont(), "Feedback", 120, 50, kBlack, {0, 0, 220, 60});
    EXPECT_EQ(block(surface, 0, 0, 100, 28), block(surface, 110, 30, 100, 28));

    const std::vector<std::uint32_t> plain = drawnLine(editorFont(), "Feedback");
    SystemFont italic = editorFont();
    italic.italic = true;
    SystemFont underlined = editorFont();
    underlined.underline = true;
    EXPECT_NE(drawnLine(italic, "Feedback"), plain);
    const std::vector<std::uint32_t> line = drawnLine(underlined, "Feedback");
    EXPECT_GT(inkedPixels(line), inkedPixels(plain) + 30);  // a rule under the whole word
}

TEST(GdiText, DrawsWindows1252Characters) {
    const std::vector<std::uint32_t> unknown = drawnLine(editorFont(), "?");
    for (const char* text : {"\xB5", "\x80"}) {  // µ, €
        const std::vector<std::uint32_t> drawn = drawnLine(editorFont(), text);
        EXPECT_GT(inkedPixels(drawn), 10) << text;
        EXPECT_NE(drawn, unknown) << text;
    }
    EXPECT_EQ(drawnLine(editorFont(), "\x81"), unknown);  // unassigned in the code page
}

TEST(GdiText, LeavesNoGdiObjectBehindAndDrawsAlikeOnTwoThreads) {
    clearGdiText();
    const int before = liveGdiObjects();
    const std::vector<std::uint32_t> reference = drawnLine(editorFont(), "Grand Prix");
    EXPECT_GT(liveGdiObjects(), before);

    // Two editors on two host threads, sweeping sizes past the font cache's bound.
    auto editor = [&](bool* same) {
        for (int cycle = 0; cycle < 200; ++cycle) {
            SystemFont font = editorFont();
            font.pixelSize = 8 + cycle % 40;
            SystemTextMetrics metrics;
            gdiText().measure(font, "Depth", metrics);
            Surface surface(60, 60, kWhite);
            gdiText().draw(surface, font, "Depth", 2, 40, kBlack, {0, 0, 60, 60});
            if (cycle % 20 == 0 && drawnLine(editorFont(), "Grand Prix") != reference) *same = false;
        }
    };
    bool sameFirst = true, sameSecond = true;
    std::thread first(editor, &sameFirst);
    std::thread second(editor, &sameSecond);
    first.join();
    second.join();
    EXPECT_TRUE(sameFirst);
    EXPECT_TRUE(sameSecond);
    EXPECT_LE(liveGdiObjects(), before + 16 + 2);  // the fonts kept, the DC and its bitmap

    clearGdiText();
    EXPECT_EQ(liveGdiObjects(), before);
}

}  // namespace
}  // namespace flanger::platform::win32
