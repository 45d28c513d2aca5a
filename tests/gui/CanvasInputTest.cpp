// The live input queries of a canvas, read through the platform layer.
#include <gtest/gtest.h>

#include "gui/Canvas.h"
#include "platform/headless/HeadlessPlatform.h"

namespace flanger::gui {
namespace {

class CanvasInput : public ::testing::Test {
protected:
    platform::HeadlessPlatform headless;
    std::unique_ptr<platform::Window> window = headless.createChildWindow(7, 50, 40);
    void SetUp() override { static_cast<platform::HeadlessWindow&>(*window).setScreenOrigin(100, 200); }
};

TEST_F(CanvasInput, PointerIsRelativeToTheWindowOrigin) {
    Canvas canvas(nullptr, &window->backing(), window.get());
    EXPECT_EQ(canvas.windowOrigin(), (Point{100, 200}));
    headless.setPointer(130, 215);
    Point where;
    canvas.readPointer(where);
    EXPECT_EQ(where, (Point{30, 15}));
    EXPECT_EQ(canvas.clipRect(), (Rect{0, 0, 50, 40}));
}

TEST_F(CanvasInput, ButtonsAndModifiersMapToTheControlBits) {
    Canvas canvas(nullptr, &window->backing(), window.get());
    headless.setButtons(platform::kLeftButton);
    headless.setModifiers(false, true, false);
    EXPECT_EQ(canvas.readButtons(), 17u);  // the reset click
    headless.setButtons(platform::kMiddleButton | platform::kRightButton);
    headless.setModifiers(true, false, true);
    EXPECT_EQ(canvas.readButtons(), 2u | 4u | 8u | 32u);
}

TEST_F(CanvasInput, SwappedButtonsExchangePrimaryAndSecondary) {
    Canvas canvas(nullptr, &window->backing(), window.get());
    headless.setButtonsSwapped(true);
    headless.setButtons(platform::kLeftButton);
    EXPECT_EQ(canvas.readButtons(), 4u);
    headless.setButtons(platform::kRightButton);
    EXPECT_EQ(canvas.readButtons(), 1u);
}

TEST_F(CanvasInput, CanvasWithoutAWindowReadsTheCurrentPlatform) {
    platform::setCurrentPlatform(&headless);
    headless.setPointer(5, 6);
    headless.setButtons(platform::kLeftButton);
    OffscreenCanvas offscreen(nullptr, 4, 4, colors::black);
    Point where;
    offscreen.readPointer(where);
    EXPECT_EQ(where, (Point{5, 6}));
    EXPECT_EQ(offscreen.readButtons(), 1u);
    platform::setCurrentPlatform(nullptr);
}

TEST_F(CanvasInput, WindowCanvasPresentsWhatItDrewWhenItEnds) {
    auto& headlessWindow = static_cast<platform::HeadlessWindow&>(*window);
    {
        Canvas canvas(nullptr, &window->backing(), window.get());
        canvas.setBrushColor(colors::green);
        canvas.fillInterior({9, 9, 12, 12});
        EXPECT_EQ(headlessWindow.screen().pixel(10, 10), 0u);
    }
    EXPECT_EQ(headlessWindow.screen().pixel(10, 10), colors::green.pixel());
    EXPECT_EQ(headlessWindow.lastPresented().left, 10);
    EXPECT_EQ(headlessWindow.lastPresented().right, 12);
}

}  // namespace
}  // namespace flanger::gui
