// The desktop's scale on X11: Xft.dpi as xrdb leaves it on a private Xvfb's root window, and the
// resource text's edge cases.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>
#include <string>

#include "platform/x11/X11DesktopScale.h"
#include "platform/x11/X11Platform.h"
#include "tools/common/PrivateXServer.h"

namespace flanger::platform {
namespace {

TEST(X11DesktopScale, FollowsTheResourceDatabaseOnTheRootWindow) {
    if (!flanger::testing::PrivateXServer::installed()) GTEST_SKIP() << "Xvfb is not installed";
    flanger::testing::PrivateXServer xserver;
    ASSERT_TRUE(xserver.start());
    Display* host = XOpenDisplay(xserver.displayName().c_str());
    ASSERT_NE(host, nullptr);
    const auto setResources = [host](const char* text) {
        XChangeProperty(host, DefaultRootWindow(host), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
        XSync(host, False);
    };
    auto platform = X11Platform::open(xserver.displayName().c_str());
    ASSERT_NE(platform, nullptr);
    EXPECT_EQ(platform->desktopScalePercent(0), 0) << "no database at all";

    // Read at each ask, on the connection that is already open.
    setResources("Xcursor.size:\t24\nXft.dpi:\t192\nXft.antialias:\t1\n");
    EXPECT_EQ(platform->desktopScalePercent(0), 200);
    setResources("Xft.dpi:\t120\n");
    EXPECT_EQ(platform->desktopScalePercent(0), 125);
    setResources("Xft.dpi:\tlarge\n");
    EXPECT_EQ(platform->desktopScalePercent(0), 0);
    setResources("Xft.antialias:\t1\n");
    EXPECT_EQ(platform->desktopScalePercent(0), 0);
    XDeleteProperty(host, DefaultRootWindow(host), XA_RESOURCE_MANAGER);
    XSync(host, False);
    EXPECT_EQ(platform->desktopScalePercent(0), 0);

    platform.reset();
    XCloseDisplay(host);
}

TEST(X11DesktopScale, TakesOnlyAPositiveNumberForExactlyXftDpi) {
    using x11::desktopScaleOfResources;
    EXPECT_EQ(desktopScaleOfResources(nullptr), 0);
    EXPECT_EQ(desktopScaleOfResources(""), 0);
    EXPECT_EQ(desktopScaleOfResources("Xft.dpi:\t96"), 100) << "last line without its newline";
    EXPECT_EQ(desktopScaleOfResources("  Xft.dpi :  144.5  \n"), 151) << "blanks, a fraction, rounded";
    EXPECT_EQ(desktopScaleOfResources("Xft.dpi:\t96\nXft.dpi:\t168\n"), 175) << "the later line wins";
    for (const char* garbage :
         {"Xft.dpi:\n", "Xft.dpi:\t0\n", "Xft.dpi:\t-192\n", "Xft.dpi:\t192dpi\n", "Xft.dpi:\t1e3\n",
          "Xft.dpi:\t.\n", "Xft.dpi:\t99999999999999999999\n", "Xft.dpi\t192\n", "Xft.dpiX:\t192\n",
          "*dpi:\t192\n", "xft.dpi:\t192\n", "!Xft.dpi:\t192\n", "Xft.dpi:\t192\nXft.dpi:\tnone\n"}) {
        EXPECT_EQ(desktopScaleOfResources(garbage), 0) << garbage;
    }
}

}  // namespace
}  // namespace flanger::platform
