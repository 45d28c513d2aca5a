// The frame view on the headless backend: child bookkeeping, mouse/key/wheel/drop routing, the
// modal view, the edit table, the first-paint rule of the idle repaint and the window.
#include <gtest/gtest.h>

#include <cstring>

#include "gui/SkinBitmap.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/views/ViewTestSupport.h"

namespace flanger::gui {
namespace {

using testing::RecordingEditor;
using testing::RecordingListener;
using testing::TestControl;

constexpr platform::NativeParent kParent = 0x1234;

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setCurrentPlatform(&headless);
        frame = new FrameView({0, 0, 100, 80}, &headless, kParent, &editor);
        ASSERT_TRUE(frame->hasWindow());
        window = static_cast<platform::HeadlessWindow*>(frame->nativeWindow());
        TestControl::keys.clear();
    }
    void TearDown() override {
        if (frame != nullptr) frame->release();
        platform::setCurrentPlatform(nullptr);
    }
    TestControl* add(const Rect& size, int tag) {
        auto* control = new TestControl(size, &listener, tag);
        EXPECT_TRUE(frame->addChild(control));
        return control;
    }
    void firstPaint() {
        window->postExpose({0, 0, 100, 80});
        headless.processEvents();
    }

    platform::HeadlessPlatform headless;
    RecordingEditor editor;
    RecordingListener listener;
    FrameView* frame = nullptr;
    platform::HeadlessWindow* window = nullptr;
};

TEST_F(Frame, ChildWindowIsTitledAndClassedAtTheFramesSize) {
    EXPECT_EQ(window->parent(), kParent);
    EXPECT_EQ(window->backing().width(), 100);
    EXPECT_EQ(window->backing().height(), 80);
    EXPECT_EQ(window->title(), "Window");
    EXPECT_EQ(window->className().rfind("Plugin", 0), 0u);
    EXPECT_GE(window->className().size(), 14u);  // "Plugin" and at least eight hex digits
    EXPECT_TRUE(window->acceptsDrops());

    const int users = windowClassUsers();
    auto* second = new FrameView({0, 0, 10, 10}, &headless, kParent, nullptr);
    EXPECT_EQ(windowClassUsers(), users + 1);
    EXPECT_EQ(static_cast<platform::HeadlessWindow*>(second->nativeWindow())->className(),
              window->className());
    second->release();
    EXPECT_EQ(windowClassUsers(), users);

    auto* windowless = new FrameView({0, 0, 10, 10}, &headless, 0, nullptr);
    EXPECT_FALSE(windowless->hasWindow());
    EXPECT_EQ(windowClassUsers(), users);
    windowless->release();
}

TEST_F(Frame, LaterOfTwoOverlappingChildrenGetsTheClick) {
    TestControl* below = add({0, 0, 50, 50}, 1);
    TestControl* above = add({25, 25, 75, 75}, 2);
    window->postButtonPress(30, 30, platform::kLeftButton);
    headless.processEvents();
    EXPECT_EQ(above->presses, 1);
    EXPECT_EQ(below->presses, 0);
    EXPECT_EQ(above->lastPress, (Point{30, 30}));

    above->enableMouse(false);
    window->postButtonPress(30, 30, platform::kLeftButton);
    headless.processEvents();
    EXPECT_EQ(below->presses, 1);

    window->postButtonPress(90, 10, platform::kLeftButton);  // nobody there
    headless.processEvents();
    EXPECT_EQ(below->presses + above->presses, 2);
}

TEST_F(Frame, ClickEndsTheFocusFirst) {
    TestControl* control = add({0, 0, 10, 10}, 1);
    frame->setFocusView(control);
    Canvas canvas(frame, nullptr, nullptr);
    frame->onMouseDown(canvas, {90, 70});
    EXPECT_EQ(control->focusLosses, 1);
    EXPECT_EQ(frame->focusView(), nullptr);

    frame->setFocusView(control);
    frame->setFocusView(control);  // the same view again also hears it lost the focus
    EXPECT_EQ(control->focusLosses, 2);
}

