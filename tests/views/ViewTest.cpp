// View and control base: inclusive geometry, the dirty rules, clamping, reference counting and
// the shared reset / drag / wheel / arrow-key contract, on the headless backend.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gui/KnobMode.h"
#include "gui/SkinBitmap.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/views/ViewTestSupport.h"

namespace flanger::gui {
namespace {

using testing::RecordingEditor;
using testing::RecordingListener;
using testing::TestControl;

class ControlBase : public ::testing::Test {
protected:
    void SetUp() override { platform::setCurrentPlatform(&headless); }
    void TearDown() override { platform::setCurrentPlatform(nullptr); }

    platform::HeadlessPlatform headless;
    Canvas canvas{nullptr, nullptr, nullptr};  // reads the current (headless) platform
    RecordingListener listener;
};

TEST(ViewGeometry, ContainsPointAndTouchesAreaIncludeAllFourEdges) {
    View view({10, 20, 30, 40});
    EXPECT_TRUE(view.containsPoint({30, 40}));
    EXPECT_TRUE(view.containsPoint({10, 20}));
    EXPECT_FALSE(view.containsPoint({31, 40}));
    EXPECT_FALSE(view.containsPoint({30, 41}));
    EXPECT_FALSE(view.containsPoint({9, 25}));

    EXPECT_TRUE(view.touchesArea({30, 40, 50, 60}));  // shares only the corner
    EXPECT_TRUE(view.touchesArea({0, 0, 10, 20}));
    EXPECT_FALSE(view.touchesArea({31, 20, 50, 40}));
    EXPECT_FALSE(view.touchesArea({0, 41, 100, 50}));

    view.setHitArea({0, 0, 1, 1});  // stored only: hit testing keeps using the size
    EXPECT_TRUE(view.containsPoint({25, 25}));
    Rect hit;
    view.getHitArea(hit);
    EXPECT_EQ(hit, (Rect{0, 0, 1, 1}));
}

TEST(ViewGeometry, SetBoundsMovesAndMarksDirty) {
    View view({0, 0, 5, 5});
    view.setBounds({1, 2, 3, 4});
    EXPECT_EQ(view.bounds(), (Rect{1, 2, 3, 4}));
    EXPECT_TRUE(view.needsRedraw());
}

TEST(ViewReferences, LastReleaseDestroysAndOverReleaseIsIgnored) {
    bool destroyed = false;
    auto* control = new TestControl({0, 0, 1, 1}, nullptr, 1, &destroyed);
    control->retain();
    EXPECT_EQ(control->referenceCount(), 2);
    control->release();
    EXPECT_FALSE(destroyed);
    control->release();
    EXPECT_TRUE(destroyed);

    bool zeroDestroyed = false;
    auto* stale = new TestControl({0, 0, 1, 1}, nullptr, 1, &zeroDestroyed);
    stale->setReferences(0);
    stale->release();
    EXPECT_FALSE(zeroDestroyed);
    EXPECT_EQ(stale->referenceCount(), 0);
    stale->setReferences(-3);
    stale->release();
    EXPECT_FALSE(zeroDestroyed);
    EXPECT_EQ(stale->referenceCount(), -3);
    delete stale;
}

TEST_F(ControlBase, MarkDirtyPicksALastDrawnValueThatDiffers) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    control.setValue(-1.0f);
    control.markDirty(true);
    EXPECT_EQ(control.getLastDrawnValue(), 0.0f);
    EXPECT_TRUE(control.needsRedraw());

    control.setValue(0.25f);
    control.markDirty(true);
    EXPECT_EQ(control.getLastDrawnValue(), -1.0f);
    control.markDirty(false);
    EXPECT_EQ(control.getLastDrawnValue(), 0.25f);
    EXPECT_FALSE(control.needsRedraw());
}

TEST_F(ControlBase, NaNOnEitherSideCountsAsDrawn) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    control.setValue(nan);
    EXPECT_FALSE(control.needsRedraw());  // last drawn is 1.0, value NaN
    control.setValue(0.5f);
    control.setLastDrawnValue(nan);
    EXPECT_FALSE(control.needsRedraw());
    control.View::markDirty(true);  // the flag alone still forces it
    EXPECT_TRUE(control.needsRedraw());
}

