// The choice menu's popup on a real X server (a private Xvfb), driven through XTest from a
// second client the way a user would: press-drag-release, click-then-click, keys, Escape, an
// outside click, a submenu, popup pixels read back from the screen, a grab another client
// holds, the frame destroyed under the popup, and wheel steps reaching the frame.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/FrameView.h"
#include "gui/menu/ChoiceMenu.h"
#include "gui/menu/PopupSession.h"
#include "gui/menu/WindowPopupPresenter.h"
#include "platform/x11/X11Platform.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tools/common/PrivateXServer.h"

namespace flanger::gui::menu {
namespace {

constexpr const char* kXvfb = flanger::testing::PrivateXServer::kProgram;

// The frame's parent sits here on the screen; the control lies at (10, 10)–(110, 30) in it, so
// its popup opens at (30, 50): lines "1/4" 50–66, "1/4 T" 66–82, separator 82–90, "-Ggrey"
// 90–106, "more" 106–122; the submenu opens at (150, 106).
constexpr int kParentX = 20, kParentY = 20;
constexpr int kPopupX = 30, kPopupY = 50;
constexpr int kControlX = 80, kControlY = 40;  // a point on the control, on the screen

int lineCentreY(int top) {
    return top + kLineHeight / 2;
}

struct Recorder : ValueListener {
    std::vector<float> values;
    std::vector<Control*> controls;
    void onValueChanged(Canvas*, Control* control) override {
        values.push_back(control->getValue());
        controls.push_back(control);
    }
};

// Keeps the popup's loop going as the real editor does, and plays one scripted user step every
// few passes so the server has delivered the previous one.
struct SteppingEditor : ViewEditor {
    platform::X11Platform* windowSystem = nullptr;
    FrameView* frame = nullptr;
    std::vector<std::function<void()>> steps;
    std::size_t next = 0;
    int passes = 0;
    void beginEdit(int) override {}
    void endEdit(int) override {}
    void dragRefresh() override {
        ++passes;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (frame != nullptr) frame->idle();
        windowSystem->processOneExpose();
        if (passes % 8 == 0 && next < steps.size()) steps[next++]();
        // A popup that never ends fails the test instead of hanging it.
        if (passes > 3000 && frame != nullptr) frame->setFocusView(nullptr);
    }
};

struct WheelView : View {
    WheelView() : View({150, 150, 200, 200}) {}
    std::vector<float> turns;
    int presses = 0;
    bool onWheelTurn(Canvas*, Point, float distance) override {
        turns.push_back(distance);
        return true;
    }
    void onMouseDown(Canvas&, Point) override { ++presses; }
};

class ChoiceMenuX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start(true)) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(displayName.empty());
        user = XOpenDisplay(displayName.c_str());
        ASSERT_NE(user, nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(user, &event, &error, &major, &minor))
            GTEST_SKIP() << "no XTest on the server";
        parent = XCreateSimpleWindow(user, DefaultRootWindow(user), kParentX, kParentY, 240, 240, 0, 0, 0);
        XMapWindow(user, parent);
        XSync(user, False);
        windowSystem = platform::X11Platform::open(displayName.c_str());
        ASSERT_NE(windowSystem, nullptr);
        editor.windowSystem = windowSystem.get();
        frame = new FrameView({0, 0, 240, 240}, windowSystem.get(), parent, &editor);
        ASSERT_TRUE(frame->hasWindow());
        editor.frame = frame;
        sub = new ChoiceMenu({0, 0, 10, 10}, nullptr, 1, nullptr, nullptr, 0);
        sub->addItem("1/8");
        sub->addItem("1/8 T");
        menu = new ChoiceMenu({10, 10, 110, 30}, &listener, 3, nullptr, nullptr, 0);
        menu->addItem("1/4");
        menu->addItem("1/4 T");
        menu->addItem("-");
        menu->addItem("-Ggrey");
        menu->addSubmenuItem(sub, "more");
        menu->setPopupPresenter(&presenter);
        ASSERT_TRUE(frame->addChild(menu));
        // The first paint, after which the frame repaints dirty views at idle.
        for (int i = 0; i < 100 && frame->firstPaintPending(); ++i) pump();
        ASSERT_FALSE(frame->firstPaintPending());
    }
    void TearDown() override {
        if (user != nullptr) {
            for (unsigned button = 1; button <= 3; ++button)
                XTestFakeButtonEvent(user, button, False, CurrentTime);
            XSync(user, False);
        }
        if (frame != nullptr) frame->release();
        if (sub != nullptr) sub->release();
        windowSystem.reset();
        if (user != nullptr) XCloseDisplay(user);
    }

    void pump() {
        windowSystem->sync();
        windowSystem->processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(user, -1, x, y, CurrentTime);
        XSync(user, False);
    }
    void button(unsigned number, bool down) {
        XTestFakeButtonEvent(user, number, down ? True : False, CurrentTime);
        XSync(user, False);
    }
    void key(KeySym keysym) {
        const ::KeyCode code = XKeysymToKeycode(user, keysym);
        XTestFakeKeyEvent(user, code, True, CurrentTime);
        XTestFakeKeyEvent(user, code, False, CurrentTime);
        XSync(user, False);
    }
    // Presses on the control; the steps then run inside the popup's loop, which has ended when
    // this returns.
    void openWith(std::vector<std::function<void()>> steps, unsigned opening = 1) {
        editor.steps = std::move(steps);
        editor.next = 0;
        editor.passes = 0;
        moveTo(kControlX, kControlY);
        button(opening, true);
        for (int i = 0; i < 500 && editor.passes == 0; ++i) pump();
    }
    std::uint32_t screenPixel(int x, int y) {
        XImage* image = XGetImage(user, DefaultRootWindow(user), x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return 0xFFFFFFFFu;
        const auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFFu;
        XDestroyImage(image);
        return pixel;
    }
    // Whether some client holds the pointer: a grab of our own would then be refused.
    bool pointerIsGrabbed() {
        const int result = XGrabPointer(user, DefaultRootWindow(user), False, ButtonPressMask, GrabModeAsync,
                                        GrabModeAsync, None, None, CurrentTime);
        if (result == GrabSuccess) XUngrabPointer(user, CurrentTime);
        XSync(user, False);
        return result != GrabSuccess;
    }
    int topLevelWindows() {
        ::Window root = 0, parentReturn = 0;
        ::Window* children = nullptr;
        unsigned count = 0;
        XQueryTree(user, DefaultRootWindow(user), &root, &parentReturn, &children, &count);
        if (children != nullptr) XFree(children);
        return static_cast<int>(count);
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* user = nullptr;
    ::Window parent = 0;
    std::unique_ptr<platform::X11Platform> windowSystem;
    SteppingEditor editor;
    Recorder listener;
    WindowPopupPresenter presenter;
    FrameView* frame = nullptr;
    ChoiceMenu* menu = nullptr;
    ChoiceMenu* sub = nullptr;
};

TEST_F(ChoiceMenuX11, PressDragReleasePicksAndThePopupIsOnTheScreen) {
    const int windowsBefore = topLevelWindows();
    std::uint32_t corner = 0, paper = 0, lit = 0;
    int windowsDuring = 0;
    bool grabbedDuring = false;
    // What the screen must show: the session's own drawing, as the headless golden has it.
    const PopupTree tree = menu->buildTree();
    PopupSession expected(tree, {kPopupX, kPopupY}, {0, 0, 640, 480});
    const Rect box = expected.menuRect(0);
    platform::Surface drawn(box.width(), box.height());
    expected.draw(drawn, {box.left, box.top});
    int differing = -1;
    openWith({
        [&] {
            differing = 0;
            XImage* shot = XGetImage(user, DefaultRootWindow(user), box.left, box.top,
                                     static_cast<unsigned>(box.width()), static_cast<unsigned>(box.height()),
                                     AllPlanes, ZPixmap);
            for (int y = 0; shot != nullptr && y < box.height(); ++y)
                for (int x = 0; x < box.width(); ++x)
                    differing += (XGetPixel(shot, x, y) & 0xFFFFFFu) != drawn.pixel(x, y) ? 1 : 0;
            if (shot != nullptr) XDestroyImage(shot);
            corner = screenPixel(kPopupX, kPopupY);
            paper = screenPixel(kPopupX + 100, lineCentreY(66));
            windowsDuring = topLevelWindows();
            grabbedDuring = pointerIsGrabbed();
            moveTo(kPopupX + 60, lineCentreY(66));
        },
        [&] { lit = screenPixel(kPopupX + 100, lineCentreY(66)); },
        [&] { button(1, false); },
    });
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::Grabbed);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(corner, 0x404040u);
    EXPECT_EQ(paper, 0xE0E0E0u);
    EXPECT_EQ(lit, 0x3060C0u);
    EXPECT_EQ(windowsDuring, windowsBefore + 1);
    EXPECT_TRUE(grabbedDuring);
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    EXPECT_EQ(listener.values, std::vector<float>{1.0f});
    EXPECT_EQ(topLevelWindows(), windowsBefore);
    EXPECT_FALSE(pointerIsGrabbed());
    EXPECT_EQ(windowSystem->errorCount(), 0);
}

