// Choice menu: counted and raw indices, list limits, ids in build order, column breaks, and what
// one pick through a scripted popup does to the menu, its submenu and the listener.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "gui/FrameView.h"
#include "gui/menu/ChoiceMenu.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::menu {
namespace {

using testing::ControlFixture;

ChoiceMenu* makeMenu(ValueListener* listener = nullptr, std::int32_t style = 0) {
    return new ChoiceMenu({10, 10, 90, 30}, listener, 7, nullptr, nullptr, style);
}

struct ScriptedPopup : PopupPresenter {
    std::int32_t answer = -1;
    int runs = 0;
    Point at;
    PopupTree seen;
    std::int32_t run(const PopupTree& tree, Point screenAt, bool) override {
        ++runs;
        at = screenAt;
        seen = tree;
        return answer;
    }
};

TEST(ChoiceMenuList, CountedIndicesSkipSeparatorsAndTitles) {
    ChoiceMenu* menu = makeMenu();
    menu->addItem("a");
    menu->addItem("-");
    menu->addItem("c");
    EXPECT_TRUE(menu->selectItem(1, false));
    EXPECT_EQ(menu->currentItem(nullptr, true), 2);
    EXPECT_EQ(menu->currentItem(nullptr, false), 1);
    EXPECT_FALSE(menu->selectItem(1, true));
    // Only two counted entries: index 2 has none, and the selection stays.
    EXPECT_FALSE(menu->selectItem(2, false));
    EXPECT_EQ(menu->currentItem(nullptr, true), 2);
    menu->addItem("-Ttitle", 0);
    EXPECT_EQ(menu->currentItem(nullptr, true), 3);
    EXPECT_FALSE(menu->selectItem(0, true));
    menu->release();
}

TEST(ChoiceMenuList, InsertRemoveAndLimits) {
    ChoiceMenu* menu = makeMenu();
    EXPECT_EQ(menu->currentItem(nullptr, true), -1);
    menu->addItem(nullptr);
    std::string text = "x";
    ASSERT_TRUE(menu->itemText(0, text));
    EXPECT_EQ(text, "");
    EXPECT_EQ(menu->currentItem(nullptr, true), 0);
    menu->addItem("b");
    menu->selectItem(1, true);
    menu->addItem("front", 0);
    EXPECT_EQ(menu->currentItem(&text, true), 2);
    EXPECT_EQ(text, "b");
    menu->addItem("far", 99);  // beyond the end: appended
    EXPECT_EQ(menu->findItem("far"), 3);
    EXPECT_EQ(menu->findItem("none"), -1);
    EXPECT_TRUE(menu->removeItem(0));
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    EXPECT_FALSE(menu->removeItem(5));
    while (menu->itemCount() > 0) menu->removeItem(0);
    EXPECT_EQ(menu->currentItem(nullptr, true), -1);

    const std::string longText(400, 'q');
    menu->addItem(longText.c_str());
    menu->itemText(0, text);
    EXPECT_EQ(text.size(), kEntryBytes);
    while (menu->itemCount() < kMaxEntries) ASSERT_TRUE(menu->addItem("e"));
    EXPECT_FALSE(menu->addItem("over"));
    ChoiceMenu* sub = makeMenu();
    EXPECT_FALSE(menu->addSubmenuItem(sub, "s"));
    EXPECT_EQ(sub->referenceCount(), 1);
    sub->release();
    menu->release();
}

TEST(ChoiceMenuList, ChecksAndValue) {
    ChoiceMenu* menu = makeMenu(nullptr, kMultipleChecks);
    menu->addItem("a");
    menu->addItem("b");
    EXPECT_TRUE(menu->checkOnlyItem(1));
    EXPECT_FALSE(menu->isItemChecked(0));
    menu->setValue(1.7f);  // truncated; style 1 flips the check
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    EXPECT_FALSE(menu->isItemChecked(1));
    menu->setValue(2.0f);
    menu->setValue(-1.5f);
    menu->setValue(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    EXPECT_FALSE(menu->setItemChecked(2, true));
    menu->release();
}

TEST(ChoiceMenuTree, ColumnsBreakEveryListIndexMultipleBelow160) {
    ChoiceMenu* menu = makeMenu();
    menu->setColumnLength(10);
    for (int i = 0; i < 40; ++i) menu->addItem("e");
    EXPECT_EQ(menu->buildTree().columnCount(0), 4);
    for (int i = 40; i < 160; ++i) menu->addItem("e");
    EXPECT_EQ(menu->buildTree().columnCount(0), 1);
    menu->release();
}

TEST(ChoiceMenuTree, ASkippedEntryDoesNotShiftTheColumnBreaks) {
    ChoiceMenu* menu = makeMenu();
    menu->setColumnLength(2);
    menu->addItem("a");
    menu->addItem("-M orphan");  // no submenu: skipped, but keeps its list index
    menu->addItem("b");
    menu->addItem("c");
    const PopupTree tree = menu->buildTree();
    ASSERT_EQ(tree.menus[0].size(), 3u);
    EXPECT_TRUE(tree.menus[0][1].columnBreak);  // "b", list index 2
    EXPECT_FALSE(tree.menus[0][2].columnBreak);
    EXPECT_EQ(tree.menus[0][2].id, 3);
    menu->release();
}

TEST(ChoiceMenuTree, IdsInDepthFirstBuildOrderAndSkippedSubmenuLeavesItsIdUnused) {
    ChoiceMenu* root = makeMenu();
    ChoiceMenu* inner = makeMenu();
    ChoiceMenu* deeper = makeMenu();
    inner->addItem("i0");
    inner->addSubmenuItem(deeper, "deeper");
    deeper->addItem("d0");
    root->addItem("r0");
    root->addSubmenuItem(inner, "inner");
    root->addItem("-M orphan");  // no submenu left for it: skipped
    root->addItem("-Ggrey");
    const PopupTree tree = root->buildTree();
    ASSERT_EQ(tree.menus.size(), 3u);
    ASSERT_EQ(tree.menus[0].size(), 3u);
    EXPECT_EQ(tree.menus[0][0].id, 0);
    EXPECT_EQ(tree.menus[0][1].kind, PopupItem::Kind::Submenu);
    EXPECT_EQ(tree.menus[0][1].label, "inner");
    EXPECT_EQ(tree.menus[0][2].kind, PopupItem::Kind::Greyed);
    EXPECT_EQ(tree.menus[0][2].id, 3);  // id 2 belonged to the skipped entry
    EXPECT_EQ(tree.menus[1][0].id, 4);  // inner's block follows root's four ids
    EXPECT_EQ(tree.menus[2][0].id, 6);
    ChoiceMenu* owner = nullptr;
    std::int32_t index = -1;
    ASSERT_TRUE(root->resolveId(6, owner, index));
    EXPECT_EQ(owner, deeper);
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(root->resolveId(7, owner, index));
    root->release();
    inner->release();
    deeper->release();
}

TEST(ChoiceMenuTree, SelfContainingMenuIsNotBuiltForever) {
    ChoiceMenu* menu = makeMenu();
    menu->addItem("a");
    menu->addSubmenuItem(menu, "loop");
    EXPECT_EQ(menu->buildTree().menus.size(), 1u);
    menu->clearItems();  // releases the reference it held on itself
    EXPECT_EQ(menu->referenceCount(), 1);
    menu->release();
}

class ChoiceMenuPick : public ControlFixture {};

TEST_F(ChoiceMenuPick, ChoiceInSubmenuSetsThatMenuAndTellsTheListener) {
    ChoiceMenu* sub = makeMenu();
    sub->addItem("1/4");
    sub->addItem("1/4 T");
    ChoiceMenu* menu = makeMenu(&listener, kOpenOverControl);
    menu->addItem("off");
    menu->addSubmenuItem(sub, "notes");
    ScriptedPopup popup;
    popup.answer = 3;
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    press({20, 20});
    EXPECT_EQ(popup.runs, 1);
    EXPECT_EQ(popup.at.v, 10);  // opened at the control's top
    EXPECT_EQ(sub->currentItem(nullptr, true), 1);
    EXPECT_EQ(menu->lastChosenMenu(), sub);
    ASSERT_EQ(listener.values.size(), 1u);
    EXPECT_EQ(listener.values[0], 1.0f);
    EXPECT_EQ(frame->focusView(), nullptr);
    EXPECT_FALSE(menu->needsRedraw());
    ASSERT_EQ(editor.edits.size(), 2u);
    sub->release();
}

TEST_F(ChoiceMenuPick, NoChoiceOrEmptyMenuChangesNothing) {
    ChoiceMenu* menu = makeMenu(&listener);
    ScriptedPopup popup;
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    press({20, 20});
    EXPECT_EQ(popup.runs, 0);
    menu->addItem("a");
    menu->addItem("b");
    press({20, 20});
    EXPECT_EQ(popup.runs, 1);
    EXPECT_EQ(popup.at.v, 30);  // below the control
    EXPECT_TRUE(listener.values.empty());
    EXPECT_EQ(menu->currentItem(nullptr, true), 0);
}

TEST_F(ChoiceMenuPick, AClickAlreadyOverWhenDeliveredOpensButAMiddlePressDoesNot) {
    ChoiceMenu* menu = makeMenu(&listener);
    menu->addItem("a");
    ScriptedPopup popup;
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    window->postButtonPress(20, 20, platform::kLeftButton);  // the button is up again already
    headless.processEvents();
    EXPECT_EQ(popup.runs, 1);
    headless.setButtons(platform::kMiddleButton);
    window->postButtonPress(20, 20, platform::kMiddleButton);
    headless.processEvents();
    headless.setButtons(0);
    EXPECT_EQ(popup.runs, 1);
}

TEST_F(ChoiceMenuPick, UsesTheThreadsDefaultPresenterWithoutItsOwn) {
    ChoiceMenu* menu = makeMenu(&listener);
    menu->addItem("a");
    menu->addItem("b");
    ASSERT_TRUE(frame->addChild(menu));
    ScriptedPopup popup;
    popup.answer = 1;
    setDefaultPopupPresenter(&popup);
    press({20, 20});
    setDefaultPopupPresenter(nullptr);
    EXPECT_EQ(popup.runs, 1);
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    press({20, 20});
    EXPECT_EQ(popup.runs, 1);
}

TEST_F(ChoiceMenuPick, PressedLookIsGoneWhenThePopupCloses) {
    SkinBitmap* pressed = testing::solidBitmap(80, 20, 0xFF0000u);
    ChoiceMenu* menu = new ChoiceMenu({10, 10, 90, 30}, &listener, 7, nullptr, pressed, 0);
    pressed->release();
    menu->setBoxColor({0, 0, 255, 0});
    menu->addItem("a");
    std::uint32_t duringPopup = 0;
    struct Peek : PopupPresenter {
        platform::Surface* pixels = nullptr;
        std::uint32_t* seen = nullptr;
        std::int32_t run(const PopupTree&, Point, bool) override {
            *seen = pixels->pixel(40, 20);
            return -1;
        }
    } popup;
    popup.pixels = &pixels();
    popup.seen = &duringPopup;
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    editor.frame = nullptr;  // a throttled refresh that does not repaint: the menu must draw itself
    press({20, 20});
    EXPECT_EQ(duringPopup, 0xFF0000u);
    EXPECT_NE(pixels().pixel(40, 20), 0xFF0000u);
    EXPECT_FALSE(menu->needsRedraw());
}

TEST_F(ChoiceMenuPick, LosingTheFocusWhileOpenClosesThePopupWithNoChoice) {
    ChoiceMenu* menu = makeMenu(&listener);
    menu->addItem("a");
    menu->addItem("b");
    struct Closing : PopupPresenter {
        bool wantedAtStart = false;
        bool wantedAfter = true;
        FrameView* frame = nullptr;
        std::int32_t run(const PopupTree&, Point, bool) override { return 1; }
        std::int32_t runFor(const PopupContext& context, const PopupTree&, Point, bool) override {
            frame = context.frame;
            wantedAtStart = *context.wanted;
            context.frame->setFocusView(nullptr);  // as the editor does when the host closes it
            wantedAfter = *context.wanted;
            return -1;
        }
    } popup;
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    press({20, 20});
    EXPECT_EQ(popup.frame, frame);
    EXPECT_TRUE(popup.wantedAtStart);
    EXPECT_FALSE(popup.wantedAfter);
    EXPECT_FALSE(menu->popupOpen());
    EXPECT_TRUE(listener.values.empty());
}

class ChoiceMenuLook : public ControlFixture {};

TEST_F(ChoiceMenuLook, IsAValueDisplay) {
    // The display's styles reach the menu: a sunken edge, and style 0x1000 starts clean.
    ChoiceMenu* sunken = new ChoiceMenu({10, 10, 90, 30}, nullptr, 1, nullptr, nullptr, text::kSunkenFrame);
    sunken->setBoxColor({0, 0, 200, 0});
    sunken->setOutlineColor({200, 0, 0, 0});
    sunken->addItem("a");
    ASSERT_TRUE(frame->addChild(sunken));
    frame->paintView(sunken);
    EXPECT_EQ(pixels().pixel(10, 20), 0x0000C8u);
    EXPECT_EQ(pixels().pixel(90, 20), 0xC80000u);
    ChoiceMenu* hidden = new ChoiceMenu({10, 40, 90, 60}, nullptr, 1, nullptr, nullptr, kNoDrawing);
    EXPECT_FALSE(hidden->needsRedraw());
    text::ValueDisplay* display = hidden;
    display->setTextInk({1, 2, 3, 0});
    EXPECT_TRUE(hidden->needsRedraw());
    hidden->release();
}

}  // namespace
}  // namespace flanger::gui::menu
