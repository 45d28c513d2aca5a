// The CLAP module's editor as a Linux host holds it, under a private Xvfb: embedded in the host's
// parent and run only by the host's timer and its watch of the editor's X connection, while the
// real pointer clicks the lamp; the host's scale sizes it; opening and closing it 200 times leaves
// no window, timer or descriptor behind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "tests/support/EditorInParent.h"
#include "tools/common/ClapHost.h"

namespace {

using flanger::testing::Driver;
using flanger::tools::ClapEdit;
using flanger::tools::ClapPlugin;
namespace clap = flanger::clap;

constexpr clap::clap_id kSwitch = 4;

unsigned childCount(Display* display, ::Window parent) {
    ::Window root = 0, above = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, parent, &root, &above, &children, &count);
    if (children != nullptr) XFree(children);
    return count;
}

class ClapEditor : public flanger::testing::OnPrivateServer {
protected:
    void SetUp() override {
        OnPrivateServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        std::string error;
        plugin = ClapPlugin::load(FLANGER_CLAP_MODULE, {}, &error);
        ASSERT_TRUE(plugin) << error;
        // Active but not processing, as an idle host holds it: edits come through flush.
        ASSERT_TRUE(plugin->activate(44100.0, 1, 512));
    }
    void TearDown() override {
        plugin.reset();
        OnPrivateServer::TearDown();
    }
    // The host's main thread: its run loop, as often as hosts run it.
    void idle(int passes) {
        for (int i = 0; i < passes; ++i) plugin->runLoopOnce(20);
    }
    const clap::clap_plugin_gui* gui() const {
        return plugin->extension<clap::clap_plugin_gui>(clap::kExtGui);
    }

    std::unique_ptr<ClapPlugin> plugin;
};

TEST_F(ClapEditor, RunsFromTheHostsLoopAndAQuickClickOnTheLampReachesTheHost) {
    const int x = 30, y = 40;  // the parent's place on the screen
    const ::Window parent = makeParent(x, y, 800, 480);
    std::string error;
    ASSERT_TRUE(plugin->openEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), &error)) << error;
    EXPECT_EQ(plugin->runLoop().timerCount(), 1u);
    EXPECT_EQ(plugin->runLoop().descriptorCount(), 1u) << "the editor's X connection is watched";
    idle(5);
    EXPECT_EQ(childCount(host, parent), 1u);

    flanger::testing::driveWhileIdling(
        server.displayName(), [&](Driver& input) { input.click(x + 262, y + 146); }, [&] { idle(1); }, 5);
    EXPECT_EQ(plugin->value(kSwitch), 1.0);
    bool begun = false, valued = false, ended = false;
    for (const ClapEdit& edit : plugin->outputEvents().edits()) {
        if (edit.id != kSwitch) continue;
        begun |= edit.kind == ClapEdit::Kind::Begin;
        valued |= begun && edit.kind == ClapEdit::Kind::Value && edit.value == 1.0;
        ended |= valued && edit.kind == ClapEdit::Kind::End;
    }
    EXPECT_TRUE(begun && valued && ended) << "the host heard begin, Switch = 1 and end, in that order";
    plugin->closeEditor();
    EXPECT_EQ(childCount(host, parent), 0u);
}

// The host's scale, before the editor opens: a factor or, from hosts that send percent, 100-400.
TEST_F(ClapEditor, TakesTheHostsScale) {
    int width = 0, height = 0;
    EXPECT_FALSE(gui()->setScale(plugin->plugin(), 0.25)) << "no screen is that small";
    ASSERT_TRUE(gui()->setScale(plugin->plugin(), 2.0));
    ASSERT_TRUE(plugin->editorSize(width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(740, 432));
    ASSERT_TRUE(gui()->setScale(plugin->plugin(), 150.0));
    ASSERT_TRUE(plugin->editorSize(width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(555, 324));

    const ::Window parent = makeParent(0, 0, 800, 480);
    ASSERT_TRUE(plugin->openEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), nullptr));
    idle(3);
    XWindowAttributes shown{};
    ::Window root = 0, above = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(host, parent, &root, &above, &children, &count);
    ASSERT_EQ(count, 1u);
    XGetWindowAttributes(host, children[0], &shown);
    XFree(children);
    EXPECT_EQ(std::make_pair(shown.width, shown.height), std::make_pair(555, 324));
}

TEST_F(ClapEditor, TwoHundredOpensAndClosesLeaveNothingBehind) {
    const ::Window parent = makeParent(0, 0, 400, 260);
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(plugin->openEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), nullptr))
            << "cycle " << cycle;
        plugin->runLoopOnce(0);
        plugin->closeEditor();
        ASSERT_EQ(plugin->runLoop().timerCount(), 0u) << "cycle " << cycle;
        ASSERT_EQ(plugin->runLoop().descriptorCount(), 0u) << "cycle " << cycle;
    }
    EXPECT_EQ(childCount(host, parent), 0u);
}

// A host that offers no timers or no descriptor watch cannot run the editor: it gets none.
TEST(ClapEditorWithoutARunLoop, IsNotCreated) {
    for (const bool timers : {false, true}) {
        flanger::tools::ClapHostOffers offers;
        offers.timers = timers;
        offers.fds = !timers;
        auto plugin = ClapPlugin::load(FLANGER_CLAP_MODULE, offers, nullptr);
        ASSERT_TRUE(plugin);
        const auto* gui = plugin->extension<clap::clap_plugin_gui>(clap::kExtGui);
        ASSERT_NE(gui, nullptr);
        EXPECT_TRUE(gui->isApiSupported(plugin->plugin(), clap::kWindowApiX11, false));
        EXPECT_FALSE(gui->create(plugin->plugin(), clap::kWindowApiX11, false));
    }
}

}  // namespace
