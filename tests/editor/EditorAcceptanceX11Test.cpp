// Acceptance of the toolkit in a real X server (a private Xvfb): a small plug-in built from it
// is loaded through the test host, its editor opened into a host window and idled every 20 ms
// while the server's own pointer and keyboard (XTest) drag its knob, pick in its menu and type
// into its number field; the host must see automation inside begin/end edit and new pixels.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"
#include "tools/common/TestHost.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/common/PrivateXServer.h"

namespace flanger {
namespace {

using tools::HostRequest;
using tools::PluginInstance;

constexpr int kDepth = 0, kBeat = 1, kLevel = 2;
// Where the test plug-in lays out its controls (window pixels).
constexpr gui::Rect kKnob{20, 20, 80, 80};
constexpr gui::Rect kMenu{110, 20, 200, 40};
constexpr gui::Rect kLevelField{110, 60, 200, 80};

// The server's pointer and keyboard, driven from a thread of its own with its own connection
// while the test's thread keeps idling the editor (a drag loop blocks inside one idle call).
class Driver {
public:
    explicit Driver(Display* connection) : display(connection) {}
    Display* connection() const noexcept { return display; }
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(display, -1, x, y, 0);
        settle(30);
    }
    // The editor reads the button live when it handles the press: hold it until then, with
    // room for a loaded machine (sanitizer builds, tests in parallel).
    void press() {
        XTestFakeButtonEvent(display, 1, True, 0);
        settle(300);
    }
    void release() {
        XTestFakeButtonEvent(display, 1, False, 0);
        settle(100);
    }
    void click(int x, int y) {
        moveTo(x, y);
        press();
        release();
    }
    void key(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(display, keysym);
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
        settle(40);
    }

private:
    void settle(int ms) {
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    Display* display;
};

// The pixels of a window as the server shows them.
std::vector<std::uint32_t> windowPixels(Display* display, ::Window window, int width, int height) {
    std::vector<std::uint32_t> pixels;
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return pixels;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    }
    XDestroyImage(image);
    return pixels;
}

int changedPixels(const std::vector<std::uint32_t>& before, const std::vector<std::uint32_t>& after,
                  int width, const gui::Rect& area, bool inside) {
    int changed = 0;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
        const int x = static_cast<int>(i) % width, y = static_cast<int>(i) / width;
        const bool in = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
        if (in == inside && before[i] != after[i]) ++changed;
    }
    return changed;
}

