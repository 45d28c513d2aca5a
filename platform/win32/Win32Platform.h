// The Win32 backend: child windows inside the host's parent window, presented from the backing
// surface through a DIB section, and the pointer state from the window's own queue (the live
// state when nothing is queued). Win32's types stay inside platform/win32/.
#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace flanger::platform {

class Win32Platform final : public Platform {
public:
    // Windows are made on the calling thread, which must be the one that pumps them.
    static std::unique_ptr<Win32Platform> open() noexcept;
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    std::unique_ptr<Window> createChildWindow(NativeParent parent, int width, int height) noexcept override;
    PointerState readPointer() noexcept override;
    PointerState trackPointer() noexcept override;
    bool buttonsSwapped() noexcept override;
    std::uint32_t tickCountMs() noexcept override;
    void sleepMs(int milliseconds) noexcept override;
    void processEvents() noexcept override;
    bool processOneExpose() noexcept override;
    // Waits at most 250 ms for another program to close the clipboard.
    bool readClipboardText(std::string& out) noexcept override;
    bool offersPopups() const noexcept override;
    PixelBox screenArea() noexcept override;
    std::unique_ptr<Popup> openPopup(Window& owner, const PixelBox& box,
                                     const Surface& pixels) noexcept override;
    // The dpi of parent's top-level window (GetDpiForWindow where the system has it), else the
    // screen's; what the host's own dpi awareness lets it see.
    int desktopScalePercent(NativeParent parent) noexcept override;

    struct State;

private:
    explicit Win32Platform(std::unique_ptr<State> opened) noexcept;
    std::unique_ptr<State> state;
};

// The HWND of a window made by a Win32Platform; null for any other window.
void* nativeWindowHandle(Window& window) noexcept;

// The frames' window class: "Plugin" and the module handle in hex, registered by the first window
// and unregistered when the last one is gone.
std::string frameWindowClassName() noexcept;

}  // namespace flanger::platform
