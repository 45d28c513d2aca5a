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
#include "tools/common/TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/ImageDifference.h"
#include "tests/support/WindowGrab.h"
#include "tools/common/PrivateXServer.h"

namespace flanger {
namespace {

using tools::HostRequest;
using tools::PluginInstance;

constexpr int kFeedback = 0, kSwitch = 4;
constexpr gui::Rect kFeedbackKnob{13, 154, 55, 196};
constexpr gui::Rect kVersionText{144, 174, 215, 194};

void settle(Display* display, int ms) {
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

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

class FlangerEditorXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start(true)) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!flanger::testing::PrivateXServer::installed())
            GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
        ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
        setenv("DISPLAY", displayName.c_str(), 1);  // what the module's own connection opens
        host = XOpenDisplay(displayName.c_str());
        ASSERT_NE(host, nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(host, &event, &error, &major, &minor)) << "the server has no XTEST";
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 30, 40, 400, 260, 0, 0, 0x808080);
        XSelectInput(host, parent, StructureNotifyMask);
        XMapWindow(host, parent);
        for (XEvent e; XNextEvent(host, &e), e.type != MapNotify;) {
        }
        XSync(host, False);

        std::string why;
        plugin = PluginInstance::load(FLANGER_MODULE_PATH, {}, &why);
        ASSERT_TRUE(plugin && plugin->isOpen()) << why;
        plugin->startLike(tools::HostStyle::Plain);
        plugin->dispatch(vst::effSetEditKnobMode, 0, 0);  // circular: the knob follows the angle
        ASSERT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0,
                                   reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))),
                  1);
        idleFor(5);
        ::Window root = 0, parentOut = 0, *list = nullptr;
        unsigned count = 0;
        XQueryTree(host, parent, &root, &parentOut, &list, &count);
        if (count == 1) editorWindow = list[0];
        if (list != nullptr) XFree(list);
        ASSERT_NE(editorWindow, 0u) << "the editor made no child window";
        ::Window child = 0;
        XTranslateCoordinates(host, editorWindow, DefaultRootWindow(host), 0, 0, &originX, &originY, &child);
        plugin->requests().clear();
    }
    void TearDown() override {
        if (plugin != nullptr) {
            plugin->dispatch(vst::effEditClose);
            plugin.reset();
        }
        if (host != nullptr) XCloseDisplay(host);
    }

    void idleFor(int calls) {
        for (int i = 0; i < calls; ++i) {
            plugin->dispatch(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    // The script runs on a connection of its own on another thread while this one idles the
    // editor, as a host's GUI thread does (a drag blocks inside one idle).
    void driveWhileIdling(const std::function<void(Display*)>& script) {
        std::atomic<bool> done{false};
        std::thread driver([&] {
            Display* own = XOpenDisplay(displayName.c_str());
            if (own != nullptr) {
                script(own);
                XCloseDisplay(own);
            }
            done = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done && std::chrono::steady_clock::now() < deadline) idleFor(1);
        driver.join();
        idleFor(5);
    }
    void clickAt(Display* input, int x, int y) {
        XTestFakeMotionEvent(input, -1, originX + x, originY + y, 0);
        settle(input, 30);
        XTestFakeButtonEvent(input, 1, True, 0);
        settle(input, 150);  // the editor reads the button live when it handles the press
        XTestFakeButtonEvent(input, 1, False, 0);
        settle(input, 100);
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

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* host = nullptr;
    ::Window parent = 0;
    ::Window editorWindow = 0;
    int originX = 0, originY = 0;
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(FlangerEditorXvfb, CircularKnobDragEditsFeedbackInsideOneEdit) {
    expectShowsTheSameAsHeadless("as opened");
    driveWhileIdling([&](Display* input) {
        XTestFakeMotionEvent(input, -1, originX + 34, originY + 160, 0);
        settle(input, 30);
        XTestFakeButtonEvent(input, 1, True, 0);
        settle(input, 100);
        for (int step = 1; step <= 16; ++step) {
            XTestFakeMotionEvent(input, -1, originX + 34 + step, originY + 160 + (15 * step) / 16, 0);
            settle(input, 20);
        }
        settle(input, 150);
        XTestFakeButtonEvent(input, 1, False, 0);
        settle(input, 100);
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
    driveWhileIdling([&](Display* input) { clickAt(input, 261, 145); });
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
    driveWhileIdling([&](Display* input) { clickAt(input, 40, 15); });
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
    driveWhileIdling([&](Display* input) { clickAt(input, 200, 100); });
    expectShowsTheSameAsHeadless("after the about picture closed");
    for (const HostRequest& r : plugin->requests().snapshot())
        EXPECT_NE(r.opcode, vst::audioMasterAutomate) << "the about picture changed a parameter";
}

}  // namespace
}  // namespace flanger