class EditorAcceptance : public ::testing::Test {
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
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 30, 40, 300, 200, 0, 0, 0x808080);
        XSelectInput(host, parent, StructureNotifyMask);
        XMapWindow(host, parent);
        for (XEvent e; XNextEvent(host, &e), e.type != MapNotify;) {
        }
        XSetInputFocus(host, parent, RevertToParent, CurrentTime);
        XSync(host, False);

        std::string why;
        plugin = PluginInstance::load(FLANGER_TEST_PLUGIN_PATH, {}, &why);
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
    // Runs script on the driver's thread while this one idles the editor every 20 ms, as a
    // host's GUI thread does; a few idles more once the script is done.
    void driveWhileIdling(const std::function<void(Driver&)>& script) {
        std::atomic<bool> done{false};
        std::thread driver([&] {
            Display* own = XOpenDisplay(displayName.c_str());
            if (own != nullptr) {
                Driver input(own);
                script(input);
                XCloseDisplay(own);
            }
            done = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done && std::chrono::steady_clock::now() < deadline) idleFor(1);
        driver.join();
        idleFor(5);
    }
    int rootX(int x) const { return originX + x; }
    int rootY(int y) const { return originY + y; }
    std::vector<std::uint32_t> shown() { return windowPixels(host, editorWindow, 240, 120); }
    // Windows directly under the root (popups are made there), through a connection of the caller's thread.
    std::size_t topLevelWindows(Display* through = nullptr) {
        Display* display = through != nullptr ? through : host;
        ::Window root = 0, parentOut = 0, *list = nullptr;
        unsigned count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parentOut, &list, &count);
        if (list != nullptr) XFree(list);
        return count;
    }

    // Every automation of the parameter lies inside one begin/end-edit pair for it; answers how
    // many automations there were.
    int automationsInsideEdits(int parameter) {
        int automations = 0;
        int depth = 0;
        for (const HostRequest& request : plugin->requests().snapshot()) {
            if (request.index != parameter) continue;
            if (request.opcode == vst::audioMasterBeginEdit) ++depth;
            if (request.opcode == vst::audioMasterEndEdit) --depth;
            if (request.opcode == vst::audioMasterAutomate) {
                ++automations;
                EXPECT_GT(depth, 0) << "automation of " << parameter << " outside begin/end edit";
            }
            EXPECT_GE(depth, 0) << "end edit without a begin";
        }
        EXPECT_EQ(depth, 0) << "an edit of " << parameter << " was never ended";
        return automations;
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* host = nullptr;
    ::Window parent = 0;
    ::Window editorWindow = 0;
    int originX = 0, originY = 0;
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(EditorAcceptance, DraggingTheKnobAutomatesInsideOneEditAndRepaintsIt) {
    const float before = plugin->parameter(kDepth);
    const std::vector<std::uint32_t> pixelsBefore = shown();
    const int centreX = (kKnob.left + kKnob.right) / 2, centreY = (kKnob.top + kKnob.bottom) / 2;
    driveWhileIdling([&](Driver& input) {
        input.moveTo(rootX(centreX), rootY(kKnob.top + 3));  // straight up: the middle of the arc
        input.press();
        for (int step = 1; step <= 6; ++step) {  // round to the right, clockwise
            const double angle = 1.5707963 - step * 0.2;
            input.moveTo(rootX(centreX + static_cast<int>(27 * std::cos(angle))),
                         rootY(centreY - static_cast<int>(27 * std::sin(angle))));
        }
        input.release();
    });
    const float after = plugin->parameter(kDepth);
    EXPECT_NEAR(before, 0.5f, 1e-6f);
    EXPECT_GT(after, 0.6f) << "the drag turned the knob clockwise";
    EXPECT_GE(automationsInsideEdits(kDepth), 2);
    const std::vector<std::uint32_t> pixelsAfter = shown();
    ASSERT_EQ(pixelsAfter.size(), pixelsBefore.size());
    EXPECT_GT(changedPixels(pixelsBefore, pixelsAfter, 240, kKnob, true), 0) << "the knob was not repainted";
    EXPECT_EQ(changedPixels(pixelsBefore, pixelsAfter, 240, kKnob, false), 0)
        << "pixels outside the knob changed";
}

TEST_F(EditorAcceptance, PickingOneQuarterTripletInTheMenuSetsTheNoteParameter) {
    // Where the popup will show its lines: the menu's own layout, opened below the control.
    gui::menu::ChoiceMenu layout({0, 0, 1, 1}, nullptr, 0, nullptr, nullptr, 0);
    for (const char* entry : {"1/1", "1/2", "1/4", "-", "1/2 T", "1/4 T", "1/8 T"}) layout.addItem(entry);
    const gui::menu::PopupTree tree = layout.buildTree();
    const gui::menu::PopupSession session(tree, {rootX(kMenu.left), rootY(kMenu.bottom)});
    const gui::Rect line = session.lineRects(0)[5];  // "1/4 T"
    const std::vector<std::uint32_t> pixelsBefore = shown();
    const std::size_t windowsBefore = topLevelWindows();
    std::size_t windowsOpen = 0;
    driveWhileIdling([&](Driver& input) {
        input.click(rootX(kMenu.left + 10), rootY(kMenu.top + 10));
        // The line is clicked only once the popup is up and holds the pointer.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while ((windowsOpen = topLevelWindows(input.connection())) <= windowsBefore &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        input.click((line.left + line.right) / 2, (line.top + line.bottom) / 2);
    });
    EXPECT_GT(windowsOpen, windowsBefore) << "no popup window opened";
    EXPECT_EQ(topLevelWindows(), windowsBefore) << "the popup window was left behind";
    EXPECT_NEAR(plugin->parameter(kBeat), 5.0f / 6.0f, 1e-6f);
    EXPECT_EQ(plugin->parameterDisplay(kBeat), "1/4 T");
    EXPECT_GE(automationsInsideEdits(kBeat), 1);
    EXPECT_GT(changedPixels(pixelsBefore, shown(), 240, kMenu, true), 0)
        << "the menu still shows its old entry";
}

TEST_F(EditorAcceptance, TypingSeventyAndReturnIntoTheNumberFieldSetsSeventy) {
    const int x = rootX((kLevelField.left + kLevelField.right) / 2),
              y = rootY((kLevelField.top + kLevelField.bottom) / 2);
    driveWhileIdling([&](Driver& input) {
        input.click(x, y);  // opens the edit box, all of "25.0" selected
        input.key(XK_7);
        input.key(XK_0);
        input.key(XK_Return);
    });
    EXPECT_NEAR(plugin->parameter(kLevel), 0.70f, 1e-6f);
    EXPECT_EQ(plugin->parameterDisplay(kLevel), "70.0");
    EXPECT_EQ(automationsInsideEdits(kLevel), 1);
    ::Window focused = 0;
    int revert = 0;
    XGetInputFocus(host, &focused, &revert);
    EXPECT_EQ(focused, parent) << "the keyboard focus went back to the host's window";
}

}  // namespace
}  // namespace flanger
