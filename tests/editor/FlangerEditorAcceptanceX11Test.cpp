// The flanger's own editor in a real X server (a private Xvfb), through the built module and the
// test host, idled every 20 ms while the server's pointer and keyboard (XTest) use it: the sync
// lamp swaps in the note menu, whose popup picks "1/4 T", and typed text sets the rate; on a
// desktop at 200 % the editor opens twice the size and is used the same way.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"
#include "params/NoteTable.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tests/support/EditorInParent.h"

namespace flanger {
namespace {

using testing::Driver;

constexpr int kFeedback = 0, kSwitch = 4, kRate = 5, kSyncBeat = 6;
constexpr gui::Rect kLamp{256, 140, 268, 152};
constexpr gui::Rect kRateSpot{222, 139, 253, 151};  // the Rate field, or the note menu in sync mode
constexpr gui::Rect kFeedbackKnob{13, 154, 55, 196};

class FlangerEditorAcceptance : public testing::EditorInParent {
protected:
    FlangerEditorAcceptance(int width = 400, int height = 260)
        : EditorInParent(FLANGER_MODULE_PATH, width, height) {}

    ::Window keyboardFocus() {
        ::Window focused = 0;
        int revert = 0;
        XGetInputFocus(host, &focused, &revert);
        return focused;
    }
};

TEST_F(FlangerEditorAcceptance, LampSwitchesSyncOnAndTheNoteMenuPicksOneQuarterTriplet) {
    driveWhileIdling([&](Driver& input) { input.click(rootX(kLamp.left + 5), rootY(kLamp.top + 5)); });
    ASSERT_EQ(plugin->parameter(kSwitch), 1.0f);
    EXPECT_GE(automationsInsideEdits(kSwitch), 1);

    // Where the popup shows its lines: the note menu's entries, opened over the control.
    gui::menu::ChoiceMenu layout({0, 0, 1, 1}, nullptr, 0, nullptr, nullptr, 0);
    for (int i = 0; i < params::kNoteCount; ++i) {
        if (i == 6 || i == 12) layout.addItem("-");
        layout.addItem(params::noteNames[i]);
    }
    const gui::Rect screen{0, 0, DisplayWidth(host, DefaultScreen(host)),
                           DisplayHeight(host, DefaultScreen(host))};
    const gui::menu::PopupSession session(layout.buildTree(), {rootX(kRateSpot.left), rootY(kRateSpot.top)},
                                          screen);
    const gui::Rect line =
        session.lineRects(0)[9];  // "1/4 T": after six straight values, "-", "1/1 T", "1/2 T"
    plugin->requests().clear();
    driveWhileIdling([&](Driver& input) {
        input.click(rootX(kRateSpot.left + 10), rootY(kRateSpot.top + 6));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        input.click((line.left + line.right) / 2, (line.top + line.bottom) / 2);
    });
    EXPECT_EQ(plugin->parameterDisplay(kSyncBeat), "1/4 T");
    EXPECT_NEAR(plugin->parameter(kSyncBeat), 8.0f / 17.0f, 1e-6f);
    EXPECT_GE(automationsInsideEdits(kSyncBeat), 1);
}

TEST_F(FlangerEditorAcceptance, TypedRateTextSetsTheRate) {
    driveWhileIdling([&](Driver& input) {
        input.click(rootX(kRateSpot.left + 15), rootY(kRateSpot.top + 6));  // opens the edit box
        for (KeySym key :
             {XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace}) {
            input.key(key);
        }
        input.key(XK_2);
        input.key(XK_period);
        input.key(XK_5);
        input.key(XK_Return);
    });
    EXPECT_EQ(plugin->parameterDisplay(kRate), "2.5");
    EXPECT_GE(automationsInsideEdits(kRate), 1);
    EXPECT_EQ(plugin->parameter(kSyncBeat), 0.0f);
}

TEST_F(FlangerEditorAcceptance, QuickClicksToggleTheLampAndOpenTheRateBoxAtEveryIdlePeriod) {
    float lamp = plugin->parameter(kSwitch);
    for (const int period : {66, 20}) {
        idleMs = period;
        driveWhileIdling([&](Driver& input) { input.click(rootX(kLamp.left + 5), rootY(kLamp.top + 5)); });
        lamp = 1.0f - lamp;
        EXPECT_EQ(plugin->parameter(kSwitch), lamp) << "idled every " << period << " ms";
    }
    ASSERT_EQ(plugin->parameter(kSwitch), 0.0f) << "free mode, where the Rate field shows";

    idleMs = 66;
    driveWhileIdling([&](Driver& input) {
        input.click(rootX(kRateSpot.left + 15), rootY(kRateSpot.top + 6));  // opens the edit box
        for (int i = 0; i < 6; ++i) input.key(XK_BackSpace);
        input.key(XK_3);
        input.key(XK_Return);
    });
    EXPECT_NEAR(plugin->parameter(kRate), 0.6f, 1e-6f) << "3 Hz";
    EXPECT_GE(automationsInsideEdits(kRate), 1);
}

TEST_F(FlangerEditorAcceptance, AFastOnePixelDragOfAKnobEndsWhereTheSlowOneDoes) {
    const int x = rootX(kFeedbackKnob.left + 6), y = rootY(kFeedbackKnob.top + 30);
    const auto drag = [&](Driver& input, int pauseMs) {
        input.moveTo(x, y);
        input.press(pauseMs > 0 ? 150 : 0);  // held: the press is handled before any motion
        for (int step = 1; step <= 25; ++step) input.moveTo(x + step / 2, y - step, pauseMs);
        input.release();
        input.settle(200);
    };
    idleMs = 66;
    const float start = plugin->parameter(kFeedback);
    driveWhileIdling([&](Driver& input) { drag(input, 30); });
    const float slow = plugin->parameter(kFeedback);
    ASSERT_NE(slow, start) << "the drag moved the knob";

    plugin->setParameter(kFeedback, start);
    idleFor(3);
    driveWhileIdling([&](Driver& input) { drag(input, 0); });  // every event inside one idle
    EXPECT_EQ(plugin->parameter(kFeedback), slow);
    EXPECT_GE(automationsInsideEdits(kFeedback), 1);
}

TEST_F(FlangerEditorAcceptance, ClickedKnobTakesTheArrowsUntilThePointerLeavesOrEscape) {
    const auto step = [&](KeySym key) { driveWhileIdling([&](Driver& input) { input.key(key); }); };
    const auto clickKnob = [&] {
        driveWhileIdling([&](Driver& input) { input.click(rootX(18), rootY(175)); });
        EXPECT_EQ(keyboardFocus(), editorWindow);
    };
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Escape" : "pointer leaves");
        clickKnob();
        const float clicked = plugin->parameter(kFeedback);
        step(XK_Up);
        EXPECT_GT(plugin->parameter(kFeedback), clicked);
        const float stepped = plugin->parameter(kFeedback);
        driveWhileIdling([&](Driver& input) {
            if (byEscape)
                input.key(XK_Escape);
            else
                input.moveTo(rootX(385), rootY(250), 60);  // the host's window only
        });
        EXPECT_EQ(keyboardFocus(), parent);
        step(XK_Up);
        EXPECT_EQ(plugin->parameter(kFeedback), stepped);
    }
}

// A desktop set to 200 %: Xft.dpi 192 in the server's resources, as desktops write them (xrdb).
class FlangerEditorOnADesktopAtTwice : public FlangerEditorAcceptance {
protected:
    FlangerEditorOnADesktopAtTwice() : FlangerEditorAcceptance(780, 470) {}
    void beforeEditorOpens() override { setDesktopDpi("Xft.dpi:\t192\n"); }
    void setDesktopDpi(const char* resources) {
        XChangeProperty(host, DefaultRootWindow(host), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources),
                        static_cast<int>(std::strlen(resources)));
        XSync(host, False);
    }
    // Where a logical point of the editor is on the screen at this scale.
    int screenX(int x) const { return rootX(x * scale); }
    int screenY(int y) const { return rootY(y * scale); }
    // The Feedback drag of the test above, in 1-pixel steps of the screen: twice as many at 200 %.
    float dragFeedback(float from) {
        plugin->setParameter(kFeedback, from);
        idleFor(3);
        const int x = screenX(kFeedbackKnob.left + 6), y = screenY(kFeedbackKnob.top + 30);
        driveWhileIdling([&](Driver& input) {
            input.moveTo(x, y);
            input.press(0);
            for (int step = 1; step <= 25 * scale; ++step) input.moveTo(x + step / 2, y - step, 0);
            input.release();
        });
        EXPECT_GE(automationsInsideEdits(kFeedback), 1);
        return plugin->parameter(kFeedback);
    }