TEST_F(ChoiceMenuX11, ClickThenClickPicks) {
    menu->selectItem(1, true);
    openWith({
        [&] { button(1, false); },  // the opening click's release leaves the popup open
        [&] { moveTo(kPopupX + 30, lineCentreY(50)); },
        [&] { button(1, true); },
        [&] { button(1, false); },
    });
    EXPECT_EQ(menu->currentItem(nullptr, true), 0);
    EXPECT_EQ(listener.values.size(), 1u);
    // The click that picked reaches nothing else: no second popup opens.
    editor.passes = 0;
    for (int i = 0; i < 10; ++i) pump();
    EXPECT_EQ(editor.passes, 0);
}

TEST_F(ChoiceMenuX11, KeysPickAndEnterTheSubmenu) {
    openWith({
        [&] { button(1, false); },
        [&] { key(XK_Down); },
        [&] { key(XK_Down); },
        [&] { key(XK_Return); },
    });
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    openWith({
        [&] { button(1, false); },
        [&] { key(XK_Down); },
        [&] { key(XK_Down); },
        [&] { key(XK_Down); },  // past the separator and the greyed line to "more"
        [&] { key(XK_Right); },
        [&] { key(XK_Down); },
        [&] { key(XK_Return); },
    });
    EXPECT_EQ(sub->currentItem(nullptr, true), 1);
    ASSERT_EQ(listener.controls.size(), 2u);
    EXPECT_EQ(listener.controls[1], sub);
}