TEST_F(ControlBase, ClampValueHoldsBoundsAndLeavesNaN) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    control.setMin(0.2f);
    control.setMax(0.8f);
    for (const float exact : {0.2f, 0.8f, 0.5f}) {
        control.setValue(exact);
        control.clampValue();
        EXPECT_EQ(control.getValue(), exact);
    }
    control.setValue(0.9f);
    control.clampValue();
    EXPECT_EQ(control.getValue(), 0.8f);
    control.setValue(-5.0f);
    control.clampValue();
    EXPECT_EQ(control.getValue(), 0.2f);
    control.setValue(std::numeric_limits<float>::quiet_NaN());
    control.clampValue();
    EXPECT_TRUE(std::isnan(control.getValue()));
}

TEST_F(ControlBase, ResetClickNotifiesOnlyWhenTheDefaultChangesTheDrawing) {
    TestControl control({0, 0, 10, 10}, &listener, 4);
    control.setDefaultValue(0.5f);
    control.setValue(0.5f);
    control.markDirty(false);  // drawn with the default value
    headless.setButtons(platform::kLeftButton);
    headless.setModifiers(false, true, false);
    control.onMouseDown(canvas, {1, 1});
    EXPECT_TRUE(listener.changes.empty());

    control.View::markDirty(true);
    control.onMouseDown(canvas, {1, 1});
    ASSERT_EQ(listener.changes.size(), 1u);

    control.setValue(0.9f);
    control.markDirty(false);
    control.onMouseDown(canvas, {1, 1});
    ASSERT_EQ(listener.changes.size(), 2u);
    EXPECT_EQ(listener.changes.back().value, 0.5f);
    EXPECT_EQ(listener.changes.back().tag, 4);
}

TEST_F(ControlBase, PressWithoutPrimaryOrWithMouseDisabledDoesNothing) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    headless.setButtons(platform::kRightButton);
    control.onMouseDown(canvas, {1, 1});
    headless.setButtons(platform::kLeftButton);
    control.enableMouse(false);
    control.onMouseDown(canvas, {1, 1});
    EXPECT_TRUE(listener.changes.empty());
    EXPECT_EQ(headless.pointerReads(), 2);  // one button read per press, no drag passes
}

TEST_F(ControlBase, SwappedButtonsMakeTheRightButtonPrimary) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    headless.setButtonsSwapped(true);
    headless.setButtons(platform::kRightButton);
    headless.setModifiers(false, true, false);
    control.setValue(0.0f);
    control.markDirty(false);
    control.onMouseDown(canvas, {1, 1});
    EXPECT_EQ(listener.changes.size(), 1u);  // the reset click went through
}

TEST_F(ControlBase, WheelStepsAndShiftMovesATenth) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    control.setValue(0.5f);
    control.markDirty(false);
    EXPECT_TRUE(control.onWheelTurn(&canvas, {}, 1.0f));
    EXPECT_FLOAT_EQ(control.getValue(), 0.6f);
    headless.setModifiers(true, false, false);
    EXPECT_TRUE(control.onWheelTurn(&canvas, {}, -1.0f));
    EXPECT_FLOAT_EQ(control.getValue(), 0.59f);
    EXPECT_EQ(listener.changes.size(), 2u);

    control.setValue(0.95f);
    headless.setModifiers(false, false, false);
    control.onWheelTurn(nullptr, {}, 3.0f);  // no canvas: the live state is read all the same
    EXPECT_EQ(control.getValue(), 1.0f);

    control.enableMouse(false);
    EXPECT_FALSE(control.onWheelTurn(&canvas, {}, 1.0f));
    EXPECT_EQ(control.getValue(), 1.0f);
}

