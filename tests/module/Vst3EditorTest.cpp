// The VST3 bundle's editor as a Linux host holds it, under a private Xvfb: attached to the host's
// parent window and run only from the host's run loop, while the real pointer drags a knob and
// clicks the lamp.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <thread>

#include "tests/support/EditorInParent.h"
#include "tools/common/Vst3Host.h"

namespace {

using flanger::testing::Driver;
using flanger::tools::Vst3Edit;

constexpr flanger::vst3::ParamID kDepth = 2, kSwitch = 4;

unsigned childCount(Display* display, ::Window parent) {
    ::Window root = 0, above = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, parent, &root, &above, &children, &count);
    if (children != nullptr) XFree(children);
    return count;
}

::Window firstChild(Display* display, ::Window parent) {
    ::Window root = 0, above = 0, *children = nullptr, first = 0;
    unsigned count = 0;
    XQueryTree(display, parent, &root, &above, &children, &count);
    if (count > 0) first = children[0];
    if (children != nullptr) XFree(children);
    return first;
}

using Vst3Editor = flanger::testing::OnPrivateServer;

TEST_F(Vst3Editor, RunsFromTheHostsRunLoopAndReportsEditsAsBeginPerformEnd) {
    const int x = 30, y = 40;  // the parent's place on the screen
    const ::Window parent = makeParent(x, y, 400, 260);

    std::string error;
    auto plugin = flanger::tools::Vst3Plugin::load(FLANGER_VST3_BUNDLE, &error);
    ASSERT_TRUE(plugin) << error;
    ASSERT_EQ(plugin->start(44100.0, 512), flanger::vst3::kResultOk);
    ASSERT_TRUE(plugin->openEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), &error)) << error;
    int width = 0, height = 0;
    ASSERT_TRUE(plugin->editorSize(width, height));
    EXPECT_EQ(width, 370);
    EXPECT_EQ(height, 216);
    EXPECT_GE(plugin->runLoop().timerCount(), 1u);
    EXPECT_GE(plugin->runLoop().handlerCount(), 1u);
    EXPECT_EQ(plugin->view()->canResize(), flanger::vst3::kResultFalse);

    // The host's GUI thread: nothing but the run loop, every 20 ms at most.
    auto runWhile = [&](const std::function<void(Driver&)>& script) {
        flanger::testing::driveWhileIdling(
            server.displayName(), script, [&] { plugin->runLoopOnce(20); }, 10);
    };
    runWhile([](Driver& input) { input.settle(200); });  // the first paint
    EXPECT_EQ(childCount(host, parent), 1u) << "the editor's window sits in the parent";
    EXPECT_GT(plugin->runLoop().timerFirings(), 3);

    // Depth's knob at (134, 175): pressed, dragged clockwise, released: one edit.
    const double depthBefore = plugin->parameter(kDepth);
    plugin->handler().clear();
    runWhile([&](Driver& input) {
        input.moveTo(x + 134, y + 175);
        input.press(50);
        for (int step = 0; step < 30; ++step) input.moveTo(x + 134 + step, y + 165 - step / 2, 5);
        input.release();
    });
    int open = 0, begins = 0, performsInside = 0, performsOutside = 0;
    for (const Vst3Edit& edit : plugin->handler().edits()) {
        if (edit.id != kDepth) continue;
        if (edit.kind == Vst3Edit::Kind::Begin) ++open, ++begins;
        if (edit.kind == Vst3Edit::Kind::End) --open;
        if (edit.kind == Vst3Edit::Kind::Perform) (open == 1 ? performsInside : performsOutside)++;
    }
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(open, 0);
    EXPECT_GT(performsInside, 3) << "the drag performed Depth";
    EXPECT_EQ(performsOutside, 0) << "every perform lies inside the edit";
    EXPECT_GT(plugin->parameter(kDepth), depthBefore);

    // The lamp at (262, 146), a quick click (press and release in one idle): Switch performed as on.
    plugin->handler().clear();
    runWhile([&](Driver& input) { input.click(x + 262, y + 146); });
    bool switched = false;
    for (const Vst3Edit& edit : plugin->handler().edits())
        switched |= edit.kind == Vst3Edit::Kind::Perform && edit.id == kSwitch && edit.value == 1.0;
    EXPECT_TRUE(switched);
    EXPECT_EQ(plugin->parameter(kSwitch), 1.0);

    // Closed: its handlers gone from the run loop, no reference to the frame or loop kept, its
    // window gone from the parent.
    plugin->closeEditor();
    XSync(host, False);
    EXPECT_EQ(plugin->runLoop().timerCount(), 0u);
    EXPECT_EQ(plugin->runLoop().handlerCount(), 0u);
    EXPECT_EQ(plugin->frame().referenceCount(), 1u);
    EXPECT_EQ(plugin->runLoop().referenceCount(), 1u);
    EXPECT_EQ(childCount(host, parent), 0u);
    plugin.reset();
}

// A host on a 200 % display says so through the view: the view, the frame's resize request and
// the windows drawn in the parent all take twice the design's size.
TEST_F(Vst3Editor, TakesTheHostsContentScaleWhileOpen) {
    const ::Window parent = makeParent(0, 0, 800, 480);

    std::string error;
    auto plugin = flanger::tools::Vst3Plugin::load(FLANGER_VST3_BUNDLE, &error);
    ASSERT_TRUE(plugin) << error;
    ASSERT_TRUE(plugin->openEditor(reinterpret_cast<void*>(static_cast<uintptr_t>(parent)), &error)) << error;
    for (int i = 0; i < 5; ++i) plugin->runLoopOnce(20);
    int width = 0, height = 0;
    EXPECT_EQ(plugin->setEditorScale(0.5f), flanger::vst3::kResultFalse) << "no display is that small";
    ASSERT_TRUE(plugin->editorSize(width, height));
    EXPECT_EQ(width, 370);
    EXPECT_EQ(height, 216);

    EXPECT_EQ(plugin->setEditorScale(2.0f), flanger::vst3::kResultTrue);
    for (int i = 0; i < 5; ++i) plugin->runLoopOnce(20);
    ASSERT_TRUE(plugin->editorSize(width, height));
    EXPECT_EQ(width, 740);
    EXPECT_EQ(height, 432);
    EXPECT_GE(plugin->frame().resizeRequests(), 1) << "the open editor asked the host's frame";
    const flanger::vst3::ViewRect asked = plugin->frame().lastResize();
    EXPECT_EQ(asked.right - asked.left, 740);
    EXPECT_EQ(asked.bottom - asked.top, 432);
    // Every window between the parent and the editor's own (its container) has the new size.
    XSync(host, False);
    int levels = 0;
    for (::Window w = firstChild(host, parent); w != 0; w = firstChild(host, w), ++levels) {
        XWindowAttributes attributes{};
        ASSERT_NE(XGetWindowAttributes(host, w, &attributes), 0);
        EXPECT_EQ(attributes.width, 740) << "level " << levels;
        EXPECT_EQ(attributes.height, 432) << "level " << levels;
    }
    EXPECT_GE(levels, 1);

    plugin->closeEditor();
    plugin.reset();
}

}  // namespace
