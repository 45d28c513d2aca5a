// Drawn popup: arrows skip lines that cannot be picked, submenus open and close, Return picks,
// Escape and outside presses give no choice, press-drag-release and click both pick, pixels.
#include <gtest/gtest.h>

#include "gui/menu/PopupSession.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::menu {
namespace {

using Key = PopupEvent::Key;
using Kind = PopupEvent::Kind;

PopupEvent key(Key k) {
    return {Kind::Key, k, {}};
}
PopupEvent pointer(Kind kind, Point at) {
    return {kind, Key::None, at};
}
Point centre(const Rect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class PopupSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        sub = new ChoiceMenu({0, 0, 80, 20}, nullptr, 1, nullptr, nullptr, 0);
        sub->addItem("s0");
        sub->addItem("s1");
        root = new ChoiceMenu({0, 0, 80, 20}, nullptr, 1, nullptr, nullptr, 0);
        root->addItem("-Ttitle");
        root->addItem("a");
        root->addItem("-");
        root->addItem("-Ggrey");
        root->addSubmenuItem(sub, "more");
        root->addItem("b");
        tree = root->buildTree();
    }
    void TearDown() override {
        root->release();
        sub->release();
    }
    ChoiceMenu* root = nullptr;
    ChoiceMenu* sub = nullptr;
    PopupTree tree;
};

TEST_F(PopupSessionTest, ArrowsSkipSeparatorGreyedAndTitleLines) {
    PopupSession session(tree, {100, 100});
    session.feed(key(Key::Down));
    EXPECT_EQ(session.highlighted(0), 1);
    session.feed(key(Key::Down));
    EXPECT_EQ(session.highlighted(0), 4);
    session.feed(key(Key::Down));
    session.feed(key(Key::Down));  // wraps past the title
    EXPECT_EQ(session.highlighted(0), 1);
    session.feed(key(Key::Up));
    EXPECT_EQ(session.highlighted(0), 5);
    session.feed(key(Key::Return));
    ASSERT_TRUE(session.finished());
    EXPECT_EQ(session.choice(), 5);
}

TEST_F(PopupSessionTest, SubmenuOpensWithRightAndClosesWithLeft) {
    PopupSession session(tree, {100, 100});
    session.feed(key(Key::Down));
    session.feed(key(Key::Down));
    session.feed(key(Key::Right));
    ASSERT_EQ(session.openCount(), 2u);
    EXPECT_EQ(session.menuRect(1).left, session.menuRect(0).right);
    session.feed(key(Key::Left));
    EXPECT_EQ(session.openCount(), 1u);
    session.feed(key(Key::Return));  // Return on a submenu line opens it
    ASSERT_EQ(session.openCount(), 2u);
    session.feed(key(Key::Down));
    session.feed(key(Key::Return));
    EXPECT_EQ(session.choice(), 7);  // sub's ids follow root's six
}

TEST_F(PopupSessionTest, EscapeAndOutsidePressGiveNoChoice) {
    PopupSession escaped(tree, {100, 100});
    escaped.feed(key(Key::Down));
    EXPECT_TRUE(escaped.feed(key(Key::Escape)));
    EXPECT_EQ(escaped.choice(), -1);
    PopupSession outside(tree, {100, 100});
    EXPECT_TRUE(outside.feed(pointer(Kind::Press, {10, 10})));
    EXPECT_EQ(outside.choice(), -1);
}

TEST_F(PopupSessionTest, ReleaseOnlyPicksPickableLines) {
    PopupSession session(tree, {100, 100});
    const auto& lines = session.lineRects(0);
    EXPECT_FALSE(session.feed(pointer(Kind::Release, centre(lines[3]))));  // greyed
    EXPECT_FALSE(session.feed(pointer(Kind::Release, {0, 0})));            // the control itself
    EXPECT_FALSE(session.feed(pointer(Kind::Press, centre(lines[4]))));    // opens the submenu
    ASSERT_EQ(session.openCount(), 2u);
    EXPECT_TRUE(session.feed(pointer(Kind::Release, centre(session.lineRects(1)[0]))));
    EXPECT_EQ(session.choice(), 6);
}

TEST_F(PopupSessionTest, HighlightIsDrawnAndEmptyMenuOpensNothing) {
    PopupSession session(tree, {0, 0});
    session.feed(key(Key::Down));
    platform::Surface pixels(200, 200);
    session.draw(pixels, {0, 0});
    const Rect lit = session.lineRects(0)[1];
    EXPECT_EQ(pixels.pixel(lit.left + 2, lit.top + 1), 0x3060C0u);
    const Rect plain = session.lineRects(0)[5];
    EXPECT_EQ(pixels.pixel(plain.left + 2, plain.top + 1), 0xE0E0E0u);
    const PopupTree empty;
    EXPECT_TRUE(PopupSession(empty, {0, 0}).finished());
}

TEST(PopupPlacement, KeptOnScreenAndScrollsWhenTallerThanIt) {
    ChoiceMenu* menu = new ChoiceMenu({0, 0, 10, 10}, nullptr, 1, nullptr, nullptr, 0);
    for (int i = 0; i < 200; ++i) menu->addItem("e");
    const PopupTree tree = menu->buildTree();
    const Rect screen{0, 0, 640, 480};
    PopupSession session(tree, {600, 300}, screen);
    const Rect box = session.menuRect(0);
    EXPECT_EQ(box.right, 640);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.bottom, 480);
    for (int i = 0; i < 40; ++i) session.feed(key(Key::Down));
    const Rect lit = session.lineRects(0)[39];
    EXPECT_LE(lit.bottom, 480);
    EXPECT_GE(lit.top, 0);
    session.feed(key(Key::Return));
    EXPECT_EQ(session.choice(), 39);
    menu->release();
}

class HeadlessPopupPick : public testing::ControlFixture {};

TEST_F(HeadlessPopupPick, PressDragReleasePicksAndIdlesTheHost) {
    ChoiceMenu* menu = new ChoiceMenu({10, 10, 90, 30}, &listener, 3, nullptr, nullptr, 0);
    menu->addItem("x");
    menu->addItem("y");
    QueuedPopupPresenter popup;
    int idles = 0;
    popup.idle = [&] { ++idles; };
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    // The popup opens below the control, so its second line sits one line below that.
    window->setScreenOrigin(300, 200);
    const Point second{300 + 20, 200 + 30 + kLineHeight + 4};
    popup.events = {pointer(Kind::Motion, second), pointer(Kind::Release, second)};
    press({20, 20});
    EXPECT_EQ(menu->currentItem(nullptr, true), 1);
    ASSERT_EQ(listener.values.size(), 1u);
    EXPECT_EQ(idles, 2);
    EXPECT_FALSE(menu->needsRedraw());
    EXPECT_EQ(popup.lastFrame.width(), kColumnWidth);
}

}  // namespace
}  // namespace flanger::gui::menu