TEST_F(ChoiceMenuX11, EscapeOrAClickOutsideGiveNoChoice) {
    const int windowsBefore = topLevelWindows();
    openWith({
        [&] { button(1, false); },
        [&] { key(XK_Down); },
        [&] { key(XK_Escape); },
    });
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(topLevelWindows(), windowsBefore);
    openWith({
        [&] { button(1, false); },
        [&] { moveTo(400, 400); },
        [&] { button(1, true); },
        [&] { button(1, false); },
    });
    EXPECT_GT(editor.passes, 0);
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(menu->currentItem(nullptr, true), 0);
    EXPECT_FALSE(pointerIsGrabbed());
}

TEST_F(ChoiceMenuX11, SecondaryButtonOpensAndPicksInTheSubmenuByDragging) {
    std::uint32_t subPaper = 0;
    openWith({
                 [&] { moveTo(kPopupX + 60, lineCentreY(106)); },  // onto "more": the submenu opens
                 [&] {
                     subPaper = screenPixel(150 + 100, lineCentreY(122));
                     moveTo(150 + 40, lineCentreY(122));
                 },
                 [&] { button(3, false); },
             },
             3);
    EXPECT_EQ(subPaper, 0xE0E0E0u);
    EXPECT_EQ(sub->currentItem(nullptr, true), 1);
}

TEST_F(ChoiceMenuX11, AMenuTallerThanTheScreenIsCutAndScrollsToTheHighlight) {
    for (int i = 0; i < 40; ++i) menu->addItem("entry");
    std::uint32_t bottomEdge = 0, litAtBottom = 0;
    openWith({
        [&] { button(1, false); },
        [&] {
            bottomEdge = screenPixel(kPopupX, 479);
            key(XK_Up);  // wraps to the last line, at the far end of the list
        },
        [&] { litAtBottom = screenPixel(kPopupX + 100, 470); },
        [&] { key(XK_Return); },
    });
    EXPECT_EQ(bottomEdge, 0x404040u);
    EXPECT_EQ(litAtBottom, 0x3060C0u);
    EXPECT_EQ(menu->currentItem(nullptr, true), 44);
}

