// Drops onto the frame's window in a real X server: a second client plays the XDND source and
// the frame's topmost child that takes drops records what arrives. Also the uri-list decoding.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/x11/UriList.h"
#include "platform/x11/X11Platform.h"
#include "tests/views/ViewTestSupport.h"
#include "tools/common/PrivateXServer.h"

extern char** environ;

namespace flanger::gui {
namespace {

using testing::TestControl;
constexpr const char* kXvfb = flanger::testing::PrivateXServer::kProgram;

TEST(UriList, DecodesLocalFileNames) {
    using platform::decodeUriList;
    EXPECT_EQ(decodeUriList("file:///tmp/a%20b.wav\r\n# comment\r\nfile://localhost/home/x.fxp\r\n"),
              (std::vector<std::string>{"/tmp/a b.wav", "/home/x.fxp"}));
    EXPECT_EQ(decodeUriList("file:/plain/path\nhttp://example.org/x\nfile://elsewhere/y\n"),
              (std::vector<std::string>{"/plain/path"}));
    EXPECT_EQ(decodeUriList("file:///100%25%e2%82%ac%zz"),
              (std::vector<std::string>{"/100%\xe2\x82\xac%zz"}));
    EXPECT_TRUE(decodeUriList("file:///bad%00name\r\n").empty());
    const std::string longest(platform::kMaxDroppedName - 2, 'n');
    EXPECT_EQ(decodeUriList("file:///" + longest).size(), 1u);       // 1023 bytes with the slash
    EXPECT_TRUE(decodeUriList("file:///" + longest + "n").empty());  // 1024: would not fit
    EXPECT_TRUE(decodeUriList("").empty());
}

class FrameDropX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start()) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(displayName.empty());
        source = XOpenDisplay(displayName.c_str());
        ASSERT_NE(source, nullptr);
        parent = XCreateSimpleWindow(source, DefaultRootWindow(source), 40, 50, 200, 100, 0, 0, 0);
        XMapWindow(source, parent);
        XSync(source, False);
        sourceWindow = XCreateSimpleWindow(source, DefaultRootWindow(source), 0, 0, 1, 1, 0, 0, 0);
        windowSystem = platform::X11Platform::open(displayName.c_str());
        ASSERT_NE(windowSystem, nullptr);
        frame = new FrameView({0, 0, 200, 100}, windowSystem.get(), parent, nullptr);
        ASSERT_TRUE(frame->hasWindow());
        target = static_cast<::Window>(platform::nativeWindowId(*frame->nativeWindow()));
        below = new TestControl({0, 0, 200, 100}, nullptr, 1);
        above = new TestControl({0, 0, 100, 100}, nullptr, 2);
        frame->addChild(below);
        frame->addChild(above);
        windowSystem->sync();
    }
    void TearDown() override {
        if (frame != nullptr) frame->release();
        windowSystem.reset();
        if (source != nullptr) XCloseDisplay(source);
    }

    Atom atom(const char* name) { return XInternAtom(source, name, False); }
    void send(const char* type, long l1, long l2, long l3 = 0, long l4 = 0) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = target;
        e.xclient.message_type = atom(type);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(sourceWindow);
        e.xclient.data.l[1] = l1;
        e.xclient.data.l[2] = l2;
        e.xclient.data.l[3] = l3;
        e.xclient.data.l[4] = l4;
        XSendEvent(source, target, False, NoEventMask, &e);
        XFlush(source);
    }
    // Pumps the frame's connection until the source receives an event that matches.
    bool awaitSourceEvent(XEvent& out, const std::function<bool(const XEvent&)>& wanted) {
        for (int i = 0; i < 400; ++i) {
            windowSystem->processEvents();
            while (XPending(source) > 0) {
                XNextEvent(source, &out);
                if (wanted(out)) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    bool awaitClientMessage(XEvent& out, const char* type) {
        const Atom wantedType = atom(type);
        return awaitSourceEvent(out, [&](const XEvent& e) {
            return e.type == ClientMessage && e.xclient.message_type == wantedType;
        });
    }

    // A whole drag and drop of data offered as one type; answers the XdndFinished message.
    XEvent dropOver(int x, int y, const char* type, const std::string& data) {
        XSetSelectionOwner(source, atom("XdndSelection"), sourceWindow, CurrentTime);
        send("XdndEnter", 5L << 24, static_cast<long>(atom(type)));
        send("XdndPosition", 0, ((40L + x) << 16) | (50L + y), CurrentTime,
             static_cast<long>(atom("XdndActionCopy")));
        XEvent status{};
        EXPECT_TRUE(awaitClientMessage(status, "XdndStatus"));
        lastStatus = status;
        send("XdndDrop", 0, CurrentTime);
        XEvent request{};
        EXPECT_TRUE(awaitSourceEvent(request, [](const XEvent& e) { return e.type == SelectionRequest; }));
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.requestor = request.xselectionrequest.requestor;
        reply.selection = request.xselectionrequest.selection;
        reply.target = request.xselectionrequest.target;
        reply.property = request.xselectionrequest.property;
        reply.time = request.xselectionrequest.time;
        XChangeProperty(source, reply.requestor, reply.property, reply.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
        XSendEvent(source, reply.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
        XFlush(source);
        XEvent finished{};
        EXPECT_TRUE(awaitClientMessage(finished, "XdndFinished"));
        return finished;
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* source = nullptr;
    ::Window parent = 0, sourceWindow = 0, target = 0;
    std::unique_ptr<platform::X11Platform> windowSystem;
    FrameView* frame = nullptr;
    TestControl* below = nullptr;
    TestControl* above = nullptr;
    XEvent lastStatus{};
};

TEST_F(FrameDropX11, WindowAnnouncesXdndVersionFive) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(source, target, atom("XdndAware"), 0, 1, False, XA_ATOM, &type, &format,
                                 &count, &remaining, &data),
              Success);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*reinterpret_cast<long*>(data), 5);
    XFree(data);
}

TEST_F(FrameDropX11, FileListReachesTheTopmostChildWithDecodedNames) {
    above->acceptDrops = false;
    const XEvent finished =
        dropOver(30, 30, "text/uri-list", "file:///tmp/My%20Song.wav\r\nfile:///tmp/b.fxb\r\n");
    EXPECT_EQ(lastStatus.xclient.data.l[1] & 1, 1);                                      // accepted
    EXPECT_EQ(static_cast<Atom>(lastStatus.xclient.data.l[4]), atom("XdndActionMove"));  // no Control held
    EXPECT_EQ(above->dropped, (std::vector<std::string>{"/tmp/My Song.wav", "/tmp/b.fxb"}));
    EXPECT_EQ(below->dropped, (std::vector<std::string>{"/tmp/My Song.wav", "/tmp/b.fxb"}));
    EXPECT_EQ(below->dropType, kDropFiles);
    EXPECT_EQ(finished.xclient.data.l[1] & 1, 1);
    EXPECT_EQ(static_cast<::Window>(finished.xclient.data.l[0]), target);
    // Offered as a move, done as a copy: the source must not delete the files.
    EXPECT_EQ(static_cast<Atom>(finished.xclient.data.l[2]), atom("XdndActionCopy"));
}

TEST_F(FrameDropX11, TextArrivesAsOneItemWithItsSize) {
    const XEvent finished = dropOver(150, 20, "text/plain", "some words");
    EXPECT_TRUE(above->dropped.empty());  // the point lies outside it
    EXPECT_EQ(below->dropType, kDropText);
    EXPECT_EQ(below->dropped, (std::vector<std::string>{"some words"}));
    EXPECT_EQ(finished.xclient.data.l[1] & 1, 1);
}

TEST_F(FrameDropX11, UnofferedTypesAreRefused) {
    XSetSelectionOwner(source, atom("XdndSelection"), sourceWindow, CurrentTime);
    send("XdndEnter", 5L << 24, static_cast<long>(atom("image/png")));
    send("XdndPosition", 0, (60L << 16) | 60L, CurrentTime, static_cast<long>(atom("XdndActionCopy")));
    XEvent status{};
    ASSERT_TRUE(awaitClientMessage(status, "XdndStatus"));
    EXPECT_EQ(status.xclient.data.l[1] & 1, 0);
    send("XdndDrop", 0, CurrentTime);
    XEvent finished{};
    ASSERT_TRUE(awaitClientMessage(finished, "XdndFinished"));
    EXPECT_EQ(finished.xclient.data.l[1] & 1, 0);
    EXPECT_TRUE(below->dropped.empty());
}

}  // namespace
}  // namespace flanger::gui
