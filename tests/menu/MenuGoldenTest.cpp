// The closed choice menu and its open popup (highlight, check mark, separator, greyed and
// submenu lines) against PNG goldens in tests/golden/menu/. FLANGER_REGENERATE_GOLDENS=1
// rewrites them; a mismatch leaves the actual picture and a diff in the build tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "gui/menu/PopupSession.h"
#include "tests/controls/ControlTestSupport.h"
#include "tests/support/GoldenImage.h"
#include "tools/common/PngFile.h"

namespace flanger::gui::menu {
namespace {

// Text is anti-aliased by the installed face: a little slack, only there.
void expectMatchesGolden(const platform::Surface& actual, const std::string& name) {
    testing::expectMatchesGolden(actual, FLANGER_GOLDEN_DIR, FLANGER_ACTUAL_DIR, name, {16, 30});
}

class MenuGolden : public testing::ControlFixture {};

TEST_F(MenuGolden, ClosedMenuAndOpenPopup) {
    ChoiceMenu* sub = new ChoiceMenu({0, 0, 10, 10}, nullptr, 1, nullptr, nullptr, 0);
    sub->addItem("1/8");
    ChoiceMenu* menu = new ChoiceMenu({10, 10, 110, 30}, &listener, 3, nullptr, nullptr, kCheckCurrent);
    menu->setBoxColor({40, 40, 60, 0});
    menu->setOutlineColor({200, 200, 200, 0});
    menu->addItem("1/4");
    menu->addItem("1/4 T");
    menu->addItem("-");
    menu->addItem("-Gdotted");
    menu->addSubmenuItem(sub, "more");
    menu->selectItem(1, true);
    QueuedPopupPresenter popup;
    popup.events = {{PopupEvent::Kind::Key, PopupEvent::Key::Down, {}},
                    {PopupEvent::Kind::Key, PopupEvent::Key::Escape, {}}};
    menu->setPopupPresenter(&popup);
    ASSERT_TRUE(frame->addChild(menu));
    frame->paintView(nullptr);
    platform::Surface closed(120, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) closed.setPixel(x, y, pixels().pixel(x, y));
    expectMatchesGolden(closed, "closed-menu");
    press({20, 20});
    // The last frame drawn is the one the Escape met: first line highlighted, second checked.
    expectMatchesGolden(popup.lastFrame, "open-popup");
    sub->release();
}

}  // namespace
}  // namespace flanger::gui::menu
