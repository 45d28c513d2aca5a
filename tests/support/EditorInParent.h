// A plug-in's editor opened into a host's X11 parent window under a private Xvfb and idled as a
// host's GUI thread does, while a driver thread uses the server's own pointer and keyboard (XTest).
// Include the toolkit's headers before this one: Xlib's macros (None, KeyPress ...) clash with them.
#pragma once

#include <gtest/gtest.h>

#include "tools/common/TestHost.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include "tools/common/PrivateXServer.h"

namespace flanger::testing {

// The server's pointer and keyboard, from a thread of its own with its own connection (a drag
// loop blocks the idling thread inside one idle call). Positions are the root window's.
class Driver {
public:
    explicit Driver(Display* connection) : display(connection) {}
    Display* connection() const noexcept { return display; }
    void settle(int ms) {
        XSync(display, False);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    void moveTo(int x, int y, int settleMs = 30) {
        XTestFakeMotionEvent(display, -1, x, y, 0);
        settle(settleMs);
    }
    // Held long enough for an editor that reads the button live when it handles the press, with
    // room for a loaded machine (sanitizer builds, tests in parallel).
    void press(int holdMs = 300) {
        XTestFakeButtonEvent(display, 1, True, 0);
        settle(holdMs);
    }
    void release() {
        XTestFakeButtonEvent(display, 1, False, 0);
        settle(100);
    }
    // Press and release together, as `xdotool click 1` or a touchpad tap: both are queued before
    // the editor's next idle handles the press.
    void click(int x, int y) {
        moveTo(x, y);
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
        settle(200);
    }
    void key(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(display, keysym);
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
        settle(40);
    }

private:
    Display* display;
};

// Runs script on a Driver of its own connection to displayName while the host's GUI thread
// calls idleOnce (which waits for its own period), then idles afterwards times more.
inline void driveWhileIdling(const std::string& displayName, const std::function<void(Driver&)>& script,
                             const std::function<void()>& idleOnce, int afterwards) {
    std::atomic<bool> done{false};
    std::thread driver([&] {
        Display* own = XOpenDisplay(displayName.c_str());
        Driver input(own);
        script(input);
        XCloseDisplay(own);
        done = true;
    });
    while (!done) idleOnce();
    driver.join();
    for (int i = 0; i < afterwards; ++i) idleOnce();
}

// A private server of the test's own, with the host's connection to it, as DISPLAY for what the
// test loads; skipped where Xvfb is not installed.
class OnPrivateServer : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateXServer::installed()) GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
        ASSERT_TRUE(server.start(true));
        setenv("DISPLAY", server.displayName().c_str(), 1);
        host = XOpenDisplay(server.displayName().c_str());
        ASSERT_NE(host, nullptr);
    }
    void TearDown() override {
        if (host != nullptr) XCloseDisplay(host);
        server.stop();
    }
    // The host's parent window at (x, y) on the screen, mapped.
    ::Window makeParent(int x, int y, unsigned width, unsigned height) {
        const ::Window made =
            XCreateSimpleWindow(host, DefaultRootWindow(host), x, y, width, height, 0, 0, 0x808080);
        XMapWindow(host, made);
        XSync(host, False);
        return made;
    }

    PrivateXServer server;
    Display* host = nullptr;
};

// The fixture: one private server for the suite; each test loads the module afresh, opens its
// editor into a new grey parent window that holds the keyboard focus, and closes it afterwards.
class EditorInParent : public ::testing::Test {
protected:
    EditorInParent(std::string module, int width, int height)
        : modulePath(std::move(module)), parentWidth(width), parentHeight(height) {}

    static void SetUpTestSuite() {
        if (xserver.start(true)) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    // Between loading the module and opening its editor (a host's settings such as the knob mode).
    virtual void beforeEditorOpens() {}

    void SetUp() override {
        if (!PrivateXServer::installed()) GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
        ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
        setenv("DISPLAY", displayName.c_str(), 1);  // what the module's own connection opens
        host = XOpenDisplay(displayName.c_str());
        ASSERT_NE(host, nullptr);
        int event = 0, error = 0, major = 0, minor = 0;
        ASSERT_TRUE(XTestQueryExtension(host, &event, &error, &major, &minor)) << "the server has no XTEST";
        parent =
            XCreateSimpleWindow(host, DefaultRootWindow(host), 30, 40, static_cast<unsigned>(parentWidth),
                                static_cast<unsigned>(parentHeight), 0, 0, 0x808080);
        XSelectInput(host, parent, StructureNotifyMask);
        XMapWindow(host, parent);
        for (XEvent e; XNextEvent(host, &e), e.type != MapNotify;) {
        }
        XSetInputFocus(host, parent, RevertToParent, CurrentTime);
        XSync(host, False);

        std::string why;
        plugin = tools::PluginInstance::load(modulePath.c_str(), {}, &why);
        ASSERT_TRUE(plugin && plugin->isOpen()) << why;
        plugin->startLike(tools::HostStyle::Plain);
        beforeEditorOpens();
        openEditor();
        plugin->requests().clear();
    }
    void TearDown() override {
        if (plugin != nullptr) {
            plugin->dispatch(vst::effEditClose);
            plugin.reset();
        }
        if (host != nullptr) XCloseDisplay(host);
    }

    // Opens the editor into the parent and finds its window and where it stands on the screen.
    void openEditor() {
        ASSERT_EQ(plugin->dispatch(vst::effEditOpen, 0, 0,
                                   reinterpret_cast<void*>(static_cast<std::uintptr_t>(parent))),
                  1);
        idleFor(5);  // the first paint
        editorWindow = 0;
        ::Window root = 0, parentOut = 0, *list = nullptr;
        unsigned count = 0;
        XQueryTree(host, parent, &root, &parentOut, &list, &count);
        if (count == 1) editorWindow = list[0];
        if (list != nullptr) XFree(list);
        ASSERT_NE(editorWindow, 0u) << "the editor made no child window";
        ::Window child = 0;
        XTranslateCoordinates(host, editorWindow, DefaultRootWindow(host), 0, 0, &originX, &originY, &child);
    }

    void idleFor(int calls) {
        for (int i = 0; i < calls; ++i) {
            plugin->dispatch(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(idleMs));
        }
    }
    // Runs script on the driver's thread while this one idles the editor every idleMs, as a host's
    // GUI thread does; a few idles more once the script is done.
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

    // Every automation of the parameter lies inside one begin/end-edit pair for it; answers how
    // many automations there were.
    int automationsInsideEdits(int parameter) {
        int automations = 0;
        int depth = 0;
        for (const tools::HostRequest& request : plugin->requests().snapshot()) {
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

    static inline PrivateXServer xserver;
    static inline std::string displayName;
    int idleMs = 20;  // the host's idle period
    Display* host = nullptr;
    ::Window parent = 0;
    ::Window editorWindow = 0;
    int originX = 0, originY = 0;
    std::unique_ptr<tools::PluginInstance> plugin;

private:
    std::string modulePath;
    int parentWidth, parentHeight;
};

}  // namespace flanger::testing
