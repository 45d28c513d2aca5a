// The X11 backend against a real server: a private Xvfb started for this test binary.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/x11/X11Platform.h"
#include "tools/common/PrivateXServer.h"

namespace flanger::platform {
namespace {

constexpr const char* kXvfb = flanger::testing::PrivateXServer::kProgram;

class X11Backend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start()) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
        host = XOpenDisplay(displayName.c_str());
        ASSERT_NE(host, nullptr);
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 20, 30, 200, 150, 0, 0, 0x808080);
        XSelectInput(host, parent, StructureNotifyMask);
        XMapWindow(host, parent);
        for (XEvent e; XNextEvent(host, &e), e.type != MapNotify;) {
        }
        platform = X11Platform::open(displayName.c_str());
        ASSERT_NE(platform, nullptr);
    }
    void TearDown() override {
        platform.reset();
        if (host != nullptr) XCloseDisplay(host);
    }

    // Reads a window's pixels back from the server through the host's own connection.
    std::uint32_t serverPixel(::Window window, int x, int y) {
        XImage* image = XGetImage(host, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) return 0xDEADBEEF;
        const auto p = static_cast<std::uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return p;
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* host = nullptr;
    ::Window parent = 0;
    std::unique_ptr<X11Platform> platform;
};

TEST_F(X11Backend, PresentedSurfaceReadsBackFromTheServer) {
    // Both presentation paths: the shared segment (local Xvfb offers MIT-SHM) and XPutImage.
    std::unique_ptr<X11Platform> plain = X11Platform::open(displayName.c_str(), false);
    ASSERT_NE(plain, nullptr);
    for (X11Platform* backend : {platform.get(), plain.get()}) {
        auto window = backend->createChildWindow(parent, 64, 48);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(presentsThroughSharedMemory(*window), backend == platform.get());
        const auto id = static_cast<::Window>(nativeWindowId(*window));
        ASSERT_NE(id, 0u);
        Surface& backing = window->backing();
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                backing.setPixel(
                    x, y, packRgb(static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 5), 0x5A));
        backing.addDamage({0, 0, 64, 48});
        window->present();
        backend->sync();
        XSync(host, False);
        for (int y = 0; y < 48; y += 7)
            for (int x = 0; x < 64; x += 9)
                EXPECT_EQ(serverPixel(id, x, y), backing.pixel(x, y)) << x << "," << y;
        // A later change presents only its damaged region.
        backing.fill({10, 10, 12, 12}, 0xFF0000);
        window->present();
        backend->sync();
        EXPECT_EQ(serverPixel(id, 11, 11), 0xFF0000u);
        EXPECT_EQ(backend->errorCount(), 0);
    }
}

TEST_F(X11Backend, ChildSitsAtTheParentsOriginOnTheScreen) {
    auto window = platform->createChildWindow(parent, 32, 32);
    ASSERT_NE(window, nullptr);
    const ScreenPoint origin = window->screenOrigin();
    EXPECT_EQ(origin.x, 20);
    EXPECT_EQ(origin.y, 30);
    const PointerState pointer = platform->readPointer();
    EXPECT_GE(pointer.position.x, 0);
    EXPECT_EQ(pointer.buttons, 0u);
    EXPECT_FALSE(platform->buttonsSwapped());
}

TEST_F(X11Backend, IdentityAndCursorShapesReachTheServer) {
    auto window = platform->createChildWindow(parent, 32, 32);
    ASSERT_NE(window, nullptr);
    const auto id = static_cast<::Window>(nativeWindowId(*window));
    window->setIdentity("Window", "Plugin0000beef");
    const int shapes[] = {kCursorSizeNorthSouth, kCursorWait, 99, kCursorDefault, kCursorSizeAll};
    for (int shape : shapes) window->setCursorShape(shape);
    platform->sync();
    EXPECT_EQ(platform->errorCount(), 0);
    char* name = nullptr;
    ASSERT_NE(XFetchName(host, id, &name), 0);
    EXPECT_STREQ(name, "Window");
    XFree(name);
    XClassHint hint;
    ASSERT_NE(XGetClassHint(host, id, &hint), 0);
    EXPECT_STREQ(hint.res_class, "Plugin0000beef");
    XFree(hint.res_name);
    XFree(hint.res_class);
}

TEST_F(X11Backend, HostDestroyingTheParentFirstIsTrappedNotFatal) {
    auto window = platform->createChildWindow(parent, 32, 32);
    ASSERT_NE(window, nullptr);
    XDestroyWindow(host, parent);
    XSync(host, False);
    platform->processEvents();  // delivers the destruction of our child
    EXPECT_FALSE(window->isOpen());
    window->backing().fill({0, 0, 4, 4}, 0xFFFFFF);
    window->present();
    window.reset();
    // Drawing into and destroying a window that is gone must raise no X error on our
    // connection either way; had one reached Xlib's default handler, this process would be gone.
    auto stray = platform->createChildWindow(0x3FFFFF, 8, 8);  // an XID that does not exist
    EXPECT_EQ(stray, nullptr);
    platform->sync();
    EXPECT_GE(platform->errorCount(), 1);
}

TEST_F(X11Backend, ABrokenConnectionDoesNotEndTheProcess) {
    auto window = platform->createChildWindow(parent, 16, 16);
    ASSERT_NE(window, nullptr);
    shutdown(platform->connectionFd(), SHUT_RDWR);
    platform->sync();  // Xlib's default would exit(1) here
    EXPECT_FALSE(platform->connected());
    window->backing().fill({0, 0, 16, 16}, 0xFF0000);
    window->present();
    platform->processEvents();
    EXPECT_EQ(platform->readPointer().buttons, 0u);
    EXPECT_EQ(platform->createChildWindow(parent, 8, 8), nullptr);
    window.reset();
}

