// The window-system popup without a window system: a platform that offers scripted popups (or
// refuses the grab) around the headless backend. Which inputs pick, keys, where it opens, the
// host idling, closing when the editor goes, and the fallback drawn inside the frame.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <vector>

#include "gui/FrameView.h"
#include "gui/menu/WindowPopupPresenter.h"
#include "platform/headless/HeadlessPlatform.h"
#include "tests/controls/ControlTestSupport.h"
#include "tests/menu/PopupTestSupport.h"

namespace flanger::gui::menu {
namespace {

using platform::PopupInput;
using testing::kPassEnds;
using testing::PopupPlatform;

using platform::Key;

// Its refresh runs a per-pass script; a popup left open too long is closed as the editor would.
struct ScriptedEditor : ViewEditor {
    FrameView* frame = nullptr;
    int passes = 0;
    std::function<void(int)> onPass;
    void beginEdit(int) override {}
    void endEdit(int) override {}
    void dragRefresh() override {
        ++passes;
        if (onPass) onPass(passes);
        if (passes > 1000 && frame != nullptr) frame->setFocusView(nullptr);
    }
};

class WindowPopup : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setCurrentPlatform(&headless);
        frame = new FrameView({0, 0, 240, 240}, &popups, 0x5150, &editor);
        ASSERT_TRUE(frame->hasWindow());
        editor.frame = frame;
        window = static_cast<platform::HeadlessWindow*>(frame->nativeWindow());
        window->setScreenOrigin(100, 50);
        window->postExpose({0, 0, 240, 240});
        headless.processEvents();
        sub = new ChoiceMenu({0, 0, 10, 10}, nullptr, 1, nullptr, nullptr, 0);
        sub->addItem("1/4");
        sub->addItem("1/4 T");
        menu = new ChoiceMenu({10, 10, 90, 30}, &listener, 3, nullptr, nullptr, 0);
        menu->addItem("off");
        menu->addItem("-");
        menu->addItem("on");
        menu->addSubmenuItem(sub, "notes");
        menu->setPopupPresenter(&presenter);
        ASSERT_TRUE(frame->addChild(menu));
    }
    void TearDown() override {
        frame->release();
        sub->release();
        platform::setCurrentPlatform(nullptr);
    }
    // Screen point in line `line` of the root popup (opened below the control at screen 110, 80).
    static platform::ScreenPoint rootLine(int line) {
        int top = 80;
        for (int i = 0; i < line; ++i) top += i == 1 ? kSeparatorHeight : kLineHeight;
        return {130, top + 4};
    }
    static PopupInput pointer(int kind, platform::ScreenPoint at,
                              std::uint32_t button = platform::kLeftButton) {
        return {kind, at, button};
    }
    static PopupInput key(Key pressed) { return {PopupInput::kKey, {}, 0, pressed}; }
    void click(std::uint32_t button = platform::kLeftButton) {
        headless.setPointer(120, 65);
        headless.setButtons(button);
        window->postButtonPress(20, 15, button);
        headless.processEvents();
        headless.setButtons(0);
    }

    platform::HeadlessPlatform headless;
    PopupPlatform popups{headless};
    ScriptedEditor editor;
    testing::RecordingListener listener;
    WindowPopupPresenter presenter;
    FrameView* frame = nullptr;
    platform::HeadlessWindow* window = nullptr;
    ChoiceMenu* menu = nullptr;
    ChoiceMenu* sub = nullptr;
};

