// The flanger's own editor in a real X server (a private Xvfb), through the built module and the
// test host, idled every 20 ms while the server's pointer and keyboard (XTest) use it: the sync
// lamp swaps in the note menu, whose popup picks "1/4 T", typed text sets the rate, and a clicked
// knob takes the arrows from a host that forwards no keys.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"
#include "params/NoteTable.h"
#include "tools/common/TestHost.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "tools/common/PrivateXServer.h"

namespace flanger {
namespace {

using tools::HostRequest;
using tools::PluginInstance;

constexpr int kFeedback = 0, kSwitch = 4, kRate = 5, kSyncBeat = 6;
constexpr gui::Rect kLamp{256, 140, 268, 152};
constexpr gui::Rect kRateSpot{222, 139, 253, 151};  // the Rate field, or the note menu in sync mode

void settle(Display* display, int ms) {
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void clickAt(Display* display, int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, 0);
    settle(display, 30);
    XTestFakeButtonEvent(display, 1, True, 0);
    settle(display, 150);  // the editor reads the button live when it handles the press
    XTestFakeButtonEvent(display, 1, False, 0);
    settle(display, 100);
}

void typeKey(Display* display, KeySym keysym) {
    const KeyCode code = XKeysymToKeycode(display, keysym);
    XTestFakeKeyEvent(display, code, True, 0);
    XTestFakeKeyEvent(display, code, False, 0);
    settle(display, 40);
}

class FlangerEditorAcceptance : public ::testing::Test {
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
        XSetInputFocus(host, parent, RevertToParent, CurrentTime);
        XSync(host, False);

        std::string why;
        plugin = PluginInstance::load(FLANGER_MODULE_PATH, {}, &why);
        ASSERT_TRUE(plugin && plugin->isOpen()) << why;
        plugin->startLike(tools::HostStyle::Plain);
        ASSERT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0,
                                   reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))),
                  1);
        idleFor(5);  // the first paint
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
    // Runs script with a connection of its own on another thread while this one idles the
    // editor every 20 ms, as a host's GUI thread does (a popup or drag blocks inside one idle).
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
    ::Window keyboardFocus() {
        ::Window focused = 0;
        int revert = 0;
        XGetInputFocus(host, &focused, &revert);
        return focused;
    }
    int rootX(int x) const { return originX + x; }
    int rootY(int y) const { return originY + y; }
    bool automatedInsideAnEdit(int parameter) {
        int depth = 0;
        bool automated = false;
        for (const HostRequest& request : plugin->requests().snapshot()) {
            if (request.index != parameter) continue;
            if (request.opcode == vst::audioMasterBeginEdit) ++depth;
            if (request.opcode == vst::audioMasterEndEdit) --depth;
            if (request.opcode == vst::audioMasterAutomate) {
                automated = true;
                EXPECT_GT(depth, 0) << "automation of " << parameter << " outside begin/end edit";
            }
        }
        EXPECT_EQ(depth, 0) << "an edit of " << parameter << " was never ended";
        return automated;
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* host = nullptr;
    ::Window parent = 0;
    ::Window editorWindow = 0;
    int originX = 0, originY = 0;
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(FlangerEditorAcceptance, LampSwitchesSyncOnAndTheNoteMenuPicksOneQuarterTriplet) {
    driveWhileIdling([&](Display* input) { clickAt(input, rootX(kLamp.left + 5), rootY(kLamp.top + 5)); });
    ASSERT_EQ(plugin->parameter(kSwitch), 1.0f);
    EXPECT_TRUE(automatedInsideAnEdit(kSwitch));

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
    driveWhileIdling([&](Display* input) {
        clickAt(input, rootX(kRateSpot.left + 10), rootY(kRateSpot.top + 6));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        clickAt(input, (line.left + line.right) / 2, (line.top + line.bottom) / 2);
    });
    EXPECT_EQ(plugin->parameterDisplay(kSyncBeat), "1/4 T");
    EXPECT_NEAR(plugin->parameter(kSyncBeat), 8.0f / 17.0f, 1e-6f);
    EXPECT_TRUE(automatedInsideAnEdit(kSyncBeat));
}

TEST_F(FlangerEditorAcceptance, TypedRateTextSetsTheRate) {
    driveWhileIdling([&](Display* input) {
        clickAt(input, rootX(kRateSpot.left + 15), rootY(kRateSpot.top + 6));  // opens the edit box
        for (KeySym key :
             {XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace}) {
            typeKey(input, key);
        }
        typeKey(input, XK_2);
        typeKey(input, XK_period);
        typeKey(input, XK_5);
        typeKey(input, XK_Return);
    });
    EXPECT_EQ(plugin->parameterDisplay(kRate), "2.5");
    EXPECT_TRUE(automatedInsideAnEdit(kRate));
    EXPECT_EQ(plugin->parameter(kSyncBeat), 0.0f);
}

// This host forwards no keys: after a click on a knob the editor holds the keyboard while the
// pointer rests over it, and gives it back to the host's window when the pointer leaves or on
// Escape; from then on the arrows are the host's again.
TEST_F(FlangerEditorAcceptance, ClickedKnobTakesTheArrowsUntilThePointerLeavesOrEscape) {
    const auto step = [&](KeySym key) { driveWhileIdling([&](Display* input) { typeKey(input, key); }); };
    const auto clickKnob = [&] {
        driveWhileIdling([&](Display* input) { clickAt(input, rootX(18), rootY(175)); });
        EXPECT_EQ(keyboardFocus(), editorWindow);
    };
    for (const bool byEscape : {false, true}) {
        SCOPED_TRACE(byEscape ? "Escape" : "pointer leaves");
        clickKnob();
        const float clicked = plugin->parameter(kFeedback);
        step(XK_Up);
        EXPECT_GT(plugin->parameter(kFeedback), clicked);
        const float stepped = plugin->parameter(kFeedback);
        driveWhileIdling([&](Display* input) {
            if (byEscape) {
                typeKey(input, XK_Escape);
            } else {
                XTestFakeMotionEvent(input, -1, rootX(385), rootY(250), 0);  // the host's window only
                settle(input, 60);
            }
        });
        EXPECT_EQ(keyboardFocus(), parent);
        step(XK_Up);
        EXPECT_EQ(plugin->parameter(kFeedback), stepped);
    }
}

}  // namespace
}  // namespace flanger
