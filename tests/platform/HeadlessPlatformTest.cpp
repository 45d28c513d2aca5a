// The headless backend: scripted input, fake clock, presentation and event delivery.
#include <gtest/gtest.h>

#include "platform/headless/HeadlessPlatform.h"

namespace flanger::platform {
namespace {

struct Recorder : WindowEvents {
    Surface* surface = nullptr;
    std::vector<std::string> log;
    void onExpose(const PixelBox& area) override {
        log.push_back("expose");
        surface->fill(area, 0x00FF00);
    }
    void onButtonPress(int x, int y, std::uint32_t button) override {
        log.push_back("press " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(button));
    }
    void onWheel(int, int, float steps) override {
        log.push_back("wheel " + std::to_string(static_cast<int>(steps)));
    }
    void onDestroyed() override { log.push_back("destroyed"); }
};

TEST(HeadlessPlatform, RefusesAMissingParentOrEmptySize) {
    HeadlessPlatform headless;
    EXPECT_EQ(headless.createChildWindow(0, 10, 10), nullptr);
    EXPECT_EQ(headless.createChildWindow(1, 0, 10), nullptr);
    auto window = headless.createChildWindow(1, 10, 10);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(headless.windows().size(), 1u);
    window.reset();
    EXPECT_TRUE(headless.windows().empty());
}

TEST(HeadlessPlatform, ScriptsRunOnEveryPointerReadAndSleepAdvancesTheClock) {
    HeadlessPlatform headless;
    headless.setButtons(kLeftButton);
    headless.onReadPointer([](HeadlessPlatform& p) {
        if (p.pointerReads() == 3) p.setButtons(0);  // release on the third pass of a drag loop
        p.setPointer(p.pointerReads() * 10, 0);
    });
    int passes = 0;
    while ((headless.readPointer().buttons & kLeftButton) != 0) ++passes;
    EXPECT_EQ(passes, 2);
    EXPECT_EQ(headless.readPointer().position.x, 40);
    headless.setTickCount(1000);
    headless.sleepMs(4);
    headless.sleepMs(-3);
    EXPECT_EQ(headless.tickCountMs(), 1004u);
    EXPECT_EQ(headless.sleeps(), 2);
}

TEST(HeadlessPlatform, EventsReachTheHandlerAndExposuresArePresented) {
    HeadlessPlatform headless;
    auto window = headless.createChildWindow(1, 8, 8);
    auto& headlessWindow = static_cast<HeadlessWindow&>(*window);
    Recorder recorder;
    recorder.surface = &window->backing();
    headlessWindow.postButtonPress(1, 2, kRightButton);  // no handler yet: dropped
    headless.processEvents();
    window->setEventHandler(&recorder);
    headlessWindow.postExpose({0, 0, 4, 4});
    headlessWindow.postButtonPress(3, 4, kLeftButton);
    headlessWindow.postWheel(0, 0, -1);
    headless.processEvents();
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"expose", "press 3,4 1", "wheel -1"}));
    EXPECT_EQ(headlessWindow.screen().pixel(3, 3), 0x00FF00u);
    EXPECT_EQ(headlessWindow.screen().pixel(4, 4), 0u);
    headlessWindow.postDestroy();
    headlessWindow.postButtonPress(1, 1, kLeftButton);
    headless.processEvents();
    EXPECT_EQ(recorder.log.back(), "destroyed");
    EXPECT_FALSE(window->isOpen());
    window->backing().fill({0, 0, 8, 8}, 0xFF0000);
    window->present();  // closed windows present nothing
    EXPECT_EQ(headlessWindow.screen().pixel(5, 5), 0u);
}

TEST(HeadlessPlatform, AResizeRemakesTheBackingAndExposesTheWholeWindow) {
    HeadlessPlatform headless;
    auto window = headless.createChildWindow(1, 8, 8);
    auto& headlessWindow = static_cast<HeadlessWindow&>(*window);
    Surface& backing = window->backing();
    Recorder recorder;
    recorder.surface = &backing;
    window->setEventHandler(&recorder);
    headlessWindow.refuseResizes(true);
    EXPECT_FALSE(window->resize(16, 12));
    headlessWindow.refuseResizes(false);
    EXPECT_FALSE(window->resize(16, 0));
    EXPECT_EQ(headlessWindow.windowWidth(), 8);
    EXPECT_EQ(backing.width(), 8);
    ASSERT_TRUE(window->resize(16, 12));
    EXPECT_EQ(headlessWindow.windowWidth(), 16);
    EXPECT_EQ(headlessWindow.windowHeight(), 12);
    EXPECT_EQ(headlessWindow.resizeCount(), 1);
    // The reference taken before still is the backing, now black and all damaged.
    EXPECT_EQ(&window->backing(), &backing);
    EXPECT_EQ(backing.height(), 12);
    EXPECT_EQ(backing.damage().right, 16);
    EXPECT_EQ(headlessWindow.screen().width(), 16);
    headless.processEvents();
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"expose"}));
    EXPECT_EQ(headlessWindow.screen().pixel(15, 11), 0x00FF00u);
}

TEST(HeadlessPlatform, CurrentPlatformDefaultsToAHeadlessOne) {
    Platform& fallback = currentPlatform();
    HeadlessPlatform mine;
    setCurrentPlatform(&mine);
    EXPECT_EQ(&currentPlatform(), &mine);
    setCurrentPlatform(nullptr);
    EXPECT_EQ(&currentPlatform(), &fallback);
}

}  // namespace
}  // namespace flanger::platform