    int scale = 2;
};

TEST_F(FlangerEditorOnADesktopAtTwice, OpensTwiceTheSizeAndAClickADragAndTypingLandAsAtOneHundred) {
    vst::ERect* rect = nullptr;
    plugin->dispatch(vst::effEditGetRect, 0, 0, &rect);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 740);
    EXPECT_EQ(rect->bottom - rect->top, 432);
    XWindowAttributes shown{};
    XGetWindowAttributes(host, editorWindow, &shown);
    EXPECT_EQ(shown.width, 740);
    EXPECT_EQ(shown.height, 432);

    driveWhileIdling([&](Driver& input) {
        input.click(screenX(kRateSpot.left + 15), screenY(kRateSpot.top + 6));  // opens the edit box
        for (int i = 0; i < 6; ++i) input.key(XK_BackSpace);
        input.key(XK_3);
        input.key(XK_Return);
    });
    EXPECT_NEAR(plugin->parameter(kRate), 0.6f, 1e-6f) << "3 Hz";
    driveWhileIdling([&](Driver& input) { input.click(screenX(kLamp.left + 5), screenY(kLamp.top + 5)); });
    EXPECT_EQ(plugin->parameter(kSwitch), 1.0f);

    const float start = plugin->parameter(kFeedback);
    const float atTwice = dragFeedback(start);
    EXPECT_NE(atTwice, start) << "the drag moved the knob";
    // The same drag on the same knob at 100 %: the same travel for the same distance on the knob.
    plugin->dispatch(vst::effEditClose);
    setDesktopDpi("Xft.dpi:\t96\n");
    scale = 1;
    openEditor();
    XGetWindowAttributes(host, editorWindow, &shown);
    EXPECT_EQ(shown.width, 370);
    EXPECT_EQ(dragFeedback(start), atTwice);
}

}  // namespace
}  // namespace flanger
