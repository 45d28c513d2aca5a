// The editor bases through the effect's dispatcher, on the headless backend with its scripted
// clock: rectangle, open/close/idle, keys and knob mode, edit reports, the in-drag refresh
// timing and the in-host-idle guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "gui/KnobMode.h"
#include "gui/editor/BitmapEditor.h"
#include "host/ExtendedEffect.h"
#include "params/ParameterTable.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/views/ViewTestSupport.h"

namespace flanger::gui::editor {
namespace {

using testing::TestControl;

struct HostLog {
    std::vector<int32_t> opcodes;
    std::vector<std::pair<int32_t, int32_t>> edits;  // opcode, index
    std::function<void()> onIdle;
};
HostLog* hostLog = nullptr;

intptr_t recordingHost(vst::EffectRecord*, int32_t opcode, int32_t index, intptr_t, void*, float) {
    if (hostLog == nullptr) return 0;
    hostLog->opcodes.push_back(opcode);
    if (opcode == vst::audioMasterBeginEdit || opcode == vst::audioMasterEndEdit)
        hostLog->edits.push_back({opcode, index});
    if (opcode == vst::audioMasterIdle && hostLog->onIdle) hostLog->onIdle();
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class TestEffect : public ExtendedEffect {
public:
    TestEffect() : ExtendedEffect(recordingHost, 1, 1) {}
    void processAdding(float**, float**, int32_t) override {}
};

// An editor with a fixed rectangle whose open builds an empty frame, as the flanger's does.
class SizedEditor : public BitmapEditor {
public:
    SizedEditor(ExtendedEffect* owner, params::ParameterTable* parameters) : BitmapEditor(owner, parameters) {
        rect = {0, 0, 50, 80};
    }
    int32_t open(void* parent) override {
        FrameEditor::open(parent);
        if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
        built = true;
        return 1;
    }
    void applyRedraw() override { ++redraws; }
    int redraws = 0;
};

class EditorBases : public ::testing::Test {
protected:
    void SetUp() override {
        hostLog = &log;
        platform::setCurrentPlatform(&headless);
        effect = new TestEffect;
        editor = new SizedEditor(effect, &table);
    }
    void TearDown() override {
        delete effect;  // destroys the editor
        platform::setCurrentPlatform(nullptr);
        hostLog = nullptr;
    }
    intptr_t dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                      float opt = 0) {
        return host::dispatchEntry(effect->effectRecord(), opcode, index, value, ptr, opt);
    }
    platform::HeadlessWindow* window() {
        return static_cast<platform::HeadlessWindow*>(editor->frameView()->nativeWindow());
    }
    void openAndPaint() {
        ASSERT_EQ(dispatch(vst::effEditOpen, 0, 0, kParent), 1);
        window()->postExpose({0, 0, 80, 50});
        dispatch(vst::effEditIdle);
    }

    static inline void* const kParent = reinterpret_cast<void*>(0x77);
    HostLog log;
    platform::HeadlessPlatform headless;
    params::ParameterTable table{12};
    TestEffect* effect = nullptr;
    SizedEditor* editor = nullptr;
};

TEST_F(EditorBases, ConstructionAttachesTheEditorAndSetsTheFlag) {
    EXPECT_EQ(effect->editorPointer(), editor);
    EXPECT_NE(effect->recordFields().flags & vst::effFlagsHasEditor, 0);
}

TEST_F(EditorBases, RectangleIsAnsweredBeforeAndAfterOpen) {
    vst::ERect* rect = nullptr;
    EXPECT_EQ(dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right, 80);
    EXPECT_EQ(rect->bottom, 50);
    openAndPaint();
    rect = nullptr;
    EXPECT_EQ(dispatch(vst::effEditGetRect, 0, 0, &rect), 1);
    EXPECT_EQ(rect->right, 80);
}

TEST_F(EditorBases, ClosedEditorRefusesKeysAndWheelButTakesTheKnobMode) {
    vst::VstKeyCode key{0, 12, 0};
    EXPECT_EQ(editor->keyDown(key), 0);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 0, 12, nullptr, 0.0f), 0);
    EXPECT_EQ(dispatch(vst::effEditKeyUp, 0, 12, nullptr, 0.0f), 0);
    EXPECT_FALSE(editor->wheel(1.0f));
    EXPECT_EQ(dispatch(vst::effSetEditKnobMode, 0, 2), 1);
    EXPECT_EQ(gui::knobMode(), 2);
    gui::setKnobMode(0);
    dispatch(vst::effEditClose);  // close without open is harmless
    dispatch(vst::effEditIdle);
}