TEST(PopupInputFilterTest, OpeningReleaseArmsAndOnlyPickingButtonsRelease) {
    PopupInputFilter filter({50, 50}, platform::kLeftButton);
    PopupEvent event;
    EXPECT_FALSE(filter.translate({PopupInput::kRelease, {52, 53}, platform::kLeftButton}, event));
    EXPECT_TRUE(filter.armed());
    EXPECT_TRUE(filter.translate({PopupInput::kRelease, {52, 53}, platform::kLeftButton}, event));
    EXPECT_EQ(event.kind, PopupEvent::Kind::Release);
    EXPECT_FALSE(filter.translate({PopupInput::kRelease, {52, 53}, platform::kRightButton}, event));
    EXPECT_FALSE(filter.translate({PopupInput::kPress, {52, 53}, 0}, event));  // a wheel step

    PopupInputFilter dragged({50, 50}, platform::kLeftButton | platform::kRightButton);
    EXPECT_TRUE(dragged.translate({PopupInput::kMotion, {50, 50 + kArmDistance}, 0}, event));
    EXPECT_FALSE(dragged.armed());
    dragged.translate({PopupInput::kMotion, {50, 51 + kArmDistance}, 0}, event);
    EXPECT_TRUE(dragged.armed());
    EXPECT_TRUE(dragged.translate({PopupInput::kRelease, {0, 0}, platform::kRightButton}, event));

    EXPECT_EQ(popupKeyOf(Key::KeypadEnter), PopupEvent::Key::Return);
    EXPECT_EQ(popupKeyOf(Key::Home), PopupEvent::Key::None);
    EXPECT_FALSE(filter.translate({PopupInput::kKey, {}, 0, Key::LetterA}, event));
}

TEST_F(WindowPopup, OpensBelowTheControlAndClickThenClickPicks) {
    popups.log.inputs = {pointer(PopupInput::kRelease, {120, 65}), pointer(PopupInput::kPress, rootLine(2)),
                         pointer(PopupInput::kRelease, rootLine(2))};
    click();
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::Grabbed);
    EXPECT_EQ(popups.log.opened.left, 110);
    EXPECT_EQ(popups.log.opened.top, 80);
    EXPECT_EQ(popups.log.firstWidth, kColumnWidth);
    EXPECT_TRUE(popups.log.destroyed);
    EXPECT_EQ(menu->currentItem(nullptr, true), 2);
    EXPECT_EQ(listener.values, std::vector<float>{2.0f});
    EXPECT_FALSE(menu->needsRedraw());
}

TEST_F(WindowPopup, PressDragReleasePicksInTheSubmenu) {
    const platform::ScreenPoint notes = rootLine(3);
    popups.log.inputs = {pointer(PopupInput::kMotion, notes),
                         pointer(PopupInput::kMotion, {notes.x + kColumnWidth, notes.y + kLineHeight}),
                         {kPassEnds, {}, 0},
                         pointer(PopupInput::kRelease, {notes.x + kColumnWidth, notes.y + kLineHeight})};
    click();
    EXPECT_EQ(sub->currentItem(nullptr, true), 1);
    EXPECT_EQ(menu->lastChosenMenu(), sub);
    ASSERT_FALSE(popups.log.shows.empty());
    EXPECT_EQ(popups.log.shows.back().first, 1u);  // the submenu was shown as the second level
    EXPECT_EQ(popups.log.shows.back().second.left, 110 + kColumnWidth);
}

TEST_F(WindowPopup, KeysMoveOpenTheSubmenuAndReturnPicks) {
    popups.log.inputs = {key(Key::Down),  key(Key::Down), key(Key::Down),
                         key(Key::Right), key(Key::Down), key(Key::Return)};
    click();
    EXPECT_EQ(sub->currentItem(nullptr, true), 1);
    // Up from nothing wraps to the last line (the submenu), once more skips to "on".
    popups.log.inputs = {key(Key::Up), key(Key::Up), key(Key::Return)};
    click();
    EXPECT_EQ(menu->currentItem(nullptr, true), 2);
    EXPECT_EQ(listener.values.size(), 2u);
}

