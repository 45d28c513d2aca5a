// The X11 backend: its own display connection, child windows inside the host's parent window,
// presentation of the backing surface (MIT-SHM where the server offers it, else XPutImage), and the
// pointer state from the events handled (XQueryPointer when none are queued). Xlib's types stay inside this
// backend: in the library layers only files under platform/x11/ include X11 headers (tools/, tests/ and
// bench/ use Xlib too, for their own X work).
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Platform.h"

namespace flanger::platform {

class X11Platform final : public Platform {
public:
    // Opens a connection (null name: $DISPLAY); null when there is no display to talk to.
    // Without allowSharedMemory every window presents through XPutImage.
    static std::unique_ptr<X11Platform> open(const char* displayName = nullptr,
                                             bool allowSharedMemory = true) noexcept;
    ~X11Platform() override;
    X11Platform(const X11Platform&) = delete;
    X11Platform& operator=(const X11Platform&) = delete;

    std::unique_ptr<Window> createChildWindow(NativeParent parent, int width, int height) noexcept override;
    PointerState readPointer() noexcept override;
    PointerState trackPointer() noexcept override;
    bool buttonsSwapped() noexcept override;
    std::uint32_t tickCountMs() noexcept override;
    void sleepMs(int milliseconds) noexcept override;
    void processEvents() noexcept override;
    bool processOneExpose() noexcept override;
    // Asked through the first open window; waits at most 250 ms for the clipboard's owner.
    bool readClipboardText(std::string& out) noexcept override;
    // Popup menus: override-redirect windows on this connection, grabbing pointer and keyboard.
    bool offersPopups() const noexcept override { return true; }
    PixelBox screenArea() noexcept override;
    std::unique_ptr<Popup> openPopup(Window& owner, const PixelBox& box,
                                     const Surface& pixels) noexcept override;
    // Xft.dpi of the server's resource database (the root window's RESOURCE_MANAGER, read anew
    // each call, so a change made with xrdb shows at the next ask); parent plays no part.
    int desktopScalePercent(NativeParent parent) noexcept override;

    // X errors raised on this connection; they are counted here instead of reaching Xlib's
    // default handler, which would end the host process.
    int errorCount() const noexcept;
    int lastErrorCode() const noexcept;
    // Waits until the server has handled every request sent so far (errors included).
    void sync() noexcept;
    // False once the connection broke; everything then does nothing instead of ending the process.
    bool connected() const noexcept;
    int connectionFd() const noexcept;
    // Windows made from now on sit in a plain container window of their own, which is what the
    // host's parent holds: for hosts that stretch the first window made in their parent.
    void setOwnContainer(bool on) noexcept;

    struct State;

private:
    explicit X11Platform(std::unique_ptr<State> opened) noexcept;
    std::unique_ptr<State> state;
};

// True for an X11 window that presents through a shared-memory segment.
bool presentsThroughSharedMemory(Window& window) noexcept;

// The XID of a window made by an X11Platform; 0 for any other window.
std::uintptr_t nativeWindowId(Window& window) noexcept;

}  // namespace flanger::platform
