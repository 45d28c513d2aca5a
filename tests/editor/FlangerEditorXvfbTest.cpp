// The built module's editor in the test host's window under a private Xvfb, used with the
// server's own pointer (XTest) while the host idles it every 20 ms: a circular-mode knob drag,
// a host change, the sync lamp and the about picture, each read back with XGetImage and
// compared with the same editor in the same state drawn by this program on the headless backend.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "editor/FlangerEditor.h"
#include "effect/FlangerEffect.h"
#include "gui/BmpDecoder.h"
#include "gui/FrameView.h"
#include "gui/controls/RotaryKnob.h"
#include "gui/text/TextField.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/host/RecordingHost.h"

#include <algorithm>
#include <memory>
#include <string>

#include "tests/support/EditorInParent.h"
#include "tests/support/ImageDifference.h"
#include "tests/support/WindowGrab.h"

namespace flanger {
namespace {

using testing::Driver;
using tools::HostRequest;
using tools::PluginInstance;

constexpr int kFeedback = 0, kSwitch = 4;
constexpr gui::Rect kFeedbackKnob{13, 154, 55, 196};
constexpr gui::Rect kVersionText{144, 174, 215, 194};

// The editor as this program draws it on the headless backend with the module's parameter
// values, and what its controls show.
struct HeadlessEditor {
    explicit HeadlessEditor(PluginInstance& plugin) {
        platform::setCurrentPlatform(&headless);
        effect = std::make_unique<effect::FlangerEffect>(
            &testing::RecordingHost::callback,
            static_cast<host::EditorFactory>(&editor::createFlangerEditor));
        effect->initialise();
        // Switch last: the mode it picks reads the values before it.
        for (int index : {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 4})
            effect->setParameterValue(index, plugin.parameter(index));
        editor = dynamic_cast<editor::FlangerEditor*>(effect->editor());
        if (editor == nullptr || editor->open(reinterpret_cast<void*>(0x77)) != 1) return;
        window = static_cast<platform::HeadlessWindow*>(editor->frameView()->nativeWindow());
        window->postExpose({0, 0, 370, 216});
        editor->idle();
    }
    ~HeadlessEditor() {
        if (editor != nullptr && editor->frameView() != nullptr) editor->close();
        effect.reset();
        platform::setCurrentPlatform(nullptr);
    }
    std::string fieldText(int tag) {
        char text[256] = {};
        static_cast<gui::text::TextField*>(editor->control(tag))->getText(text);
        return text;
    }

