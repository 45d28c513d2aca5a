// The headless backend: windows are in-memory surfaces and the pointer, buttons, modifiers and
// clock are scripted by the test, so drag loops and painting run without a display.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace flanger::platform {

class HeadlessWindow;

class HeadlessPlatform final : public Platform {
public:
    HeadlessPlatform() = default;
    ~HeadlessPlatform() override;

    std::unique_ptr<Window> createChildWindow(NativeParent parent, int width, int height) noexcept override;
    PointerState readPointer() noexcept override;
    // Takes the next queued pointer event (postPointer…) of any window first, then as readPointer.
    PointerState trackPointer() noexcept override;
    bool buttonsSwapped() noexcept override { return swapped; }
    std::uint32_t tickCountMs() noexcept override { return ticks; }
    // Advances the fake clock instead of waiting.
    void sleepMs(int milliseconds) noexcept override;
    void processEvents() noexcept override;
    bool processOneExpose() noexcept override;
    bool readClipboardText(std::string& out) noexcept override;
    // What setDesktopScalePercent stated, for every parent (0, the default: the desktop says nothing).
    int desktopScalePercent(NativeParent /*parent*/) noexcept override { return desktopScale; }

    // Scripting.
    void setPointer(int screenX, int screenY) noexcept { state.position = {screenX, screenY}; }
    void setButtons(std::uint32_t physical) noexcept { state.buttons = physical; }
    void setModifiers(bool shift, bool control, bool alt) noexcept;
    void setButtonsSwapped(bool on) noexcept { swapped = on; }
    void setTickCount(std::uint32_t ms) noexcept { ticks = ms; }
    void setDesktopScalePercent(int percent) noexcept { desktopScale = percent; }
    // What readClipboardText answers; clearClipboard makes it answer false.
    void setClipboardText(std::string text) {
        clipboard = std::move(text);
        hasClipboard = true;
    }
    void clearClipboard() noexcept { hasClipboard = false; }
    // Called at the start of every readPointer and trackPointer (a drag loop reads once per pass), e.g. to
    // move the pointer along a path and release the button after a number of passes.
    void onReadPointer(std::function<void(HeadlessPlatform&)> script) { readScript = std::move(script); }

    int pointerReads() const noexcept { return reads; }
    int sleeps() const noexcept { return sleepCalls; }
    const std::vector<HeadlessWindow*>& windows() const noexcept { return live; }

private:
    friend class HeadlessWindow;

    PointerState state;
    bool swapped = false;
    std::uint32_t ticks = 0;
    int desktopScale = 0;
    int reads = 0;
    int sleepCalls = 0;
    std::function<void(HeadlessPlatform&)> readScript;
    std::vector<HeadlessWindow*> live;
    std::string clipboard;
    bool hasClipboard = false;
};

class HeadlessWindow final : public Window {
public:
    HeadlessWindow(HeadlessPlatform& platform, NativeParent parent, int width, int height);
    ~HeadlessWindow() override;

    Platform& owner() noexcept override { return platform; }
    Surface& backing() noexcept override { return surface; }
    // Copies the damaged part of the backing to the "screen" copy that tests read back.
    void present() noexcept override;
    ScreenPoint screenOrigin() noexcept override { return origin; }
    bool isOpen() const noexcept override { return open; }
    void setEventHandler(WindowEvents* receiver) noexcept override { handler = receiver; }
    void setIdentity(const char* title, const char* className) noexcept override;
    void setCursorShape(int shape) noexcept override;
    void setDropHandler(DropEvents* receiver) noexcept override { dropHandler = receiver; }
    bool beginTextInput(TextInputEvents* receiver, std::uint32_t clickTimeMs) noexcept override;
    void endTextInput() noexcept override { textReceiver = nullptr; }
    // The backing and the screen copy made anew at the size (black, the backing all damaged), and
    // an expose of the whole window queued, as window systems send one. False, with nothing
    // changed, for an empty size, a closed window or after refuseResizes(true).
    bool resize(int width, int height) noexcept override;