TEST_F(Frame, ModalViewTakesAllClicksAndAloneRepaints) {
    TestControl* child = add({0, 0, 100, 80}, 1);
    auto* modal = new TestControl({10, 10, 20, 20}, &listener, 9);
    ASSERT_TRUE(frame->setModalView(modal));
    Canvas canvas(frame, nullptr, nullptr);
    frame->onMouseDown(canvas, {50, 50});
    EXPECT_EQ(child->presses, 0);
    EXPECT_EQ(modal->presses, 0);
    frame->onMouseDown(canvas, {15, 15});
    EXPECT_EQ(modal->presses, 1);
    EXPECT_EQ(frame->viewUnderCursor(), modal);

    firstPaint();
    const int childDraws = child->draws, modalDraws = modal->draws;
    child->markDirty(true);
    modal->markDirty(true);
    EXPECT_TRUE(frame->idle());
    EXPECT_EQ(child->draws, childDraws);
    EXPECT_EQ(modal->draws, modalDraws + 1);

    auto* other = new TestControl({0, 0, 1, 1}, nullptr, 10);
    EXPECT_FALSE(frame->setModalView(other));
    EXPECT_EQ(frame->modalView(), modal);
    EXPECT_TRUE(frame->setModalView(nullptr));
    EXPECT_TRUE(frame->setModalView(nullptr));
    EXPECT_TRUE(frame->setModalView(other));
    frame->setModalView(nullptr);
    other->release();
    modal->release();
}

// A key nobody points at must reach no control: the host keeps it.
TEST_F(Frame, KeysGoToFocusThenModalThenOnlyTheChildUnderThePointer) {
    TestControl* below = add({0, 0, 50, 80}, 1);
    TestControl* above = add({0, 0, 50, 80}, 2);
    TestControl* right = add({60, 0, 100, 80}, 5);
    auto* modal = new TestControl({0, 0, 1, 1}, nullptr, 3);
    auto* focus = new TestControl({0, 0, 1, 1}, nullptr, 4);
    for (TestControl* c : {below, above, right, modal, focus}) c->keyAnswer = -1;
    headless.setPointer(10, 10);
    frame->setModalView(modal);
    frame->setFocusView(focus);
    EXPECT_EQ(frame->onKeyPress({'x', 0, 0}), -1);
    EXPECT_EQ(TestControl::keys, (std::vector<int>{4, 3}));  // nothing behind the modal view

    frame->setModalView(nullptr);
    TestControl::keys.clear();
    above->keyAnswer = 0;  // 0 is an answer too
    EXPECT_EQ(frame->onKeyPress({'x', 0, 0}), 0);
    EXPECT_EQ(TestControl::keys, (std::vector<int>{4, 2}));

    frame->setFocusView(nullptr);
    TestControl::keys.clear();
    headless.setPointer(90, 10);
    EXPECT_EQ(frame->onKeyPress({'x', 0, 0}), -1);
    EXPECT_EQ(frame->onKeyRelease({'x', 0, 0}), -1);  // the test control handles no releases
    EXPECT_EQ(TestControl::keys, (std::vector<int>{5}));
    TestControl::keys.clear();
    headless.setPointer(55, 10);  // between the children
    EXPECT_EQ(frame->onKeyPress({0, kVirtualDown, 0}), -1);
    EXPECT_TRUE(TestControl::keys.empty());

    modal->release();
    focus->release();
}

TEST_F(Frame, NoIdleRepaintBeforeTheFirstPaint) {
    TestControl* control = add({0, 0, 10, 10}, 1);
    control->markDirty(true);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(frame->idle());
    EXPECT_EQ(control->draws, 0);
    EXPECT_TRUE(frame->firstPaintPending());

    firstPaint();
    EXPECT_FALSE(frame->firstPaintPending());
    EXPECT_EQ(control->areaDraws, 1);
    control->setValue(0.3f);  // differs from what was drawn
    EXPECT_TRUE(frame->idle());
    EXPECT_EQ(control->draws, 2);
    EXPECT_FALSE(frame->idle());  // nothing dirty any more
}

