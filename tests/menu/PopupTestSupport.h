// A platform with scripted popups around the headless backend, for tests of the window-system
// popup without a window system: inputs come from a queue, shows are recorded, the grab can be
// refused.
#pragma once

#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "platform/headless/HeadlessPlatform.h"

namespace flanger::testing {

// The toolkit's fixtures name its classes as the toolkit does.
using namespace flanger::gui;
using namespace flanger::gui::menu;

using platform::PopupInput;

// A scripted input that ends the presenter's pass instead of arriving.
constexpr int kPassEnds = -1;

struct PopupLog {
    std::deque<PopupInput> inputs;
    std::vector<std::pair<std::size_t, platform::PixelBox>> shows;  // level, box
    platform::PixelBox opened;
    int firstWidth = 0;
    bool open = true;
    bool destroyed = false;
};

class ScriptedPopup final : public platform::Popup {
public:
    explicit ScriptedPopup(PopupLog& record) : log(record) {}
    ~ScriptedPopup() override { log.destroyed = true; }
    void show(std::size_t level, const platform::PixelBox& box, const platform::Surface&) noexcept override {
        log.shows.push_back({level, box});
    }
    void keepLevels(std::size_t) noexcept override {}
    bool nextInput(PopupInput& out, int) noexcept override {
        if (log.inputs.empty()) return false;
        out = log.inputs.front();
        log.inputs.pop_front();
        return out.kind != kPassEnds;
    }
    bool isOpen() const noexcept override { return log.open; }

private:
    PopupLog& log;
};

// The headless backend with popups: scripted ones, or a refused grab.
class PopupPlatform final : public platform::Platform {
public:
    explicit PopupPlatform(platform::HeadlessPlatform& headless) : inner(headless) {}
    std::unique_ptr<platform::Window> createChildWindow(platform::NativeParent parent, int w,
                                                        int h) noexcept override {
        return inner.createChildWindow(parent, w, h);
    }
    platform::PointerState readPointer() noexcept override { return inner.readPointer(); }
    bool buttonsSwapped() noexcept override { return inner.buttonsSwapped(); }
    std::uint32_t tickCountMs() noexcept override { return inner.tickCountMs(); }
    void sleepMs(int ms) noexcept override { inner.sleepMs(ms); }
    void processEvents() noexcept override { inner.processEvents(); }
    bool offersPopups() const noexcept override { return true; }
    platform::PixelBox screenArea() noexcept override { return {0, 0, 640, 480}; }
    std::unique_ptr<platform::Popup> openPopup(platform::Window&, const platform::PixelBox& box,
                                               const platform::Surface& pixels) noexcept override {
        if (refuseGrab) return nullptr;
        log.opened = box;
        log.firstWidth = pixels.width();
        return std::make_unique<ScriptedPopup>(log);
    }

    platform::HeadlessPlatform& inner;
    PopupLog log;
    bool refuseGrab = false;
};

}  // namespace flanger::testing