TEST_F(X11Backend, ExposureRepaintsThroughTheHandler) {
    struct Painter : WindowEvents {
        Surface* surface = nullptr;
        int exposures = 0;
        void onExpose(const PixelBox&) override {
            ++exposures;
            surface->fill({0, 0, surface->width(), surface->height()}, 0x00FF00);
        }
        void onButtonPress(int, int, std::uint32_t) override {}
        void onWheel(int, int, float) override {}
        void onDestroyed() override {}
    } painter;
    auto window = platform->createChildWindow(parent, 16, 16);
    ASSERT_NE(window, nullptr);
    painter.surface = &window->backing();
    window->setEventHandler(&painter);
    for (int i = 0; i < 40 && painter.exposures == 0; ++i) {
        platform->sync();
        platform->processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GT(painter.exposures, 0);
    // Uncovering the window again queues an exposure that a drag loop can take on its own.
    XUnmapWindow(host, parent);
    XMapWindow(host, parent);
    XSync(host, False);
    const int before = painter.exposures;
    bool delivered = false;
    for (int i = 0; i < 40 && !delivered; ++i) {
        platform->sync();
        delivered = platform->processOneExpose();
        if (!delivered) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(delivered);
    EXPECT_EQ(painter.exposures, before + 1);
    platform->sync();
    EXPECT_EQ(serverPixel(static_cast<::Window>(nativeWindowId(*window)), 8, 8), 0x00FF00u);
}

TEST_F(X11Backend, ResizingKeepsTheWindowAndRemakesItsBackingAtTheNewSize) {
    struct Exposures : WindowEvents {
        PixelBox seen;
        void onExpose(const PixelBox& area) override { seen = seen.unite(area); }
        void onButtonPress(int, int, std::uint32_t) override {}
        void onWheel(int, int, float) override {}
        void onDestroyed() override {}
    };
    // Room for the larger size on the 640 x 480 screen, as far as it reaches.
    XMoveResizeWindow(host, parent, 0, 0, 740, 432);
    XSync(host, False);
    std::unique_ptr<X11Platform> plain = X11Platform::open(displayName.c_str(), false);
    std::unique_ptr<X11Platform> contained = X11Platform::open(displayName.c_str());
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(contained, nullptr);
    contained->setOwnContainer(true);
    for (X11Platform* backend : {platform.get(), plain.get(), contained.get()}) {
        SCOPED_TRACE(backend == plain.get()       ? "XPutImage"
                     : backend == contained.get() ? "container"
                                                  : "shared");
        auto window = backend->createChildWindow(parent, 370, 216);
        ASSERT_NE(window, nullptr);
        const auto id = static_cast<::Window>(nativeWindowId(*window));
        Exposures exposures;
        window->setEventHandler(&exposures);
        for (int i = 0; i < 40 && exposures.seen.empty(); ++i) {
            backend->sync();
            backend->processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        window->backing().fill({0, 0, 370, 216}, 0xFFFFFF);

        ASSERT_TRUE(window->resize(740, 432));
        backend->sync();
        EXPECT_EQ(nativeWindowId(*window), id) << "hosts hold the window's id";
        // The window and whatever holds it in the parent, with the fixed-size hints.
        std::vector<::Window> measured{id};
        ::Window root = 0, holder = 0, *children = nullptr;
        unsigned count = 0;
        ASSERT_NE(XQueryTree(host, id, &root, &holder, &children, &count), 0);
        if (children != nullptr) XFree(children);
        EXPECT_EQ(holder != parent, backend == contained.get());
        if (holder != parent) measured.push_back(holder);
        for (::Window each : measured) {
            int x = 0, y = 0;
            unsigned width = 0, height = 0, border = 0, depth = 0;
            ASSERT_NE(XGetGeometry(host, each, &root, &x, &y, &width, &height, &border, &depth), 0);
            EXPECT_EQ(width, 740u);
            EXPECT_EQ(height, 432u);
            XSizeHints hints{};
            long supplied = 0;
            ASSERT_NE(XGetWMNormalHints(host, each, &hints, &supplied), 0);
            EXPECT_EQ(hints.min_width, 740);
            EXPECT_EQ(hints.max_width, 740);
            EXPECT_EQ(hints.min_height, 432);
            EXPECT_EQ(hints.max_height, 432);
        }
        // A black backing at the new size, all of it to be shown.
        Surface& backing = window->backing();
        ASSERT_EQ(backing.width(), 740);
        ASSERT_EQ(backing.height(), 432);
        EXPECT_EQ(backing.pixel(10, 10), 0u);
        EXPECT_EQ(backing.pixel(739, 431), 0u);
        const PixelBox damage = backing.damage();
        EXPECT_EQ(damage.right - damage.left, 740);
        EXPECT_EQ(damage.bottom - damage.top, 432);
        window->present();
        backing.fill({600, 400, 620, 420}, 0x3366CC);
        window->present();
        backend->sync();
        EXPECT_EQ(serverPixel(id, 10, 10), 0u);
        EXPECT_EQ(serverPixel(id, 610, 410), 0x3366CCu);
        // The server exposes the new size too, for a repaint through the handler.
        exposures.seen = {};
        for (int i = 0; i < 40 && exposures.seen.bottom < 432; ++i) {
            backend->sync();
            backend->processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_EQ(exposures.seen.bottom, 432);
        EXPECT_GT(exposures.seen.right, 600);
        EXPECT_FALSE(window->resize(0, 432));
        EXPECT_EQ(window->backing().width(), 740);
        EXPECT_EQ(backend->errorCount(), 0);
    }
}

}  // namespace
}  // namespace flanger::platform