TEST_F(Frame, ExposeDrawsTheBackgroundAndTheTouchedChildren) {
    platform::Surface picture(100, 80, 0x204060);
    auto* background = new SkinBitmap(1001, picture);
    frame->setBackground(background);
    background->release();  // the frame holds its own reference
    TestControl* touched = add({0, 0, 10, 10}, 1);
    TestControl* elsewhere = add({60, 60, 70, 70}, 2);
    window->postExpose({0, 0, 20, 20});
    headless.processEvents();
    EXPECT_EQ(touched->areaDraws, 1);
    EXPECT_EQ(touched->lastArea, (Rect{0, 0, 20, 20}));
    EXPECT_EQ(elsewhere->areaDraws, 0);
    EXPECT_EQ(window->screen().pixel(15, 15), 0x204060u);
    EXPECT_EQ(window->screen().pixel(50, 50), 0u);  // not exposed yet

    frame->paintView(nullptr);  // the editor's redraw: everything at once
    EXPECT_EQ(window->screen().pixel(50, 50), 0x204060u);
    EXPECT_EQ(elsewhere->draws, 1);
}

TEST_F(Frame, DestroyedWindowStopsAllDrawing) {
    TestControl* control = add({0, 0, 10, 10}, 1);
    firstPaint();
    window->postDestroy();
    headless.processEvents();
    EXPECT_FALSE(frame->isOpen());
    EXPECT_EQ(frame->parentWindow(), 0u);
    control->markDirty(true);
    EXPECT_FALSE(frame->idle());
    frame->paintView(nullptr);
    EXPECT_EQ(control->draws, 1);  // only the first paint's
}

TEST_F(Frame, EditTableRowsAndFallbacks) {
    TestControl* control = add({0, 0, 10, 10}, 3);
    frame->notifyEditStart(3);  // no table yet: the tag is the index
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 3}}));

    int many[25];
    for (int i = 0; i < 25; ++i) many[i] = 100 + i;
    ASSERT_TRUE(frame->setEditList(3, 25, many));
    EXPECT_EQ(frame->editTableCapacity(), 23);
    editor.edits.clear();
    frame->notifyEditEnd(3);
    ASSERT_EQ(editor.edits.size(), 20u);
    EXPECT_EQ(editor.edits.front(), std::make_pair('e', 100));
    EXPECT_EQ(editor.edits.back(), std::make_pair('e', 119));

    editor.edits.clear();
    frame->notifyEditStart(5);   // inside the table, never set: an empty row
    frame->notifyEditStart(50);  // beyond the table
    EXPECT_TRUE(editor.edits.empty());

    ASSERT_TRUE(frame->setEditList(40, 1, many));
    EXPECT_EQ(frame->editTableCapacity(), 60);
    frame->notifyEditStart(3);  // earlier rows survive the growth
    EXPECT_EQ(editor.edits.size(), 20u);
    EXPECT_FALSE(frame->setEditList(-1, 1, many));
    EXPECT_FALSE(frame->setEditList(FrameView::kMaxTag + 1, 1, many));

    frame->removeChild(control, true);
    frame->removeAllChildren(true);  // also drops the table
    EXPECT_EQ(frame->editTableCapacity(), -1);
    editor.edits.clear();
    frame->notifyEditStart(3);
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 3}}));
}

TEST_F(Frame, AddWithEditListAndChildAccess) {
    const int index = 8;
    auto* control = new TestControl({0, 0, 10, 10}, nullptr, 13);
    ASSERT_TRUE(frame->addChild(control, 13, 1, &index));
    EXPECT_EQ(control->ownerFrame(), frame);
    EXPECT_EQ(control->ownerEditor(), &editor);
    TestControl* second = add({0, 0, 1, 1}, 2);
    TestControl* third = add({0, 0, 1, 1}, 3);
    EXPECT_EQ(frame->childCount(), 3);
    EXPECT_EQ(frame->childAt(-1), nullptr);
    EXPECT_EQ(frame->childAt(3), nullptr);
    EXPECT_EQ(frame->childAt(2), third);
    EXPECT_FALSE(frame->addChild(nullptr));

    second->retain();
    EXPECT_TRUE(frame->removeChild(second, true));
    EXPECT_EQ(second->referenceCount(), 1);
    EXPECT_EQ(frame->childAt(1), third);            // order kept
    EXPECT_TRUE(frame->removeChild(second, true));  // not a child: nothing happens
    EXPECT_EQ(second->referenceCount(), 1);
    EXPECT_EQ(frame->childCount(), 2);
    second->release();

    for (int i = 0; i < 45; ++i) add({0, 0, 1, 1}, 100 + i);  // grows past several blocks of 20
    EXPECT_EQ(frame->childCount(), 47);
}