TEST_F(WindowPopup, EscapeOrASecondaryReleaseGiveNoChoice) {
    popups.log.inputs = {pointer(PopupInput::kMotion, rootLine(2)),
                         pointer(PopupInput::kRelease, rootLine(2), platform::kRightButton),
                         key(Key::Escape)};
    click();
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(menu->currentItem(nullptr, true), 0);
    // Opened with the secondary button, its release picks too.
    popups.log.inputs = {pointer(PopupInput::kMotion, rootLine(2)),
                         pointer(PopupInput::kRelease, rootLine(2), platform::kRightButton)};
    click(platform::kRightButton);
    EXPECT_EQ(menu->currentItem(nullptr, true), 2);
}

TEST_F(WindowPopup, EndsWhenTheEditorClosesOrThePopupGoes) {
    int closedAt = 0;
    editor.onPass = [&](int pass) {
        if (pass == 3) {
            closedAt = pass;
            frame->setFocusView(nullptr);  // what the editor does when the host closes it
        }
    };
    popups.log.inputs = {pointer(PopupInput::kMotion, rootLine(2))};
    click();
    EXPECT_EQ(closedAt, 3);
    EXPECT_EQ(editor.passes, 3);
    EXPECT_TRUE(popups.log.destroyed);
    EXPECT_TRUE(listener.values.empty());

    editor.onPass = [&](int pass) {
        if (pass == 5) popups.log.open = false;
    };
    editor.passes = 0;
    click();
    EXPECT_EQ(editor.passes, 5);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(WindowPopup, RefusedGrabDrawsInsideTheFrameAndPicksByThePolledPointer) {
    popups.refuseGrab = true;
    std::uint32_t paperDuring = 0;
    editor.onPass = [&](int pass) {
        const platform::ScreenPoint on = rootLine(2);
        if (pass == 1) paperDuring = window->screen().pixel(on.x - 100 + 30, on.y - 50);
        if (pass == 2) headless.setPointer(on.x, on.y);
        if (pass == 3) headless.setButtons(0);
    };
    headless.setPointer(120, 65);
    headless.setButtons(platform::kLeftButton);
    window->postButtonPress(20, 15, platform::kLeftButton);
    headless.processEvents();
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::InFrame);
    EXPECT_EQ(paperDuring, 0xE0E0E0u);
    EXPECT_EQ(menu->currentItem(nullptr, true), 2);
    // Put back: the frame has no background, so its pixels under the popup are black again.
    EXPECT_EQ(window->screen().pixel(60, 40), 0u);
}

TEST_F(WindowPopup, RefusedGrabWithAMenuTallerThanTheFrameOpensNothing) {
    popups.refuseGrab = true;
    for (int i = 0; i < 20; ++i) menu->addItem("more");
    click();
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::Nothing);
    EXPECT_EQ(editor.passes, 0);
    EXPECT_TRUE(listener.values.empty());
}

TEST_F(WindowPopup, PlatformsWithoutPopupsOpenNothingAndTheThreadDefaultIsCounted) {
    platform::HeadlessPlatform plain;
    FrameView* other = new FrameView({0, 0, 100, 100}, &plain, 0x77, &editor);
    ChoiceMenu* lone = new ChoiceMenu({0, 0, 50, 20}, &listener, 1, nullptr, nullptr, 0);
    lone->addItem("a");
    ASSERT_TRUE(other->addChild(lone));
    EXPECT_EQ(presenter.runFor({other, nullptr}, lone->buildTree(), {0, 0}, false), -1);
    EXPECT_EQ(presenter.lastShown(), WindowPopupPresenter::Shown::Nothing);
    other->release();

    acquireWindowPopups();
    acquireWindowPopups();
    EXPECT_EQ(defaultPopupPresenter(), &windowPopupPresenter());
    releaseWindowPopups();
    EXPECT_EQ(defaultPopupPresenter(), &windowPopupPresenter());
    releaseWindowPopups();
    releaseWindowPopups();  // one too many changes nothing
    EXPECT_EQ(defaultPopupPresenter(), nullptr);
}

}  // namespace
}  // namespace flanger::gui::menu
