// Rendered pictures against committed PNG goldens in tests/golden/. Regenerate them with
// FLANGER_REGENERATE_GOLDENS=1; on a mismatch the actual picture and a diff land in the build tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "gui/Canvas.h"
#include "gui/SkinBitmap.h"
#include "tests/support/GoldenImage.h"
#include "tools/common/PngFile.h"
#include "tools/screenshot/EditorPicture.h"

namespace flanger::gui {
namespace {

struct Tolerance {
    int channel = 0;  // largest per-channel difference that counts as equal
    int pixels = 0;   // pixels allowed beyond it (text rendering only)
};

void expectMatchesGolden(const platform::Surface& actual, const std::string& name, Tolerance tolerance) {
    testing::expectMatchesGolden(actual, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, name,
                                 {tolerance.channel, tolerance.pixels});
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

TEST(GoldenImages, AboutPicture) {
    expectMatchesGolden(tools::renderAboutPreview(), "about", {8, 60});
}

TEST(GoldenImages, KnobFramesAtMinimumMiddleAndMaximum) {
    for (int frame : {0, 32, 64})
        expectMatchesGolden(knobFrameOverBackground(frame), "knob-frame-" + std::to_string(frame), {});
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