TEST_F(Frame, RemovingTheFocusViewClearsTheFocus) {
    TestControl* control = add({0, 0, 10, 10}, 1);
    frame->setFocusView(control);
    frame->removeChild(control, true);
    EXPECT_EQ(frame->focusView(), nullptr);
}

TEST_F(Frame, WheelGoesToTheViewUnderTheLivePointer) {
    TestControl* left = add({0, 0, 40, 80}, 1);
    TestControl* right = add({50, 0, 100, 80}, 2);
    window->setScreenOrigin(200, 100);
    headless.setPointer(260, 110);  // (60, 10) in the window
    right->setValue(0.5f);
    EXPECT_TRUE(frame->onWheelTurn(nullptr, {5, 5}, 1.0f));
    EXPECT_FLOAT_EQ(right->getValue(), 0.6f);
    EXPECT_EQ(right->lastWheel, (Point{60, 10}));
    EXPECT_EQ(left->lastWheel, (Point{-1, -1}));

    window->postWheel(60, 10, -1.0f);  // the window's own wheel events take the same way
    headless.processEvents();
    EXPECT_FLOAT_EQ(right->getValue(), 0.5f);

    frame->setFocusView(left);  // the focused control first, wherever the pointer is
    left->setValue(0.5f);
    EXPECT_TRUE(frame->onWheelTurn(nullptr, {}, 1.0f));
    EXPECT_FLOAT_EQ(left->getValue(), 0.6f);
    EXPECT_FLOAT_EQ(right->getValue(), 0.5f);
    frame->setFocusView(nullptr);

    headless.setPointer(245, 110);  // between the two
    EXPECT_FALSE(frame->onWheelTurn(nullptr, {}, 1.0f));
    Point where;
    frame->getCurrentMouseLocation(where);
    EXPECT_EQ(where, (Point{45, 10}));
}

TEST_F(Frame, DropsReachTheTopmostChildThatTakesThem) {
    TestControl* below = add({0, 0, 100, 80}, 1);
    TestControl* above = add({0, 0, 50, 50}, 2);
    above->acceptDrops = false;
    window->setScreenOrigin(10, 10);
    const char* names[] = {"/tmp/a b.wav", "/tmp/c.fxp"};
    EXPECT_TRUE(window->drop(names, 2, kDropFiles, {20, 20}));
    EXPECT_EQ(above->dropped.size(), 2u);
    EXPECT_EQ(below->dropped, (std::vector<std::string>{"/tmp/a b.wav", "/tmp/c.fxp"}));

    const char* text[] = {"hello"};
    EXPECT_TRUE(window->drop(text, 5, kDropText, {80, 80}));
    EXPECT_EQ(below->dropType, kDropText);
    EXPECT_EQ(below->dropped, (std::vector<std::string>{"hello"}));

    frame->setFocusView(below);
    below->dropped.clear();
    EXPECT_FALSE(window->drop(names, 2, kDropFiles, {20, 20}));
    EXPECT_TRUE(below->dropped.empty());
}

TEST_F(Frame, CursorTypesSelectShapesAndZeroRestores) {
    frame->setCursor(platform::kCursorSizeNorthSouth);
    EXPECT_EQ(window->cursorShape(), platform::kCursorSizeNorthSouth);
    frame->setCursor(7);
    frame->setCursor(-1);
    EXPECT_EQ(window->cursorShape(), platform::kCursorSizeNorthSouth);
    frame->setCursor(0);
    EXPECT_EQ(window->cursorShape(), platform::kCursorDefault);
}

TEST_F(Frame, DirtinessCoversFrameChildrenAndModal) {
    TestControl* control = add({0, 0, 10, 10}, 1);
    control->markDirty(false);
    EXPECT_FALSE(frame->isSomethingDirty());
    control->setValue(0.7f);
    EXPECT_TRUE(frame->isSomethingDirty());
    control->markDirty(false);
    frame->markDirty(true);
    EXPECT_TRUE(frame->isSomethingDirty());
    frame->markDirty(false);
    auto* modal = new TestControl({0, 0, 1, 1}, nullptr, 2);
    modal->markDirty(false);
    frame->setModalView(modal);
    EXPECT_TRUE(frame->isSomethingDirty());
    frame->setModalView(nullptr);
    modal->release();
}

}  // namespace
}  // namespace flanger::gui
