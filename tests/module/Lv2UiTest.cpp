// The LV2 UI as a host holds it, under a private Xvfb: opened in the host's parent with the touch
// and resize features, idled every 20 ms while the real pointer drags a knob and clicks the lamp.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/EditorInParent.h"

namespace {

using flanger::testing::Driver;

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

// The UI binary, opened as a host opens it; closed at the end of the test.
class UiLibrary {
public:
    UiLibrary() : library(dlopen(FLANGER_LV2_BUNDLE "/BrackwaterFlanger_ui.so", RTLD_NOW | RTLD_LOCAL)) {
        if (library == nullptr) return;
        auto entry =
            reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
        if (entry != nullptr) descriptor = entry(0);
    }
    ~UiLibrary() {
        if (library != nullptr) dlclose(library);
    }
    UiLibrary(const UiLibrary&) = delete;
    UiLibrary& operator=(const UiLibrary&) = delete;

    void* library;
    const LV2UI_Descriptor* descriptor = nullptr;
};

// A host's side of the UI: a private server, its parent window at (30, 40), the UI binary, and
// the resize feature writing into side.
class Lv2Ui : public flanger::testing::OnPrivateServer {
protected:
    void SetUp() override {
        OnPrivateServer::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        parent = makeParent(30, 40, 800, 480);
        parentFeature.data = reinterpret_cast<void*>(static_cast<uintptr_t>(parent));
        ASSERT_NE(binary.descriptor, nullptr) << dlerror();
        ui = binary.descriptor;
    }

    ::Window parent = 0;
    UiLibrary binary;
    const LV2UI_Descriptor* ui = nullptr;
    HostSide side;
    LV2UI_Resize resize{&side, [](LV2UI_Feature_Handle h, int w, int hgt) {
                            static_cast<HostSide*>(h)->width = w;
                            static_cast<HostSide*>(h)->height = hgt;
                            return 0;
                        }};
    LV2_Feature parentFeature{LV2_UI__parent, nullptr};  // the parent's XID, once it is made
    const LV2_Feature resizeFeature{LV2_UI__resize, &resize};
};

TEST_F(Lv2Ui, EditsReachTheHostAsWritesInsideOneTouchAndHostValuesMoveTheControls) {
    EXPECT_STREQ(ui->URI, "urn:brackwater:flanger#ui");
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);

    LV2UI_Touch touch{&side, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                          static_cast<HostSide*>(h)->events.push_back({grabbed ? '+' : '-', port, 0.0f});
                      }};
    const LV2_Feature touchFeature{LV2_UI__touch, &touch};
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
}

// A host's urid:map: URIs numbered from 1 in the order first asked.
struct UridMap {
    std::vector<std::string> uris;
    LV2_URID operator()(const char* uri) {
        for (size_t i = 0; i < uris.size(); ++i)
            if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
        uris.emplace_back(uri);
        return static_cast<LV2_URID>(uris.size());
    }
};

// A host on a 200 % display passes ui:scaleFactor 2 with its options: the UI asks ui:resize for
// twice the design's size and opens its window at it; the options interface moves it later.
TEST_F(Lv2Ui, TakesTheHostsScaleFactorFromItsOptions) {
    UridMap uris;
    LV2_URID_Map map{&uris,
                     [](LV2_URID_Map_Handle h, const char* uri) { return (*static_cast<UridMap*>(h))(uri); }};
    const LV2_URID scaleFactor = uris(LV2_UI__scaleFactor), floatType = uris(LV2_ATOM__Float);
    const float two = 2.0f;
    const LV2_Options_Option options[] = {{LV2_OPTIONS_INSTANCE, 0, scaleFactor, sizeof two, floatType, &two},
                                          {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature optionsFeature{LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[] = {&parentFeature, &resizeFeature, &mapFeature, &optionsFeature, nullptr};
    auto write = [](LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {};
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle handle =
        ui->instantiate(ui, "urn:brackwater:flanger", FLANGER_LV2_BUNDLE, write, &side, &widget, features);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(side.width, 740);
    EXPECT_EQ(side.height, 432);
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(ui->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    auto windowSize = [&] {
        for (int i = 0; i < 5; ++i) {
            idle->idle(handle);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        XWindowAttributes attributes{};
        XGetWindowAttributes(host, static_cast<::Window>(reinterpret_cast<uintptr_t>(widget)), &attributes);
        return std::pair{attributes.width, attributes.height};
    };
    EXPECT_EQ(windowSize(), std::pair(740, 432));

    // While open, through the options interface: a factor it trusts moves the UI and the host's
    // window; one it does not, or a key it does not hold, is refused with nothing changed.
    const auto* optionsInterface =
        static_cast<const LV2_Options_Interface*>(ui->extension_data(LV2_OPTIONS__interface));
    ASSERT_NE(optionsInterface, nullptr);
    const float smaller = 1.5f, tiny = 0.5f;
    const LV2_Options_Option scaled[] = {
        {LV2_OPTIONS_INSTANCE, 0, scaleFactor, sizeof smaller, floatType, &smaller},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    EXPECT_EQ(optionsInterface->set(handle, scaled), uint32_t{LV2_OPTIONS_SUCCESS});
    EXPECT_EQ(side.width, 555);
    EXPECT_EQ(side.height, 324);
    EXPECT_EQ(windowSize(), std::pair(555, 324));
    const LV2_Options_Option refused[] = {
        {LV2_OPTIONS_INSTANCE, 0, scaleFactor, sizeof tiny, floatType, &tiny},
        {LV2_OPTIONS_INSTANCE, 0, uris(LV2_ATOM__Int), sizeof two, floatType, &two},
        {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    EXPECT_EQ(optionsInterface->set(handle, refused),
              uint32_t{LV2_OPTIONS_ERR_BAD_VALUE | LV2_OPTIONS_ERR_BAD_KEY});
    EXPECT_EQ(side.width, 555);
    EXPECT_EQ(windowSize(), std::pair(555, 324));

    ui->cleanup(handle);
}

}  // namespace