    // Scripting and read-back.
    const std::string& title() const noexcept { return windowTitle; }
    const std::string& className() const noexcept { return windowClass; }
    int cursorShape() const noexcept { return cursor; }
    bool acceptsDrops() const noexcept { return dropHandler != nullptr; }
    // Delivers a drop at once, as a drag-and-drop source finishing over the window would.
    bool drop(const char* const* items, int count, int type, ScreenPoint where) noexcept {
        return dropHandler != nullptr && dropHandler->onDrop(items, count, type, where);
    }
    NativeParent parent() const noexcept { return parentWindow; }
    const Surface& screen() const noexcept { return shown; }
    int presentCount() const noexcept { return presents; }
    PixelBox lastPresented() const noexcept {
        return lastBox;
    }  // the bounding box of the last present's boxes
    long long presentedPixels() const noexcept { return pixelsPresented; }  // every present's boxes, summed
    void setScreenOrigin(int x, int y) noexcept { origin = {x, y}; }
    // The native window's size (as made, then as the last resize left it) and how many resizes
    // were taken; refuseResizes makes resize fail, as a backend out of resources would.
    int windowWidth() const noexcept { return nativeWidth; }
    int windowHeight() const noexcept { return nativeHeight; }
    int resizeCount() const noexcept { return resizes; }
    void refuseResizes(bool on) noexcept { refusingResizes = on; }
    void postExpose(const PixelBox& area) { pending.push_back({Kind::Expose, area, 0, 0, 0, 0, {}}); }
    void postButtonPress(int x, int y, std::uint32_t button) {
        pending.push_back({Kind::Press, {}, x, y, button, 0, {}});
    }
    // Pointer events as a window system queues them: each sets the platform's pointer state
    // (position, and the button down or up) when handled, by the pump or by a tracking loop's
    // trackPointer. postButtonPress above delivers a press only, leaving the scripted state.
    void postPointerPress(int x, int y, std::uint32_t button) {
        pending.push_back({Kind::PointerPress, {}, x, y, button, 0, {}});
    }
    void postPointerRelease(int x, int y, std::uint32_t button) {
        pending.push_back({Kind::PointerRelease, {}, x, y, button, 0, {}});
    }
    void postPointerMotion(int x, int y) { pending.push_back({Kind::PointerMotion, {}, x, y, 0, 0, {}}); }
    void postWheel(int x, int y, float steps) { pending.push_back({Kind::Wheel, {}, x, y, 0, steps, {}}); }
    // Text input: whether beginTextInput takes the focus (default no, as when the host keeps
    // it), the keys the window system would deliver, and focus going elsewhere.
    void setTakesTextFocus(bool on) noexcept { takesTextFocus = on; }
    bool hasTextFocus() const noexcept { return textReceiver != nullptr; }
    void postTextKey(const TextKey& key) { pending.push_back({Kind::TextKey, {}, 0, 0, 0, 0, key}); }
    void postFocusOut() { pending.push_back({Kind::FocusOut, {}, 0, 0, 0, 0, {}}); }
    // As if the host destroyed the parent: the handler hears onDestroyed at the next pump.
    void postDestroy() { pending.push_back({Kind::Destroy, {}, 0, 0, 0, 0, {}}); }

private:
    friend class HeadlessPlatform;
    enum class Kind {
        Expose,
        Press,
        Wheel,
        Destroy,
        TextKey,
        FocusOut,
        PointerPress,
        PointerRelease,
        PointerMotion
    };
    struct Event {
        Kind kind;
        PixelBox area;
        int x, y;
        std::uint32_t button;
        float steps;
        TextKey key;
    };
    void dispatchPending() noexcept;
    bool takePointerEvent() noexcept;
    void applyPointer(const Event& event) noexcept;
    bool dispatchOneExpose() noexcept;

    HeadlessPlatform& platform;
    NativeParent parentWindow;
    Surface surface;
    Surface shown;
    ScreenPoint origin;
    bool open = true;
    int nativeWidth;
    int nativeHeight;
    int resizes = 0;
    bool refusingResizes = false;
    int presents = 0;
    PixelBox lastBox;
    long long pixelsPresented = 0;
    WindowEvents* handler = nullptr;
    DropEvents* dropHandler = nullptr;
    std::deque<Event> pending;
    std::string windowTitle;
    std::string windowClass;
    int cursor = kCursorDefault;
    bool takesTextFocus = false;
    TextInputEvents* textReceiver = nullptr;
};

}  // namespace flanger::platform
