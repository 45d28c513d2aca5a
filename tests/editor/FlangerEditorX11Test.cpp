// The flanger editor in a real X server (a private Xvfb), through the built module and the test
// host: it opens into a window the host made, shows the full editor, survives bad parents and a
// parent destroyed under it, and leaves no windows or connections behind.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "resources/ModuleResources.h"
#include "tests/support/ImageDifference.h"
#include "tests/support/WindowGrab.h"
#include "tools/common/PngFile.h"
#include "tools/common/PrivateXServer.h"
#include "tools/common/TestHost.h"

extern char** environ;

namespace flanger {
namespace {

constexpr const char* kXvfb = flanger::testing::PrivateXServer::kProgram;
using tools::PluginInstance;

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*) {
    ++hostErrors;
    return 0;
}

int openDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

class FlangerEditorX11 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (xserver.start()) displayName = xserver.displayName();
    }
    static void TearDownTestSuite() { xserver.stop(); }

    void SetUp() override {
        if (!std::filesystem::exists(kXvfb)) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_FALSE(displayName.empty()) << "Xvfb did not start";
        setenv("DISPLAY", displayName.c_str(), 1);  // what the module's own connection opens
        host = XOpenDisplay(displayName.c_str());
        ASSERT_NE(host, nullptr);
        previousHandler = XSetErrorHandler(countHostError);
        hostErrors = 0;
        parent = XCreateSimpleWindow(host, DefaultRootWindow(host), 10, 10, 400, 260, 0, 0, 0x808080);
        XSelectInput(host, parent, StructureNotifyMask);
        XMapWindow(host, parent);
        for (XEvent e; XNextEvent(host, &e), e.type != MapNotify;) {
        }
        std::string error;
        plugin = PluginInstance::load(FLANGER_MODULE_PATH, {}, &error);
        ASSERT_TRUE(plugin && plugin->isOpen()) << error;
        plugin->open();
    }
    void TearDown() override {
        plugin.reset();
        if (host != nullptr) {
            // The module must have given the host its error handler back.
            EXPECT_EQ(XSetErrorHandler(previousHandler), countHostError);
            XCloseDisplay(host);
        }
    }

    intptr_t openEditor(::Window window) {
        // Like Ardour and Carla: the host's Display* in value, which the editor must not use.
        return plugin->dispatch(vst::effEditOpen, 0, reinterpret_cast<intptr_t>(host),
                                reinterpret_cast<void*>(static_cast<std::uintptr_t>(window)));
    }
    void idleFor(int calls) {
        for (int i = 0; i < calls; ++i) {
            plugin->dispatch(vst::effEditIdle);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::vector<::Window> children(::Window window) {
        ::Window root = 0, parentOut = 0, *list = nullptr;
        unsigned count = 0;
        std::vector<::Window> result;
        if (XQueryTree(host, window, &root, &parentOut, &list, &count) != 0)
            result.assign(list, list + count);
        if (list != nullptr) XFree(list);
        return result;
    }

    static inline flanger::testing::PrivateXServer xserver;
    static inline std::string displayName;
    Display* host = nullptr;
    XErrorHandler previousHandler = nullptr;
    ::Window parent = 0;
    std::unique_ptr<PluginInstance> plugin;
};

TEST_F(FlangerEditorX11, OpensIntoTheHostsWindowAndShowsTheEditor) {
    vst::ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_EQ(openEditor(parent), 1);
    rect = nullptr;
    ASSERT_EQ(plugin->dispatch(vst::effEditGetRect, 0, 0, &rect), 1);  // hosts ask again after open
    EXPECT_EQ(rect->right, 370);
    idleFor(5);

    const std::vector<::Window> made = children(parent);
    ASSERT_EQ(made.size(), 1u);
    XWindowAttributes attributes;
    ASSERT_NE(XGetWindowAttributes(host, made[0], &attributes), 0);
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.width, 370);
    EXPECT_EQ(attributes.height, 216);
    EXPECT_EQ(attributes.map_state, IsViewable);

    // One window class per module, named after the address the loader mapped the module at.
    void* module = dlopen(FLANGER_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    Dl_info info{};
    ASSERT_NE(dladdr(dlsym(module, "VSTPluginMain"), &info), 0);
    dlclose(module);
    char expectedClass[40];
    std::snprintf(expectedClass, sizeof expectedClass, "Plugin%08lx",
                  reinterpret_cast<unsigned long>(info.dli_fbase));
    XClassHint hint{};
    ASSERT_NE(XGetClassHint(host, made[0], &hint), 0);
    EXPECT_STREQ(hint.res_name, expectedClass);
    EXPECT_STREQ(hint.res_class, expectedClass);
    XFree(hint.res_name);
    XFree(hint.res_class);
    char* title = nullptr;
    ASSERT_NE(XFetchName(host, made[0], &title), 0);
    EXPECT_STREQ(title, "Window");
    XFree(title);
    // No _XEventProc: hosts would call into the editor from their own connection and thread.
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, remaining = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(host, made[0], XInternAtom(host, "_XEventProc", False), 0, 4, False,
                           AnyPropertyType, &type, &format, &count, &remaining, &data);
        if (data != nullptr) XFree(data);
        EXPECT_EQ(type, static_cast<Atom>(None));
    }

    // The same picture the headless editor test keeps as its golden; text may differ slightly.
    const std::optional<platform::Surface> expected = tools::readPng(FLANGER_EDITOR_GOLDEN);
    ASSERT_TRUE(expected.has_value());
    const platform::Surface shown = testing::grabWindow(host, made[0], 370, 216);
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(testing::differenceOf(shown, *expected, 8).over, 60);

    plugin->dispatch(vst::effEditClose);
    XSync(host, False);
    EXPECT_TRUE(children(parent).empty());
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(FlangerEditorX11, NullOrInvalidParentAnswersZeroWithoutEndingTheHost) {
    EXPECT_EQ(openEditor(0), 0);
    EXPECT_EQ(openEditor(0x3FFFFE), 0);  // no such window
    idleFor(2);
    plugin->dispatch(vst::effEditClose);
    // The host's connection and error handling are untouched.
    XSync(host, False);
    EXPECT_EQ(hostErrors, 0);
    EXPECT_EQ(openEditor(parent), 1);  // and the editor still opens afterwards
    plugin->dispatch(vst::effEditClose);
}

TEST_F(FlangerEditorX11, ParentDestroyedUnderTheOpenEditorIsSurvived) {
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(2);
    XDestroyWindow(host, parent);
    XSync(host, False);
    idleFor(3);
    plugin->dispatch(vst::effEditKeyDown, 0, 12, nullptr, 0.0f);
    plugin->dispatch(vst::effEditClose);
    idleFor(1);
    parent = 0;
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(FlangerEditorX11, EffectClosedWithTheEditorOpenTakesItsWindowAlong) {
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(1);
    EXPECT_EQ(plugin->close(), 1);
    XSync(host, False);
    EXPECT_TRUE(children(parent).empty());
}

TEST_F(FlangerEditorX11, RepeatedOpenAndCloseLeavesNothingBehind) {
    ASSERT_EQ(openEditor(parent), 1);  // warm-up: one-time allocations of Xlib and fontconfig
    plugin->dispatch(vst::effEditIdle);
    plugin->dispatch(vst::effEditClose);
    const int descriptors = openDescriptors();
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(openEditor(parent), 1) << i;
        plugin->dispatch(vst::effEditIdle);
        plugin->dispatch(vst::effEditClose);
    }
    XSync(host, False);
    EXPECT_TRUE(children(parent).empty());
    EXPECT_EQ(openDescriptors(), descriptors);  // every display connection was closed
    EXPECT_EQ(hostErrors, 0);
}

TEST_F(FlangerEditorX11, TheFontMatchingLibraryOutlivesTheUnloadedModule) {
    // Its process-lifetime caches would be lost with it, once more at every reload. This test
    // program does not link the library: only the module brings it in.
    ASSERT_EQ(openEditor(parent), 1);
    idleFor(2);  // draws the number fields' text, which matches fonts
    plugin->dispatch(vst::effEditClose);
    plugin.reset();
    void* kept = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_NOLOAD);
    EXPECT_NE(kept, nullptr);
    if (kept != nullptr) dlclose(kept);
}

}  // namespace
}  // namespace flanger