TEST_F(ControlBase, ArrowKeysStepWithDirectionAndShift) {
    TestControl control({0, 0, 10, 10}, &listener, 1);
    control.setValue(0.5f);
    EXPECT_EQ(control.onKeyPress({0, kVirtualUp, 0}), 1);
    EXPECT_FLOAT_EQ(control.getValue(), 0.6f);
    EXPECT_EQ(control.onKeyPress({0, kVirtualLeft, 0}), 1);
    EXPECT_EQ(control.onKeyPress({0, kVirtualDown, kShiftModifier}), 1);
    EXPECT_FLOAT_EQ(control.getValue(), 0.49f);
    EXPECT_EQ(control.onKeyPress({0, kVirtualRight, kShiftModifier}), 1);
    EXPECT_FLOAT_EQ(control.getValue(), 0.5f);
    ASSERT_FALSE(listener.changes.empty());
    EXPECT_EQ(listener.changes.front().canvas, nullptr);
    const auto before = listener.changes.size();
    EXPECT_EQ(control.onKeyPress({'a', 0, 0}), -1);
    EXPECT_EQ(control.onKeyPress({0, 15, 0}), -1);
    EXPECT_EQ(listener.changes.size(), before);
}

TEST_F(ControlBase, BackgroundIsRetainedAndReleased) {
    auto* first = new SkinBitmap(1, platform::Surface(2, 2));
    auto* second = new SkinBitmap(2, platform::Surface(2, 2));
    {
        TestControl control({0, 0, 1, 1}, nullptr, 1);
        control.setBackground(first);
        EXPECT_EQ(first->referenceCount(), 2);
        control.setBackground(first);  // the same bitmap again keeps one reference
        EXPECT_EQ(first->referenceCount(), 2);
        control.setBackground(second);
        EXPECT_EQ(first->referenceCount(), 1);
        EXPECT_EQ(second->referenceCount(), 2);
    }
    EXPECT_EQ(second->referenceCount(), 1);
    first->release();
    second->release();
}

TEST(KnobModeSetting, IsModuleWide) {
    setKnobMode(2);
    EXPECT_EQ(knobMode(), 2);
    setKnobMode(0);
    EXPECT_EQ(knobMode(), 0);
}

// A whole drag through a frame: edit start, one notification per changed pass, a refresh per
// pass, edit end after the pass that reads the button up.
TEST_F(ControlBase, DragLoopReportsEveryChangeAndEndsOnRelease) {
    RecordingEditor editor;
    auto* frame = new FrameView({0, 0, 200, 200}, &headless, 0, &editor);
    auto* control = new TestControl({0, 0, 100, 100}, &listener, 7);
    frame->addChild(control);
    control->setValue(0.1f);
    control->markDirty(false);

    int reads = 0;
    const int path[] = {10, 20, 20, 50};  // pointer v per pass; the button goes up after them
    headless.setButtons(platform::kLeftButton);
    headless.onReadPointer([&](platform::HeadlessPlatform& p) {
        const int read = reads++;
        if (read == 0) return;             // the press's own button read
        const int index = (read - 1) / 2;  // each pass reads buttons, then position
        if (index >= 4) {
            p.setButtons(0);
            return;
        }
        p.setPointer(5, path[index]);
    });
    Canvas windowless(frame, nullptr, nullptr);
    frame->onMouseDown(windowless, {5, 5});

    // The first pass equals the drawn 0.1 and stays silent; nothing is drawn meanwhile, so every
    // later pass still differs from it.
    ASSERT_EQ(listener.changes.size(), 3u);
    EXPECT_FLOAT_EQ(listener.changes[0].value, 0.2f);
    EXPECT_FLOAT_EQ(listener.changes[2].value, 0.5f);
    EXPECT_NE(listener.changes[0].canvas, nullptr);
    EXPECT_EQ(editor.refreshes, 4);
    ASSERT_EQ(editor.edits.size(), 2u);  // no edit table: the tag itself is the index
    EXPECT_EQ(editor.edits[0], std::make_pair('b', 7));
    EXPECT_EQ(editor.edits[1], std::make_pair('e', 7));
    headless.onReadPointer({});
    frame->release();
}

}  // namespace
}  // namespace flanger::gui