TEST_F(ChoiceMenuX11, AGrabHeldElsewhereDrawsThePopupInsideTheFrame) {
    Display* other = XOpenDisplay(displayName.c_str());
    ASSERT_NE(other, nullptr);
    const ::Window holder = XCreateSimpleWindow(other, DefaultRootWindow(other), 300, 300, 10, 10, 0, 0, 0);
    XMapWindow(other, holder);
    XSync(other, False);
    ASSERT_EQ(XGrabPointer(other, holder, False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None, None,
                           CurrentTime),
              GrabSuccess);
    XSync(other, False);
    std::uint32_t inFrame = 0;
    editor.steps = {
        [&] {
            inFrame = screenPixel(kPopupX + 100, lineCentreY(66));
            moveTo(kPopupX + 60, lineCentreY(66));
        },
        [&] { button(1, false); },
    };
    // The press goes to the grabbing client, so the frame's press is delivered by hand; the
    // popup reads the live button state, which the server keeps all the same.
    moveTo(kControlX, kControlY);
    button(1, true);
    {
        Canvas canvas(frame, &frame->nativeWindow()->backing(), frame->nativeWindow());
        frame->onMouseDown(canvas, {kControlX - kParentX, kControlY - kParentY});
    }
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::InFrame);
    EXPECT_EQ(inFrame, 0xE0E0E0u);
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    pump();
    // Put back: the frame has no background, so the pixels the popup covered are black again.
    EXPECT_EQ(screenPixel(kPopupX + 100, lineCentreY(66)), 0u);
    XUngrabPointer(other, CurrentTime);
    XCloseDisplay(other);
}

TEST_F(ChoiceMenuX11, AKeyboardHeldElsewhereFallsBackAndTheClickThatPickedIsDropped) {
    Display* other = XOpenDisplay(displayName.c_str());
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(
        XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync, CurrentTime),
        GrabSuccess);
    XSync(other, False);
    // Opened over the control, its first line lies on the control: the picking click lands
    // there for the frame's window too.
    menu->setStyleBits(kOpenOverControl);
    menu->selectItem(1, true);
    openWith({
        [&] { button(1, false); },
        [&] { moveTo(kControlX + 10, kControlY); },
        [&] { button(1, true); },  // the frame's window gets this press: nobody grabs the pointer
        [&] { button(1, false); },
    });
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::InFrame);
    EXPECT_EQ(menu->currentItem(nullptr, true), 0);
    EXPECT_FALSE(pointerIsGrabbed());  // the pointer grab taken before the refusal was let go
    // The picking press was dropped: it did not open the popup again (which would have run
    // until the test's editor gave up on it).
    EXPECT_LT(editor.passes, 1000);
    editor.passes = 0;
    for (int i = 0; i < 20; ++i) pump();
    EXPECT_EQ(editor.passes, 0);
    XUngrabKeyboard(other, CurrentTime);
    XCloseDisplay(other);
}

TEST_F(ChoiceMenuX11, TheFrameDestroyedUnderThePopupEndsIt) {
    const int windowsBefore = topLevelWindows();
    openWith({
        [&] { button(1, false); },
        [&] {
            XDestroyWindow(user, parent);
            XSync(user, False);
        },
    });
    EXPECT_TRUE(listener.values.empty());
    EXPECT_LT(editor.passes, 3000);
    pump();
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(topLevelWindows(), windowsBefore - 1);  // the parent went, and the popup with it
    EXPECT_FALSE(pointerIsGrabbed());
    parent = 0;
}

TEST_F(ChoiceMenuX11, WheelStepsReachTheViewUnderThePointerNotItsPress) {
    auto* wheel = new WheelView;
    ASSERT_TRUE(frame->addChild(wheel));
    moveTo(kParentX + 170, kParentY + 170);
    button(4, true);
    button(4, false);
    button(5, true);
    button(5, false);
    for (int i = 0; i < 5; ++i) pump();
    EXPECT_EQ(wheel->turns, (std::vector<float>{1.0f, -1.0f}));
    EXPECT_EQ(wheel->presses, 0);
}

}  // namespace
}  // namespace flanger::gui::menu
