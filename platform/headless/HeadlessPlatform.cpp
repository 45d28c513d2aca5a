// The headless backend's windows, scripted input state and fake clock.
#include "platform/headless/HeadlessPlatform.h"

#include <algorithm>
#include <utility>

namespace flanger::platform {

HeadlessPlatform::~HeadlessPlatform() {
    // Windows that outlive their platform must not reach back into it.
    for (HeadlessWindow* window : live) window->open = false;
}

std::unique_ptr<Window> HeadlessPlatform::createChildWindow(NativeParent parent, int width,
                                                            int height) noexcept {
    if (parent == 0 || width <= 0 || height <= 0) return nullptr;
    try {
        return std::make_unique<HeadlessWindow>(*this, parent, width, height);
    } catch (...) {
        return nullptr;
    }
}

PointerState HeadlessPlatform::readPointer() noexcept {
    ++reads;
    if (readScript) readScript(*this);
    return state;
}

PointerState HeadlessPlatform::trackPointer() noexcept {
    ++reads;
    if (readScript) readScript(*this);
    for (HeadlessWindow* window : live) {
        if (window->takePointerEvent()) break;
    }
    return state;
}

void HeadlessPlatform::setModifiers(bool shift, bool control, bool alt) noexcept {
    state.shift = shift;
    state.control = control;
    state.alt = alt;
}

void HeadlessPlatform::sleepMs(int milliseconds) noexcept {
    ++sleepCalls;
    if (milliseconds > 0) ticks += static_cast<std::uint32_t>(milliseconds);
}

void HeadlessPlatform::processEvents() noexcept {
    // A handler may close windows while we dispatch: work on a copy of the list.
    const std::vector<HeadlessWindow*> snapshot = live;
    for (HeadlessWindow* window : snapshot) {
        if (std::find(live.begin(), live.end(), window) != live.end()) window->dispatchPending();
    }
}

bool HeadlessPlatform::processOneExpose() noexcept {
    for (HeadlessWindow* window : live) {
        if (window->dispatchOneExpose()) return true;
    }
    return false;
}

bool HeadlessPlatform::readClipboardText(std::string& out) noexcept {
    if (!hasClipboard) return false;
    try {
        out = clipboard;
    } catch (...) {
        return false;
    }
    return true;
}

HeadlessWindow::HeadlessWindow(HeadlessPlatform& owningPlatform, NativeParent parent, int width, int height)
    : platform(owningPlatform),
      parentWindow(parent),
      surface(width, height),
      shown(width, height),
      nativeWidth(width),
      nativeHeight(height) {
    platform.live.push_back(this);
}

HeadlessWindow::~HeadlessWindow() {
    auto& live = platform.live;
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void HeadlessWindow::present() noexcept {
    PixelBox boxes[Surface::kDamageBoxes];
    const int count = surface.takeDamageBoxes(boxes);
    if (!open || count == 0) return;
    PixelBox all;
    for (int i = 0; i < count; ++i) {
        const PixelBox& box = boxes[i];
        copyBlock(surface, box.left, box.top, shown, box.left, box.top, box.right - box.left,
                  box.bottom - box.top);
        pixelsPresented += static_cast<long long>(box.right - box.left) * (box.bottom - box.top);
        all = all.unite(box);
    }
    shown.takeDamage();
    lastBox = all;
    ++presents;
}

bool HeadlessWindow::resize(int newWidth, int newHeight) noexcept {
    if (newWidth <= 0 || newHeight <= 0 || !open || refusingResizes) return false;
    try {
        Surface resized(newWidth, newHeight);
        Surface resizedScreen(newWidth, newHeight);
        pending.push_back({Kind::Expose, {0, 0, newWidth, newHeight}, 0, 0, 0, 0, {}});
        surface = std::move(resized);
        shown = std::move(resizedScreen);
    } catch (...) {
        return false;
    }
    surface.addDamage({0, 0, newWidth, newHeight});
    nativeWidth = newWidth;
    nativeHeight = newHeight;
    ++resizes;
    return true;
}

void HeadlessWindow::setIdentity(const char* title, const char* className) noexcept {
    try {
        windowTitle = title != nullptr ? title : "";
        windowClass = className != nullptr ? className : "";
    } catch (...) {
    }
}

void HeadlessWindow::setCursorShape(int shape) noexcept {
    if (shape >= kCursorDefault && shape <= kCursorSizeNorthWestSouthEast) cursor = shape;
}

bool HeadlessWindow::beginTextInput(TextInputEvents* receiver, std::uint32_t /*clickTimeMs*/) noexcept {
    if (!takesTextFocus || receiver == nullptr) return false;
    textReceiver = receiver;
    return true;
}

bool HeadlessWindow::dispatchOneExpose() noexcept {
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->kind != Kind::Expose) continue;
        const PixelBox area = it->area;
        pending.erase(it);
        if (handler == nullptr || !open) return true;
        handler->onExpose(area);
        surface.addDamage(area);
        present();
        return true;
    }
    return false;
}

void HeadlessWindow::applyPointer(const Event& event) noexcept {
    PointerState& pointer = platform.state;
    pointer.position = {origin.x + event.x, origin.y + event.y};
    if (event.kind == Kind::PointerPress) pointer.buttons |= event.button;
    if (event.kind == Kind::PointerRelease) pointer.buttons &= ~event.button;
}

bool HeadlessWindow::takePointerEvent() noexcept {
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->kind != Kind::PointerPress && it->kind != Kind::PointerRelease &&
            it->kind != Kind::PointerMotion)
            continue;
        applyPointer(*it);
        pending.erase(it);
        return true;
    }
    return false;
}

void HeadlessWindow::dispatchPending() noexcept {
    while (!pending.empty()) {
        const Event event = pending.front();
        pending.pop_front();
        if (event.kind == Kind::Destroy) {
            open = false;
            if (handler != nullptr) handler->onDestroyed();
            pending.clear();
            return;
        }
        if (handler == nullptr || !open) continue;
        switch (event.kind) {
            case Kind::Expose:
                handler->onExpose(event.area);
                surface.addDamage(event.area);
                present();
                break;
            case Kind::Press:
                handler->onButtonPress(event.x, event.y, event.button);
                break;
            case Kind::PointerPress:
                applyPointer(event);
                handler->onButtonPress(event.x, event.y, event.button);
                break;
            case Kind::PointerRelease:
            case Kind::PointerMotion:
                applyPointer(event);
                break;
            case Kind::Wheel:
                handler->onWheel(event.x, event.y, event.steps);
                break;
            case Kind::Destroy:
                break;
            case Kind::TextKey:
                if (textReceiver != nullptr) textReceiver->onTextKey(event.key);
                break;
            case Kind::FocusOut:
                if (textReceiver != nullptr) textReceiver->onTextFocusLost();
                break;
        }
    }
}

}  // namespace flanger::platform
