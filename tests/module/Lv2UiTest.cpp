// The LV2 UI as a host holds it, under a private Xvfb: opened in the host's parent with the touch
// and resize features, idled every 20 ms while the real pointer drags a knob and clicks the lamp.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/ui/ui.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/EditorInParent.h"

namespace {

using flanger::testing::Driver;
using flanger::testing::PrivateXServer;

// What the host was told, in order.
struct HostSide {
    struct Event {
        char kind;  // 'w' write, '+' touch begins, '-' touch ends
        uint32_t port;
        float value;
    };
    std::vector<Event> events;
    int width = 0, height = 0;
};

TEST(Lv2Ui, EditsReachTheHostAsWritesInsideOneTouchAndHostValuesMoveTheControls) {
    if (!PrivateXServer::installed()) GTEST_SKIP() << "Xvfb is not installed (package xvfb)";
    PrivateXServer server;
    ASSERT_TRUE(server.start(true));
    setenv("DISPLAY", server.displayName().c_str(), 1);
    Display* host = XOpenDisplay(server.displayName().c_str());
    ASSERT_NE(host, nullptr);
    const ::Window parent =
        XCreateSimpleWindow(host, DefaultRootWindow(host), 30, 40, 400, 260, 0, 0, 0x808080);
    XMapWindow(host, parent);
    XSync(host, False);

    void* library = dlopen(FLANGER_LV2_BUNDLE "/BrackwaterFlanger_ui.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
    ASSERT_NE(entry, nullptr);
    const LV2UI_Descriptor* ui = entry(0);
    ASSERT_NE(ui, nullptr);
    EXPECT_STREQ(ui->URI, "urn:brackwater:flanger#ui");
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    HostSide side;
    LV2UI_Touch touch{&side, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                          static_cast<HostSide*>(h)->events.push_back({grabbed ? '+' : '-', port, 0.0f});
                      }};
    LV2UI_Resize resize{&side, [](LV2UI_Feature_Handle h, int w, int hgt) {
                            static_cast<HostSide*>(h)->width = w;
                            static_cast<HostSide*>(h)->height = hgt;
                            return 0;
                        }};
    const LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(static_cast<uintptr_t>(parent))};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch};
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    const LV2_Feature* features[] = {&parentFeature, &touchFeature, &resizeFeature, nullptr};
    const LV2_Feature* noParent[] = {&touchFeature, nullptr};
    auto write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        float v = 0.0f;
        if (size == sizeof v && format == 0) std::memcpy(&v, buffer, sizeof v);
        static_cast<HostSide*>(c)->events.push_back({'w', port, v});
    };
    LV2UI_Widget widget = nullptr;
    EXPECT_EQ(
        ui->instantiate(ui, "urn:brackwater:flanger", FLANGER_LV2_BUNDLE, write, &side, &widget, noParent),
        nullptr);
    EXPECT_EQ(ui->instantiate(ui, "urn:other", FLANGER_LV2_BUNDLE, write, &side, &widget, features), nullptr);
    LV2UI_Handle handle =
        ui->instantiate(ui, "urn:brackwater:flanger", FLANGER_LV2_BUNDLE, write, &side, &widget, features);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(side.width, 370);
    EXPECT_EQ(side.height, 216);
    ::Window root = 0, above = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(host, parent, &root, &above, &children, &count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(widget), children[0]) << "the widget is the UI's own window";
    XFree(children);

    auto idleWhile = [&](const std::function<void(Driver&)>& script) {
        flanger::testing::driveWhileIdling(
            server.displayName(), script,
            [&] {
                idle->idle(handle);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            },
            5);
    };
    const int x = 30, y = 40;  // the parent's place on the screen
    // Depth's knob at (134, 175): pressed, dragged clockwise in 1-pixel steps, released.
    idleWhile([&](Driver& input) {
        input.moveTo(x + 134, y + 175);
        input.press(50);
        for (int step = 0; step < 30; ++step) input.moveTo(x + 134 + step, y + 165 - step / 2, 5);
        input.release();
    });
    int inside = 0, outside = 0, depth = 0;
    for (const auto& e : side.events) {
        if (e.port != 2) continue;
        if (e.kind == '+') ++depth;
        if (e.kind == '-') --depth;
        if (e.kind == 'w') (depth == 1 ? inside : outside)++;
    }
    EXPECT_GT(inside, 3) << "the drag wrote Depth";
    EXPECT_EQ(outside, 0) << "every write lies inside the touch";
    EXPECT_EQ(depth, 0);

    // The lamp at (262, 146), a quick click: switch written as 1.
    side.events.clear();
    idleWhile([&](Driver& input) { input.click(x + 262, y + 146); });
    bool switched = false;
    for (const auto& e : side.events) switched |= e.kind == 'w' && e.port == 4 && e.value == 1.0f;
    EXPECT_TRUE(switched);
    // The host sets it back: the next click turns sync on again rather than off.
    const float off = 0.0f;
    ui->port_event(handle, 4, sizeof off, 0, &off);
    side.events.clear();
    idleWhile([&](Driver& input) { input.click(x + 262, y + 146); });
    switched = false;
    for (const auto& e : side.events) switched |= e.kind == 'w' && e.port == 4 && e.value == 1.0f;
    EXPECT_TRUE(switched);

    ui->cleanup(handle);
    XQueryTree(host, parent, &root, &above, &children, &count);
    EXPECT_EQ(count, 0u) << "closing leaves nothing in the parent";
    if (children) XFree(children);
    XCloseDisplay(host);
    dlclose(library);
    server.stop();
}

}  // namespace
