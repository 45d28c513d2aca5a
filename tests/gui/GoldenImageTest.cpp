// Rendered pictures against committed PNG goldens in tests/golden/. Regenerate them with
// FLANGER_REGENERATE_GOLDENS=1; on a mismatch the actual picture and a diff land in the build tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "gui/Canvas.h"
#include "gui/SkinBitmap.h"
#include "tools/screenshot/EditorPicture.h"
#include "tools/screenshot/PngFile.h"

namespace flanger::gui {
namespace {

struct Tolerance {
    int channel = 0;        // largest per-channel difference that counts as equal
    int pixels = 0;         // pixels allowed beyond it (text rendering only)
};

void expectMatchesGolden(const platform::Surface& actual, const std::string& name, Tolerance tolerance) {
    const std::filesystem::path golden = std::filesystem::path(FLANGER_GOLDEN_DIR) / (name + ".png");
    const char* regenerate = std::getenv("FLANGER_REGENERATE_GOLDENS");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        ASSERT_TRUE(tools::writePng(golden.string(), actual));
        GTEST_SKIP() << "regenerated " << golden;
    }
    const auto expected = tools::readPng(golden.string());
    ASSERT_TRUE(expected.has_value()) << "missing golden " << golden << " (FLANGER_REGENERATE_GOLDENS=1 writes it)";
    ASSERT_EQ(expected->width(), actual.width());
    ASSERT_EQ(expected->height(), actual.height());
    platform::Surface diff(actual.width(), actual.height());
    int over = 0;
    int worst = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::uint32_t a = actual.pixel(x, y), e = expected->pixel(x, y);
            const int d = std::max({std::abs(platform::redOf(a) - platform::redOf(e)),
                                    std::abs(platform::greenOf(a) - platform::greenOf(e)),
                                    std::abs(platform::blueOf(a) - platform::blueOf(e))});
            worst = std::max(worst, d);
            if (d > tolerance.channel) {
                ++over;
                diff.setPixel(x, y, 0xFF00FF);
            } else {
                // Dimmed copy of the picture so the differences stand out.
                diff.setPixel(x, y, (a >> 2) & 0x3F3F3F);
            }
        }
    }
    if (over > tolerance.pixels) {
        const std::filesystem::path dir = FLANGER_ACTUAL_DIR;
        std::filesystem::create_directories(dir);
        tools::writePng((dir / (name + "-actual.png")).string(), actual);
        tools::writePng((dir / (name + "-diff.png")).string(), diff);
        ADD_FAILURE() << name << ": " << over << " pixels differ (worst channel difference " << worst << "); see "
                      << dir.string();
    }
}

platform::Surface knobFrameOverBackground(int frame) {
    BitmapSet set;
    set.load(1000, 11, 1001);
    platform::Surface surface(42, 42);
    Canvas canvas(nullptr, &surface, nullptr);
    set.getMain()->draw(canvas, {0, 0, 42, 42}, {13, 154});
    set.get(1003)->drawKeyed(canvas, {0, 0, 42, 42}, {0, frame * 42});
    return surface;
}

TEST(GoldenImages, EditorPreview) {
    // Labels are baked-in text and the number fields are drawn with the toolkit's fonts.
    expectMatchesGolden(tools::renderEditorPreview(), "editor", {8, 60});
}

TEST(GoldenImages, AboutPicture) { expectMatchesGolden(tools::renderAboutPreview(), "about", {8, 60}); }

TEST(GoldenImages, KnobFramesAtMinimumMiddleAndMaximum) {
    for (int frame : {0, 32, 64}) expectMatchesGolden(knobFrameOverBackground(frame), "knob-frame-" + std::to_string(frame), {});
}

TEST(GoldenImages, ToolkitTextInEveryFont) {
    platform::Surface surface(240, 8 * 20 + 4, 0x202830);
    Canvas canvas(nullptr, &surface, nullptr);
    canvas.setTextInk(colors::white);
    canvas.setBrushColor({40, 90, 120, 0});
    for (int id = 0; id < 8; ++id) {
        canvas.selectFont(id, 0, id == 3 ? 2 : (id == 4 ? 4 : 0));
        const Rect row{2, 2 + id * 20, 238, 22 + id * 20};
        canvas.drawTextLine("Flanger 12.3ms 50% 1/4 T", row, id == 5 ? 1 : 0, id % 3);
    }
    expectMatchesGolden(surface, "text", {8, 40});
}

}  // namespace
}  // namespace flanger::gui