TEST_F(EditorBases, NullParentOpensNothing) {
    EXPECT_EQ(dispatch(vst::effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(editor->frameView(), nullptr);
    dispatch(vst::effEditIdle);
}

TEST_F(EditorBases, KeysReachTheViewsWhileOpen) {
    openAndPaint();
    auto* control = new TestControl({0, 0, 10, 10}, nullptr, 1);
    editor->frameView()->addChild(control);
    control->setValue(0.5f);
    EXPECT_EQ(dispatch(vst::effEditKeyDown, 0, 12, nullptr, 0.0f), 1);
    EXPECT_FLOAT_EQ(control->getValue(), 0.6f);
    EXPECT_EQ(log.edits, (std::vector<std::pair<int32_t, int32_t>>{{vst::audioMasterBeginEdit, 1},
                                                                   {vst::audioMasterEndEdit, 1}}));
}

TEST_F(EditorBases, IdleAnswersRedrawRequestsAndRepaintsDirtyViews) {
    openAndPaint();
    EXPECT_EQ(editor->redraws, 1);  // open requested one
    auto* control = new TestControl({0, 0, 10, 10}, nullptr, 1);
    editor->frameView()->addChild(control);
    control->setValue(0.3f);
    editor->FrameEditor::parameterChanged(0, 0.3f);  // the frame editor's echo asks for a redraw
    dispatch(vst::effEditIdle);
    EXPECT_EQ(editor->redraws, 2);
    EXPECT_EQ(control->draws, 1);
    dispatch(vst::effEditIdle);
    EXPECT_EQ(control->draws, 1);
}

TEST_F(EditorBases, IdleKeepsTheTablesEditorBookkeeping) {
    table.setEditorCounter(2);
    table.setEditorFlag(false);
    dispatch(vst::effEditIdle);  // closed: still counted
    EXPECT_EQ(table.editorCounter(), 1);
    EXPECT_TRUE(table.editorFlag());
    dispatch(vst::effEditIdle);
    dispatch(vst::effEditIdle);
    EXPECT_EQ(table.editorCounter(), 0);
}

TEST_F(EditorBases, DragRefreshRunsAFullPassAtMostEveryFiftyMilliseconds) {
    openAndPaint();
    log.opcodes.clear();
    auto idles = [&] { return std::count(log.opcodes.begin(), log.opcodes.end(), vst::audioMasterIdle); };

    headless.setTickCount(1000);
    editor->dragRefresh();  // due since construction: full pass
    EXPECT_EQ(idles(), 1);
    EXPECT_EQ(editor->nextDueTick(), 1100u);

    headless.setTickCount(1010);
    const int sleepsBefore = headless.sleeps();
    editor->dragRefresh();
    EXPECT_EQ(headless.sleeps(), sleepsBefore + 1);
    EXPECT_EQ(headless.tickCountMs(), 1014u);  // slept 4 ms
    EXPECT_EQ(idles(), 1);
    EXPECT_EQ(editor->nextDueTick(), 1100u);

    headless.setTickCount(1060);
    editor->dragRefresh();  // 1064 is within 50 ms of the due time
    EXPECT_EQ(idles(), 2);
    EXPECT_EQ(editor->nextDueTick(), 1164u);
}

TEST_F(EditorBases, DragRefreshLetsExactlyOnePendingExposeThrough) {
    openAndPaint();
    auto* control = new TestControl({0, 0, 80, 50}, nullptr, 1);
    editor->frameView()->addChild(control);
    window()->postExpose({0, 0, 10, 10});
    window()->postExpose({20, 20, 30, 30});
    window()->postButtonPress(5, 5, platform::kLeftButton);  // input stays queued
    headless.setTickCount(5000);
    editor->dragRefresh();
    EXPECT_EQ(control->areaDraws, 1);
    EXPECT_EQ(control->presses, 0);
}

TEST_F(EditorBases, HostIdleCallingEditIdleBackDoesNotRecurse) {
    openAndPaint();
    auto* control = new TestControl({0, 0, 10, 10}, nullptr, 1);
    editor->frameView()->addChild(control);
    int nested = 0;
    log.onIdle = [&] {
        ++nested;
        control->setValue(static_cast<float>(nested));  // dirty: a nested idle would draw it
        table.setEditorCounter(5);
        dispatch(vst::effEditIdle);
        EXPECT_TRUE(editor->inHostIdle());
    };
    control->markDirty(false);
    headless.setTickCount(9000);
    const int drawsBefore = control->draws;
    editor->dragRefresh();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(control->draws, drawsBefore);
    EXPECT_FALSE(editor->inHostIdle());
    EXPECT_EQ(table.editorCounter(), 4);  // the bookkeeping ran inside all the same
}

TEST_F(EditorBases, CloseThenIdleIsHarmlessAndASecondOpenWorks) {
    openAndPaint();
    dispatch(vst::effEditClose);
    EXPECT_EQ(editor->frameView(), nullptr);
    EXPECT_TRUE(headless.windows().empty());
    dispatch(vst::effEditIdle);
    EXPECT_FALSE(editor->wheel(1.0f));
    openAndPaint();
    EXPECT_NE(editor->frameView(), nullptr);
    EXPECT_EQ(headless.windows().size(), 1u);
    // Opening again without a close replaces the frame instead of leaking it.
    ASSERT_EQ(dispatch(vst::effEditOpen, 0, 0, kParent), 1);
    EXPECT_EQ(headless.windows().size(), 1u);
}

TEST_F(EditorBases, ClosingTheEffectWithTheEditorOpenIsSafe) {
    openAndPaint();
    auto* control = new TestControl({0, 0, 10, 10}, nullptr, 1);
    editor->frameView()->addChild(control);
    delete effect;
    effect = nullptr;
    EXPECT_TRUE(headless.windows().empty());
    effect = new TestEffect;  // for TearDown
}

TEST_F(EditorBases, DefaultBitmapEditorOpenHasNoSizeAndAnswersZero) {
    BitmapEditor plain(nullptr, &table);
    EXPECT_EQ(plain.open(kParent), 0);
    EXPECT_EQ(plain.frameView(), nullptr);
    EXPECT_FALSE(plain.controlsBuilt());
    plain.close();
}

// A whole drag through a window press: the loop polls the scripted pointer for one simulated
// second; the editor repaints and keeps the host idling at the throttled rate meanwhile.
TEST_F(EditorBases, DragThroughTheWindowKeepsTheHostIdlingAtTheThrottledRate) {
    openAndPaint();
    testing::RecordingListener listener;
    auto* control = new TestControl({0, 0, 80, 50}, &listener, 3);
    editor->frameView()->addChild(control);
    const int edit[] = {7};
    editor->frameView()->setEditList(3, 1, edit);
    control->markDirty(false);
    log.opcodes.clear();
    log.edits.clear();

    headless.setTickCount(20000);
    headless.setButtons(platform::kLeftButton);
    int reads = 0;
    headless.onReadPointer([&](platform::HeadlessPlatform& p) {
        ++reads;
        p.setTickCount(p.tickCountMs() + 1);  // each read takes a millisecond
        p.setPointer(5, (reads / 50) % 50);
        if (p.tickCountMs() >= 21000) p.setButtons(0);
    });
    window()->postButtonPress(5, 5, platform::kLeftButton);
    dispatch(vst::effEditIdle);  // the host's idle delivers the press; the drag runs inside it
    headless.onReadPointer({});

    const auto idles = std::count(log.opcodes.begin(), log.opcodes.end(), vst::audioMasterIdle);
    EXPECT_GE(idles, 15);  // about one per 50 ms of the second, never one per pass
    EXPECT_LE(idles, 21);
    EXPECT_GE(control->draws, 4);  // repainted along the way as the value moves
    EXPECT_FALSE(listener.changes.empty());
    EXPECT_EQ(log.edits, (std::vector<std::pair<int32_t, int32_t>>{{vst::audioMasterBeginEdit, 7},
                                                                   {vst::audioMasterEndEdit, 7}}));
}

TEST_F(EditorBases, WheelGoesToTheFrame) {
    openAndPaint();
    auto* control = new TestControl({0, 0, 80, 50}, nullptr, 1);
    editor->frameView()->addChild(control);
    control->setValue(0.5f);
    headless.setPointer(10, 10);
    EXPECT_TRUE(editor->wheel(-1.0f));
    EXPECT_FLOAT_EQ(control->getValue(), 0.4f);
}

}  // namespace
}  // namespace flanger::gui::editor
