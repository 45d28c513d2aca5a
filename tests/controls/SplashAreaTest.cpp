// Splash areas through the headless frame: open as modal view over the display rectangle, close
// with the next click, refusal when another view is modal; InfoSplash's texts.
#include <gtest/gtest.h>

#include <string>

#include "gui/controls/SplashArea.h"
#include "tests/controls/ControlTestSupport.h"

namespace flanger::gui::controls {
namespace {

using testing::ControlFixture;

class Splash : public ControlFixture {
protected:
    void SetUp() override {
        ControlFixture::SetUp();
        SkinBitmap* wall = testing::solidBitmap(240, 240, 0x800000);
        frame->setBackground(wall);
        wall->release();
        SkinBitmap* picture = testing::solidBitmap(100, 80, 0xFFFF00);
        splash = new SplashArea({10, 6, 78, 23}, &listener, 0, picture, {0, 0, 100, 80}, {0, 0});
        picture->release();
        ASSERT_TRUE(frame->addChild(splash));
        frame->paintView(nullptr);
    }
    SplashArea* splash = nullptr;
};

TEST_F(Splash, ClickOpensItModalOverTheDisplayAndTheNextClickClosesIt) {
    press({20, 10});
    EXPECT_EQ(splash->getValue(), 1.0f);
    EXPECT_EQ(frame->modalView(), splash);
    EXPECT_EQ(splash->bounds(), (Rect{0, 0, 100, 80}));
    EXPECT_EQ(pixels().pixel(90, 70), 0xFFFF00u);
    EXPECT_EQ(listener.values, std::vector<float>{1.0f});
    EXPECT_TRUE(splash->needsRedraw());

    press({90, 70});  // outside the click rectangle, inside the picture
    EXPECT_EQ(splash->getValue(), 0.0f);
    EXPECT_EQ(frame->modalView(), nullptr);
    EXPECT_EQ(splash->bounds(), (Rect{10, 6, 78, 23}));
    EXPECT_EQ(pixels().pixel(90, 70), 0x800000u);  // the whole frame drawn again
    EXPECT_EQ(listener.values, (std::vector<float>{1.0f, 0.0f}));
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int>>{{'b', 0}, {'e', 0}, {'b', 0}, {'e', 0}}));
}

TEST_F(Splash, RefusedAsModalViewItStaysClosedAndChangesNothingElse) {
    SplashArea other({0, 0, 1, 1}, nullptr, 0, nullptr, {0, 0, 1, 1}, {0, 0});
    ASSERT_TRUE(frame->setModalView(&other));
    splash->markDirty(false);
    headless.setButtons(platform::kLeftButton);
    {
        Canvas canvas(frame, &pixels(), window);
        splash->onMouseDown(canvas, {20, 10});
    }
    headless.setButtons(0);
    EXPECT_EQ(splash->getValue(), 0.0f);
    EXPECT_EQ(splash->bounds(), (Rect{10, 6, 78, 23}));
    EXPECT_EQ(frame->modalView(), &other);
    EXPECT_TRUE(listener.values.empty());
    EXPECT_FALSE(splash->needsRedraw());
    EXPECT_EQ(pixels().pixel(90, 70), 0x800000u);
    EXPECT_EQ(editor.edits.size(), 2u);  // begin and end still pair up
    frame->setModalView(nullptr);
}

TEST_F(Splash, ClosedSplashDrawsNothing) {
    pixels().fill({0, 0, 240, 240}, 0);
    splash->paintNow();
    EXPECT_EQ(pixels().pixel(20, 10), 0u);
}

TEST(InfoTexts, PositiveExtentDecidesWhichSlotsAreFilled) {
    EXPECT_FALSE(hasPositiveExtent({0, 0, 0, 0}));
    EXPECT_TRUE(hasPositiveExtent({144, 174, 215, 194}));
    EXPECT_TRUE(hasPositiveExtent({10, 10, 5, 20}));  // the sum, not each side
    EXPECT_FALSE(hasPositiveExtent({INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}));

    InfoSplash splash({0, 0, 10, 10}, nullptr, 0, nullptr, {0, 0, 10, 10}, {0, 0});
    fillInfoTexts(splash, {0, 0, 0, 0}, {1, 2, 60, 12}, colors::white, 1, "1.1.1", "(c) Brackwater");
    EXPECT_FALSE(splash.secondText().set);  // empty version rectangle
    ASSERT_TRUE(splash.firstText().set);
    EXPECT_STREQ(splash.firstText().text.data(), "(c) Brackwater");
    EXPECT_EQ(splash.firstText().alignment, 1);

    InfoSplash versionOnly({0, 0, 10, 10}, nullptr, 0, nullptr, {0, 0, 10, 10}, {0, 0});
    fillInfoTexts(versionOnly, {144, 174, 215, 194}, {0, 0, 0, 0}, colors::yellow, 0, "1.1.1", nullptr);
    EXPECT_STREQ(versionOnly.secondText().text.data(), "Version: 1.1.1");
    EXPECT_EQ(versionOnly.secondText().color, colors::yellow);
    EXPECT_FALSE(versionOnly.firstText().set);

    InfoSplash missing({0, 0, 10, 10}, nullptr, 0, nullptr, {0, 0, 10, 10}, {0, 0});
    fillInfoTexts(missing, {144, 174, 215, 194}, {1, 2, 60, 12}, colors::white, 0, nullptr, nullptr);
    EXPECT_FALSE(missing.secondText().set);  // no version value: no "Version: " with nothing
    EXPECT_FALSE(missing.firstText().set);
}

TEST(InfoTexts, LongTextsAreCutToTheirBuffer) {
    InfoSplash splash({0, 0, 10, 10}, nullptr, 0, nullptr, {0, 0, 10, 10}, {0, 0});
    const std::string longText(500, 'x');
    fillInfoTexts(splash, {1, 1, 50, 20}, {1, 1, 50, 20}, colors::white, 0, longText.c_str(),
                  longText.c_str());
    EXPECT_EQ(std::string(splash.secondText().text.data()), "Version: " + std::string(127 - 9, 'x'));
    EXPECT_EQ(std::string(splash.firstText().text.data()).size(), 127u);
}

TEST(InfoTexts, OpenSplashWritesOnlyTheSetSlotsOverThePicture) {
    SkinBitmap* picture = testing::solidBitmap(100, 60, 0x102030);
    InfoSplash splash({0, 0, 10, 10}, nullptr, 0, picture, {0, 0, 100, 60}, {0, 0});
    picture->release();
    splash.setSecondText("Version: 1.1.1", {10, 30, 90, 50}, colors::white, 0);
    platform::Surface surface(100, 60, 0);
    Canvas canvas(nullptr, &surface, nullptr);
    splash.draw(canvas);
    EXPECT_EQ(surface.pixel(50, 5), 0u);  // closed: nothing at all
    splash.setValue(1.0f);
    splash.draw(canvas);
    EXPECT_EQ(surface.pixel(50, 5), 0x102030u);
    int lit = 0;
    for (int y = 30; y < 50; ++y) {
        for (int x = 10; x < 90; ++x) lit += surface.pixel(x, y) != 0x102030u ? 1 : 0;
    }
    EXPECT_GT(lit, 20);
    EXPECT_EQ(canvas.fontId(), 3);
    EXPECT_EQ(canvas.fontSize(), 10);
}

}  // namespace
}  // namespace flanger::gui::controls
