// The editor's popup glue through the effect's dispatcher: an editor on a platform with popups
// makes the window-system popup its thread's default while open, and a host that closes the
// editor from the idle the popup loop asks for ends the popup first (no choice); the frame
// goes after it, and the editor opens again.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "gui/FrameView.h"
#include "gui/editor/BitmapEditor.h"
#include "gui/menu/WindowPopupPresenter.h"
#include "host/ExtendedEffect.h"
#include "params/ParameterTable.h"
#include "tests/controls/ControlTestSupport.h"
#include "tests/menu/PopupTestSupport.h"

namespace flanger::gui::editor {
namespace {

using platform::PopupInput;

std::function<void()>* onHostIdle = nullptr;

intptr_t idlingHost(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == vst::audioMasterIdle && onHostIdle != nullptr && *onHostIdle) (*onHostIdle)();
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class TestEffect : public ExtendedEffect {
public:
    TestEffect() : ExtendedEffect(idlingHost, 1, 1) {}
    void processAdding(float**, float**, int32_t) override {}
};

class MenuEditor : public BitmapEditor {
public:
    MenuEditor(ExtendedEffect* owner, params::ParameterTable* parameters) : BitmapEditor(owner, parameters) {
        rect = {0, 0, 200, 200};
    }
    int32_t open(void* parent) override {
        FrameEditor::open(parent);
        if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
        menu = new gui::menu::ChoiceMenu({10, 10, 90, 30}, &listener, 1, nullptr, nullptr, 0);
        menu->addItem("a");
        menu->addItem("b");
        frame->addChild(menu);
        return 1;
    }
    gui::menu::ChoiceMenu* menu = nullptr;
    testing::RecordingListener listener;
};

class EditorPopup : public ::testing::Test {
protected:
    void SetUp() override {
        onHostIdle = &hostIdle;
        platform::setCurrentPlatform(&popups);
        effect = new TestEffect;
        editor = new MenuEditor(effect, &table);
    }
    void TearDown() override {
        delete effect;
        platform::setCurrentPlatform(nullptr);
        onHostIdle = nullptr;
    }
    intptr_t dispatch(int32_t opcode, intptr_t value = 0, void* ptr = nullptr) {
        return host::dispatchEntry(effect->effectRecord(), opcode, 0, value, ptr, 0);
    }
    platform::HeadlessWindow* window() {
        return static_cast<platform::HeadlessWindow*>(editor->frameView()->nativeWindow());
    }
    void openAndPaint() {
        ASSERT_EQ(dispatch(vst::effEditOpen, 0, kParent), 1);
        window()->postExpose({0, 0, 200, 200});
        dispatch(vst::effEditIdle);
    }
    // A press on the menu, delivered at the next idle as the window system would.
    void pressMenu() {
        headless.setPointer(20, 20);
        headless.setButtons(platform::kLeftButton);
        window()->postButtonPress(20, 20, platform::kLeftButton);
    }

    static inline void* const kParent = reinterpret_cast<void*>(0x77);
    std::function<void()> hostIdle;
    platform::HeadlessPlatform headless;
    testing::PopupPlatform popups{headless};
    params::ParameterTable table{12};
    TestEffect* effect = nullptr;
    MenuEditor* editor = nullptr;
};

TEST_F(EditorPopup, OpenEditorMakesTheWindowPopupTheThreadsDefault) {
    EXPECT_EQ(gui::menu::defaultPopupPresenter(), nullptr);
    openAndPaint();
    EXPECT_EQ(gui::menu::defaultPopupPresenter(), &gui::menu::windowPopupPresenter());
    // A pick through it, with the host idling meanwhile.
    int idles = 0;
    hostIdle = [&] {
        if (++idles == 2) {
            popups.log.inputs = {{PopupInput::kMotion, {20, 50}, 0},
                                 {PopupInput::kRelease, {20, 50}, platform::kLeftButton}};
        }
    };
    pressMenu();
    dispatch(vst::effEditIdle);
    EXPECT_EQ(editor->menu->currentItem(nullptr, true), 1);
    EXPECT_GE(idles, 2);
    dispatch(vst::effEditClose);
    EXPECT_EQ(gui::menu::defaultPopupPresenter(), nullptr);
}

TEST_F(EditorPopup, HostClosingFromThePopupsIdleEndsThePopupThenTheFrame) {
    openAndPaint();
    bool frameDuringClose = false;
    hostIdle = [&] {
        popups.log.inputs = {{PopupInput::kMotion, {20, 50}, 0}};  // a line is highlighted
        dispatch(vst::effEditClose);
        frameDuringClose = editor->frameView() != nullptr;
    };
    pressMenu();
    dispatch(vst::effEditIdle);
    EXPECT_TRUE(frameDuringClose);  // the loop was still running: the frame stayed
    EXPECT_TRUE(popups.log.destroyed);
    EXPECT_TRUE(editor->listener.values.empty());
    EXPECT_EQ(editor->frameView(), nullptr);
    EXPECT_EQ(gui::menu::defaultPopupPresenter(), nullptr);

    hostIdle = nullptr;
    headless.setButtons(0);
    openAndPaint();
    ASSERT_NE(editor->frameView(), nullptr);
    EXPECT_EQ(gui::menu::defaultPopupPresenter(), &gui::menu::windowPopupPresenter());
}

TEST_F(EditorPopup, HostClosingFromADragsIdleKeepsTheFrameUntilTheDragEnds) {
    openAndPaint();
    struct Dragger : gui::View {
        Dragger() : View({100, 100, 150, 150}) {}
        gui::FrameView* seenFrame = nullptr;
        void onMouseDown(gui::Canvas& canvas, gui::Point) override {
            // A drag loop of three passes; the host closes during the first.
            for (int pass = 0; pass < 3; ++pass) ownerEditor()->dragRefresh();
            seenFrame = ownerFrame();
            canvas.setBrushColor({1, 2, 3, 0});
            canvas.fillInterior(size);  // the frame's window is still there to draw into
        }
    };
    auto* dragger = new Dragger;
    editor->frameView()->addChild(dragger);
    dragger->retain();
    hostIdle = [&] { dispatch(vst::effEditClose); };
    headless.setPointer(120, 120);
    window()->postButtonPress(120, 120, platform::kLeftButton);
    dispatch(vst::effEditIdle);
    EXPECT_NE(dragger->seenFrame, nullptr);
    EXPECT_EQ(editor->frameView(), nullptr);
    dragger->release();
}

}  // namespace
}  // namespace flanger::gui::editor