    testing::RecordingHost recorder;
    platform::HeadlessPlatform headless;
    std::unique_ptr<effect::FlangerEffect> effect;
    editor::FlangerEditor* editor = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

class FlangerEditorXvfb : public testing::EditorInParent {
protected:
    FlangerEditorXvfb() : EditorInParent(FLANGER_MODULE_PATH, 400, 260) {}
    void beforeEditorOpens() override {
        plugin->dispatch(vst::effSetEditKnobMode, 0, 0);  // circular: the knob follows the angle
    }
    // Pixels of the window differing from the surface by more than a rounding step.
    int mismatchesWith(const platform::Surface& expected, const gui::Rect& area = {0, 0, 370, 216}) {
        const platform::Surface shown = flanger::testing::grabWindow(host, editorWindow, 370, 216);
        if (shown.width() == 0) return -1;
        int mismatches = 0;
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x) {
                if (flanger::testing::channelDifference(shown.pixel(x, y), expected.pixel(x, y)) > 8)
                    ++mismatches;
            }
        return mismatches;
    }
    // The window against this program's own drawing of the module's current values: text
    // (antialiased through the server's fonts) may differ in a few pixels.
    void expectShowsTheSameAsHeadless(const char* what) {
        HeadlessEditor same(*plugin);
        ASSERT_NE(same.window, nullptr);
        EXPECT_LE(mismatchesWith(same.window->screen()), 60) << what;
    }
};

TEST_F(FlangerEditorXvfb, CircularKnobDragEditsFeedbackInsideOneEdit) {
    expectShowsTheSameAsHeadless("as opened");
    driveWhileIdling([&](Driver& input) {
        input.moveTo(rootX(34), rootY(160));
        input.press(100);
        for (int step = 1; step <= 16; ++step)
            input.moveTo(rootX(34 + step), rootY(160 + (15 * step) / 16), 20);
        input.settle(150);
        input.release();
    });
    int begins = 0, ends = 0, others = 0;
    float highest = -1.0f;
    for (const HostRequest& r : plugin->requests().snapshot()) {
        if (r.opcode == vst::audioMasterBeginEdit) (r.index == kFeedback ? begins : others)++;
        if (r.opcode == vst::audioMasterEndEdit) (r.index == kFeedback ? ends : others)++;
        if (r.opcode == vst::audioMasterAutomate) {
            if (r.index == kFeedback)
                highest = std::max(highest, r.opt);
            else
                ++others;
        }
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(others, 0) << "only Feedback was edited";
    // From the top of the dial to its right: a third of the 270 degree travel above the middle.
    EXPECT_NEAR(highest, 0.8333f, 0.01f);
    EXPECT_NEAR(plugin->parameter(kFeedback), 0.8333f, 0.01f);
    // The host's text of the value has one decimal; the editor's field shows whole percent.
    EXPECT_EQ(plugin->parameterDisplay(kFeedback), "83.0");
    HeadlessEditor same(*plugin);
    ASSERT_NE(same.window, nullptr);
    EXPECT_EQ(same.fieldText(editor::FlangerEditor::kFeedbackField), "83%");
    EXPECT_LE(mismatchesWith(same.window->screen()), 60);
}

TEST_F(FlangerEditorXvfb, HostChangeShowsTheKnobsLastFrameAfterOneIdle) {
    plugin->setParameter(kFeedback, 1.0f);
    idleFor(1);
    HeadlessEditor same(*plugin);
    ASSERT_NE(same.window, nullptr);
    auto* knob =
        static_cast<gui::controls::StripKnob*>(same.editor->control(editor::FlangerEditor::kFeedbackKnob));
    EXPECT_EQ(knob->shownFrame(), 64);
    EXPECT_EQ(mismatchesWith(same.window->screen(), kFeedbackKnob), 0);
    // The strip's last frame really is there: it differs from the frame the editor opened with.
    const auto strip = gui::loadBitmapResource(1003);
    ASSERT_TRUE(strip.has_value());
    ASSERT_EQ(strip->height(), 65 * 42);
    int differing = 0;
    for (int y = 0; y < 42; ++y)
        for (int x = 0; x < 42; ++x)
            differing += strip->pixel(x, 64 * 42 + y) != strip->pixel(x, 32 * 42 + y);
    EXPECT_GT(differing, 20);
    expectShowsTheSameAsHeadless("after the host change");
}

TEST_F(FlangerEditorXvfb, LampClickAutomatesTheSwitchAndTheNextIdleShowsTheSyncLayout) {
    driveWhileIdling([&](Driver& input) { input.click(rootX(261), rootY(145)); });
    bool automated = false;
    for (const HostRequest& r : plugin->requests().snapshot())
        automated = automated || (r.opcode == vst::audioMasterAutomate && r.index == kSwitch);
    EXPECT_TRUE(automated);
    EXPECT_EQ(plugin->parameter(kSwitch), 1.0f);
    idleFor(1);
    HeadlessEditor same(*plugin);
    ASSERT_NE(same.window, nullptr);
    EXPECT_TRUE(same.editor->frameView()->isChild(same.editor->control(editor::FlangerEditor::kNoteMenu)));
    EXPECT_LE(mismatchesWith(same.window->screen()), 60);
}

TEST_F(FlangerEditorXvfb, TitleClickShowsTheAboutPictureAndTheNextClickTheEditor) {
    driveWhileIdling([&](Driver& input) { input.click(rootX(40), rootY(15)); });
    const auto about = gui::loadBitmapResource(1000);
    ASSERT_TRUE(about.has_value());
    // Picture 1000 everywhere but the version line, which is written in white.
    const int outside = mismatchesWith(*about) - mismatchesWith(*about, kVersionText);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(mismatchesWith(*about, kVersionText), 20) << "no \"Version: 1.1.1\" written";
    // The same text as this program writes on the same picture.
    {
        HeadlessEditor same(*plugin);
        ASSERT_NE(same.window, nullptr);
        same.headless.setPointer(40, 15);
        same.headless.setButtons(platform::kLeftButton);
        same.window->postButtonPress(40, 15, 1);
        int reads = 0;  // held for a few passes, as a click is
        same.headless.onReadPointer([&reads](platform::HeadlessPlatform& p) {
            if (++reads > 6) p.setButtons(0);
        });
        same.editor->idle();
        same.headless.onReadPointer(nullptr);
        same.headless.setButtons(0);
        same.editor->idle();
        EXPECT_LE(mismatchesWith(same.window->screen(), kVersionText), 40);
    }
    driveWhileIdling([&](Driver& input) { input.click(rootX(200), rootY(100)); });
    expectShowsTheSameAsHeadless("after the about picture closed");
    for (const HostRequest& r : plugin->requests().snapshot())
        EXPECT_NE(r.opcode, vst::audioMasterAutomate) << "the about picture changed a parameter";
}

}  // namespace
}  // namespace flanger
