// Acceptance of the toolkit in a real X server (a private Xvfb): a small plug-in built from it
// is loaded through the test host, its editor opened into a host window and idled every 20 ms
// while the server's own pointer and keyboard (XTest) drag its knob, pick in its menu and type
// into its number field; the host must see automation inside begin/end edit and new pixels.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "tests/support/EditorInParent.h"

namespace flanger {
namespace {

using testing::Driver;

constexpr int kDepth = 0, kBeat = 1, kLevel = 2;
// Where the test plug-in lays out its controls (window pixels).
constexpr gui::Rect kKnob{20, 20, 80, 80};
constexpr gui::Rect kMenu{110, 20, 200, 40};
constexpr gui::Rect kLevelField{110, 60, 200, 80};

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

class EditorAcceptance : public testing::EditorInParent {
protected:
    EditorAcceptance() : EditorInParent(FLANGER_TEST_PLUGIN_PATH, 300, 200) {}
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
