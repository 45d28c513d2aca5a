// The edit box on a real X server (a private Xvfb): the box takes the keyboard focus when it
// opens and gives it back, keys typed on the server reach it once, FocusOut commits, and the
// CLIPBOARD's text is pasted.
#include <gtest/gtest.h>

// Before Xlib, whose macros (None, KeyPress ...) would clash with the toolkit's names.
#include "gui/FrameView.h"
#include "gui/text/TextField.h"
#include "platform/x11/X11Platform.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include "tools/common/PrivateXServer.h"

extern char** environ;

namespace flanger::gui::text {
namespace {

constexpr const char* kXvfb = flanger::testing::PrivateXServer::kProgram;

struct Committed : ValueListener {
    std::vector<std::string> texts;
    void onValueChanged(Canvas*, Control* control) override {
        char text[kTextCapacity];
        static_cast<TextField*>(control)->getText(text);
        texts.push_back(text);
    }
};

class TextFieldX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start(true)) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(displayName.empty());
        host = XOpenDisplay(displayName.c_str());
        ASSERT_NE(host, nullptr);
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 10, 10, 200, 100, 0, 0, 0);
        other = XCreateSimpleWindow(host, DefaultRootWindow(host), 300, 10, 50, 50, 0, 0, 0);
        XMapWindow(host, parent);
        XMapWindow(host, other);
        XSync(host, False);
        XSetInputFocus(host, parent, RevertToParent, CurrentTime);
        XSync(host, False);
        windowSystem = platform::X11Platform::open(displayName.c_str());
        ASSERT_NE(windowSystem, nullptr);
        frame = new FrameView({0, 0, 200, 100}, windowSystem.get(), parent, nullptr);
        ASSERT_TRUE(frame->hasWindow());
        own = static_cast<::Window>(platform::nativeWindowId(*frame->nativeWindow()));
        field = new TextField({10, 10, 120, 30}, &listener, 1, "old", nullptr, 0);
        frame->addChild(field);
        windowSystem->sync();
    }
    void TearDown() override {
        if (frame != nullptr) frame->release();
        windowSystem.reset();
        if (host != nullptr) XCloseDisplay(host);
    }

    // Opens the box as the click on the field would.
    void openBox() {
        frame->setFocusView(field);
        field->focusGained(nullptr);
        windowSystem->sync();
    }
    ::Window focused() {
        ::Window window = 0;
        int revert = 0;
        XGetInputFocus(host, &window, &revert);
        return window;
    }
    // A key press as the server delivers it to the focus window.
    void sendKey(KeySym keysym, unsigned state = 0) {
        XKeyEvent key{};
        key.type = KeyPress;
        key.display = host;
        key.window = own;
        key.root = DefaultRootWindow(host);
        key.state = state;
        key.keycode = XKeysymToKeycode(host, keysym);
        key.same_screen = True;
        XSendEvent(host, own, False, KeyPressMask, reinterpret_cast<XEvent*>(&key));
        XSync(host, False);
    }
    void pump() {
        windowSystem->sync();
        for (int i = 0; i < 20; ++i) {
            windowSystem->processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* host = nullptr;
    ::Window parent = 0;
    ::Window other = 0;
    ::Window own = 0;
    std::unique_ptr<platform::X11Platform> windowSystem;
    FrameView* frame = nullptr;
    TextField* field = nullptr;
    Committed listener;
};

TEST_F(TextFieldX11, TypedKeysCommitOnReturnAndTheFocusGoesBack) {
    openBox();
    ASSERT_TRUE(field->hasWindowFocus());
    EXPECT_EQ(focused(), own);
    sendKey(XK_7);
    sendKey(XK_0);
    EXPECT_EQ(frame->onKeyPress({'7', 0, 0}), 1);  // the host's forwarded copy is not typed again
    pump();
    ASSERT_TRUE(field->isEditing());
    EXPECT_EQ(field->editBox()->text(), "70");
    sendKey(XK_Return);
    pump();
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(listener.texts, std::vector<std::string>{"70"});
    EXPECT_EQ(focused(), parent);
    EXPECT_EQ(windowSystem->errorCount(), 0);
}

TEST_F(TextFieldX11, FocusTakenElsewhereCommits) {
    openBox();
    sendKey(XK_x);
    pump();
    XSetInputFocus(host, other, RevertToParent, CurrentTime);
    XSync(host, False);
    pump();
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(listener.texts, std::vector<std::string>{"x"});
    EXPECT_EQ(focused(), other) << "the focus someone else took is left with them";
}

TEST_F(TextFieldX11, ControlVPastesTheClipboardsFirstLine) {
    // The host's connection owns CLIPBOARD and answers one request on its own thread.
    const Atom clipboard = XInternAtom(host, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(host, "UTF8_STRING", False);
    XSetSelectionOwner(host, clipboard, other, CurrentTime);
    XSync(host, False);
    std::atomic<bool> served{false};
    std::thread owner([&] {
        for (int i = 0; i < 500 && !served; ++i) {
            while (XPending(host) > 0) {
                XEvent event;
                XNextEvent(host, &event);
                if (event.type != SelectionRequest) continue;
                XSelectionRequestEvent& request = event.xselectionrequest;
                XSelectionEvent reply{};
                reply.type = SelectionNotify;
                reply.requestor = request.requestor;
                reply.selection = request.selection;
                reply.target = request.target;
                reply.property = None;
                reply.time = request.time;
                if (request.target == utf8) {
                    const char text[] = "3\xC3\xA9\nsecond";
                    XChangeProperty(host, request.requestor, request.property, utf8, 8, PropModeReplace,
                                    reinterpret_cast<const unsigned char*>(text), sizeof text - 1);
                    reply.property = request.property;
                }
                XSendEvent(host, request.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
                XFlush(host);
                served = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::string text;
    const bool read = windowSystem->readClipboardText(text);
    owner.join();
    ASSERT_TRUE(read);
    EXPECT_EQ(text, "3\xC3\xA9\nsecond");
    openBox();
    field->editBox()->paste(text);
    EXPECT_EQ(field->editBox()->text(), "3\xC3\xA9");
}

}  // namespace
}  // namespace flanger::gui::text
