// The flanger's own displays over the module's pictures in a few states, against PNG goldens in
// tests/golden/displays/. FLANGER_REGENERATE_GOLDENS=1 rewrites them; a mismatch leaves the
// actual picture and a diff in the build tree.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "editor/CurveDisplay.h"
#include "editor/CurveMath.h"
#include "editor/ModulationDisplay.h"
#include "editor/StereoWidthBar.h"
#include "gui/SkinBitmap.h"
#include "params/FlangerParameters.h"
#include "tests/support/GoldenImage.h"

namespace flanger::editor {
namespace {

using gui::Canvas;
using gui::Rect;

constexpr Rect kDisplayRect{11, 41, 207, 115};
constexpr Rect kBarRect{12, 31, 206, 40};

void expectMatchesGolden(const platform::Surface& actual, const std::string& name) {
    testing::expectMatchesGolden(actual, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, name);
}

class DisplayGolden : public ::testing::Test {
protected:
    void SetUp() override { bitmaps.load(1000, 11, 1001); }

    // The control drawn at each state, side by side with a 2-pixel black gap.
    template <typename Control, typename Setup>
    platform::Surface states(Control& control, int count, Setup&& setup) {
        const Rect at = control.bounds();
        platform::Surface strip(count * (at.width() + 2) - 2, at.height(), 0);
        for (int i = 0; i < count; ++i) {
            setup(i);
            platform::Surface one(at.width(), at.height(), 0);
            Canvas canvas(nullptr, &one, nullptr);
            canvas.setOffset({-at.left, -at.top});
            control.draw(canvas);
            platform::copyBlock(one, 0, 0, strip, i * (at.width() + 2), 0, at.width(), at.height());
        }
        return strip;
    }

    gui::BitmapSet bitmaps;
};

TEST_F(DisplayGolden, ModulationDisplayAtDefaultsFullDepthAndInSync) {
    ModulationDisplay display(kDisplayRect, nullptr, 21, bitmaps.get(1006), 3);
    display.setScale(1.0f);
    display.setCurveColor(1, gui::colors::white);
    std::vector<float> sweep(196), comb(196);
    CurveParameters fullDepth;
    fullDepth.depth = 100.0f;
    fullDepth.rate = 2.7f;
    fullDepth.shapeSync = 8.0f;
    fullDepth.feedback = 100.0f;
    fullDepth.delay = 10.0f;
    CurveParameters sync;
    sync.switchValue = 1.0f;
    sync.syncBeat = 9.0f;  // "1/8 T": 13 cycles
    sync.shapeSync = 16.0f;
    sync.depth = 75.0f;
    sync.feedback = 0.0f;
    sync.delay = 90.0f;
    const params::FlangerParameters defaults;
    const CurveParameters all[] = {curveParametersFrom(defaults), fullDepth, sync};
    expectMatchesGolden(
        states(display, 3, [&](int i) { loadModulationCurves(display, all[i], 196, 74, sweep, comb); }),
        "modulation-display");
}

TEST_F(DisplayGolden, CentredCurvesWithBaselineOverTheEditorBackground) {
    // The base display takes its picture from its own corner of the editor background.
    CurveDisplay display(kDisplayRect, nullptr, 21, bitmaps.get(1001), 7);
    std::vector<float> wave(196), slow(196);
    for (std::size_t i = 0; i < wave.size(); ++i) {
        wave[i] = static_cast<float>(std::sin(static_cast<double>(i) * 0.1));
        slow[i] = static_cast<float>(0.5 * std::cos(static_cast<double>(i) * 0.03));
    }
    display.loadCentredCurve(0, wave.data(), 196);
    display.loadCentredCurve(1, slow.data(), 196);
    expectMatchesGolden(states(display, 2, [&](int i) { display.setScale(i == 0 ? 1.0f : 0.5f); }),
                        "centred-curves");
}

TEST_F(DisplayGolden, StereoWidthBarAtZeroHalfAndFull) {
    StereoWidthBar bar(kBarRect, nullptr, 22, bitmaps.get(1009));
    const float values[] = {0.0f, 0.5f, 1.0f};
    expectMatchesGolden(states(bar, 3, [&](int i) { bar.setValue(values[i]); }), "stereo-width-bar");
}

}  // namespace
}  // namespace flanger::editor
