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
#include "tools/screenshot/PngFile.h"

namespace flanger::gui::menu {
namespace {

// Text is anti-aliased by the installed face: a little slack, only there.
void expectMatchesGolden(const platform::Surface& actual, const std::string& name) {
    const std::filesystem::path golden = std::filesystem::path(FLANGER_GOLDEN_DIR) / (name + ".png");
    const char* regenerate = std::getenv("FLANGER_REGENERATE_GOLDENS");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        ASSERT_TRUE(tools::writePng(golden.string(), actual));
        GTEST_SKIP() << "regenerated " << golden;
    }
    const auto expected = tools::readPng(golden.string());
    ASSERT_TRUE(expected.has_value()) << "missing golden " << golden;
    ASSERT_EQ(expected->width(), actual.width());
    ASSERT_EQ(expected->height(), actual.height());
    platform::Surface diff(actual.width(), actual.height());
    int over = 0;
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const std::uint32_t a = actual.pixel(x, y), e = expected->pixel(x, y);
            const int d = std::max({std::abs(platform::redOf(a) - platform::redOf(e)),
                                    std::abs(platform::greenOf(a) - platform::greenOf(e)),
                                    std::abs(platform::blueOf(a) - platform::blueOf(e))});
            over += d > 16 ? 1 : 0;
            diff.setPixel(x, y, d > 16 ? 0xFF00FFu : (a >> 2) & 0x3F3F3Fu);
        }
    }
    if (over > 30) {
        const std::filesystem::path dir = FLANGER_ACTUAL_DIR;
        std::filesystem::create_directories(dir);
        tools::writePng((dir / (name + "-actual.png")).string(), actual);
        tools::writePng((dir / (name + "-diff.png")).string(), diff);
        ADD_FAILURE() << name << ": " << over << " pixels differ; see " << dir.string();
    }
}

class MenuGolden : public controls::testing::ControlFixture {};

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
