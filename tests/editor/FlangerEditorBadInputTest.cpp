// The flanger editor with one of its bitmaps missing from the module: the window keeps its
// size, the modulation display its 196 × 74, the missing picture draws nothing, and opening,
// painting, clicking and dragging everywhere stays safe.
//
// This program serves the skin bitmaps itself, from the files the build drew, so that a test
// can take one away; the embedded table is then not linked.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "editor/FlangerEditor.h"
#include "editor/ModulationDisplay.h"
#include "effect/FlangerEffect.h"
#include "gui/BmpDecoder.h"
#include "gui/FrameView.h"
#include "gui/KnobMode.h"
#include "gui/controls/RotaryKnob.h"
#include "platform/headless/HeadlessPlatform.h"
#include "resources/SkinBitmaps.h"
#include "tests/host/RecordingHost.h"

namespace {

std::array<std::vector<unsigned char>, flanger::resources::kSkinBitmapCount> skinFiles;
int missingBitmap = -1;

bool loadSkinFiles() {
    for (int i = 0; i < flanger::resources::kSkinBitmapCount; ++i) {
        std::ifstream in(std::string(FLANGER_SKIN_DIR) + "/" + std::to_string(1000 + i) + ".bmp",
                         std::ios::binary);
        if (!in) return false;
        skinFiles[static_cast<std::size_t>(i)].assign(std::istreambuf_iterator<char>(in), {});
    }
    return true;
}

}  // namespace

namespace flanger::resources {

ResourceBytes skinBitmap(int id) noexcept {
    if (id < kFirstSkinBitmap || id >= kFirstSkinBitmap + kSkinBitmapCount || id == missingBitmap) return {};
    const auto& file = skinFiles[static_cast<std::size_t>(id - kFirstSkinBitmap)];
    return {file.data(), file.size()};
}

}  // namespace flanger::resources

namespace flanger::editor {
namespace {

using params::FlangerParameters;
using testing::RecordingHost;
using Tag = FlangerEditor::Tag;

class FlangerEditorMissingBitmap : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        ASSERT_TRUE(loadSkinFiles()) << "the build's skin bitmaps are not in " << FLANGER_SKIN_DIR;
        missingBitmap = GetParam();
        platform::setCurrentPlatform(&headless);
        effect = std::make_unique<effect::FlangerEffect>(
            &RecordingHost::callback, static_cast<host::EditorFactory>(&editor::createFlangerEditor));
        ASSERT_TRUE(effect->initialise());
        editor = dynamic_cast<FlangerEditor*>(effect->editor());
        ASSERT_NE(editor, nullptr);
        editor->selectKnobMode(gui::controls::kLinearKnobMode);
    }
    void TearDown() override {
        gui::setKnobMode(0);
        if (editor != nullptr && editor->frameView() != nullptr) editor->close();
        effect.reset();
        platform::setCurrentPlatform(nullptr);
        missingBitmap = -1;
    }
    void pressAndDrag(gui::Point at, int dv) {
        headless.setPointer(at.h, at.v);
        headless.setButtons(platform::kLeftButton);
        window->postButtonPress(at.h, at.v, 1);
        int reads = 0;
        headless.onReadPointer([&](platform::HeadlessPlatform& p) {
            const int pass = ++reads / 2;
            p.setPointer(at.h + pass, at.v + (pass < 10 ? dv * pass / 10 : dv));
            if (pass > 12) p.setButtons(0);
        });
        editor->idle();
        headless.onReadPointer(nullptr);
        headless.setButtons(0);
        editor->idle();
    }

    RecordingHost host;
    platform::HeadlessPlatform headless;
    std::unique_ptr<effect::FlangerEffect> effect;
    FlangerEditor* editor = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

TEST_P(FlangerEditorMissingBitmap, KeepsItsSizesAndStaysUsable) {
    vst::ERect* rect = nullptr;
    ASSERT_EQ(effect->dispatch(vst::effEditGetRect, 0, 0, &rect, 0.0f), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 370);
    EXPECT_EQ(rect->bottom - rect->top, 216);
    ASSERT_EQ(editor->open(reinterpret_cast<void*>(0x77)), 1);
    window = static_cast<platform::HeadlessWindow*>(editor->frameView()->nativeWindow());
    EXPECT_EQ(window->screen().width(), 370);
    EXPECT_EQ(window->screen().height(), 216);
    window->postExpose({0, 0, 370, 216});
    editor->idle();

    gui::Control* display = editor->control(Tag::kModulationDisplay);
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(display->bounds(), (gui::Rect{11, 41, 207, 115}));
    EXPECT_EQ(editor->sweepCurve().size(), 196u) << "the display's curves follow its own size";
    // The curves are still drawn at the default program's depth: the sweep reaches half height.
    float highest = 0.0f;
    for (float v : editor->sweepCurve()) highest = std::max(highest, v);
    EXPECT_NEAR(highest, 0.5f, 0.02f);

    if (GetParam() == 1003) {
        // No knob strip: the knob picture draws nothing, the editor behind it shows.
        const auto background = gui::loadBitmapResource(1001);
        ASSERT_TRUE(background.has_value());
        int differing = 0;
        for (int y = 154; y < 196; ++y)
            for (int x = 13; x < 55; ++x)
                differing += window->screen().pixel(x, y) != background->pixel(x, y);
        EXPECT_EQ(differing, 0);
    }

    // Every control pressed and dragged, the about area opened and closed, the modes switched.
    for (gui::Point at :
         {gui::Point{34, 175}, gui::Point{246, 175}, gui::Point{246, 58}, gui::Point{246, 113},
          gui::Point{339, 120}, gui::Point{299, 120}, gui::Point{100, 80}, gui::Point{150, 35},
          gui::Point{262, 146}, gui::Point{40, 15}, gui::Point{200, 100}})
        pressAndDrag(at, -20);
    effect->setParameterValue(FlangerParameters::kSwitch, 1.0f);
    editor->idle();
    pressAndDrag({246, 175}, 30);
    window->postExpose({0, 0, 370, 216});
    editor->idle();
    editor->close();
    EXPECT_TRUE(headless.windows().empty());
}

INSTANTIATE_TEST_SUITE_P(EachBitmap, FlangerEditorMissingBitmap, ::testing::Range(1000, 1011));

}  // namespace
}  // namespace flanger::editor
