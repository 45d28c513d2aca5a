// A child window of the Win32 backend and the state its platform shares with its windows. Only
// the backend's own sources include this header.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32/Win32DropTarget.h"
#include "platform/win32/Win32Platform.h"

namespace flanger::platform {
namespace win32 {

// A pointer message's coordinates, which are signed (a drag leaves the window left or above).
inline int signedLow(LPARAM value) noexcept {
    return static_cast<short>(LOWORD(static_cast<DWORD_PTR>(value)));
}
inline int signedHigh(LPARAM value) noexcept {
    return static_cast<short>(HIWORD(static_cast<DWORD_PTR>(value)));
}

inline bool keyDown(int key) noexcept {
    return (GetKeyState(key) & 0x8000) != 0;
}

}  // namespace win32

class Win32Window;

struct Win32Platform::State {
    bool swapped = false;
    std::vector<Win32Window*> windows;
    // The pointer as the pointer messages handled so far leave it. A press is often handled after
    // its release has happened: controls must see the press's state, then the release and moves in
    // order, not the live state that is already past them.
    PointerState pointer;

    bool ownsWindow(HWND window) const noexcept;
    void takePointerMessage(const MSG& message) noexcept;
    bool pointerMessageQueued() noexcept;
    PointerState pointerAfter(bool takeNext) noexcept;
};

class Win32Window final : public Window {
public:
    Win32Window(Win32Platform& owningPlatform, Win32Platform::State& shared, int width, int height) noexcept
        : platform(owningPlatform), state(shared), surface(width, height) {}
    ~Win32Window() override;

    bool create(HWND parent) noexcept;

    Platform& owner() noexcept override { return platform; }
    Surface& backing() noexcept override { return surface; }
    void present() noexcept override;
    ScreenPoint screenOrigin() noexcept override;
    bool isOpen() const noexcept override { return open; }
    std::uintptr_t systemId() const noexcept override { return reinterpret_cast<std::uintptr_t>(window); }
    void setEventHandler(WindowEvents* receiver) noexcept override { handler = receiver; }
    void setIdentity(const char* title, const char* className) noexcept override;
    void setCursorShape(int shape) noexcept override;
    void setDropHandler(DropEvents* receiver) noexcept override;
    bool beginTextInput(TextInputEvents* receiver, std::uint32_t clickTimeMs) noexcept override;
    void endTextInput() noexcept override;
    void holdKeyFocus() noexcept override;
    void releaseKeyFocus() noexcept override;
    void discardPendingButtons(int count) noexcept override;
    bool resize(int width, int height) noexcept override;

    HWND handle() const noexcept { return window; }
    LRESULT receive(HWND self, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

private:
    // A top-down 32-bit DIB section of width × height; null on failure.
    static HBITMAP makeSection(HDC memory, int width, int height, std::uint32_t*& pixels) noexcept;
    void blit(HDC target, const PixelBox& box) noexcept;
    void paint() noexcept;
    void pointerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void keyDownMessage(WPARAM virtualKey, LPARAM flags) noexcept;
    void characterMessage(WPARAM unit) noexcept;
    void destroyed() noexcept;
    bool pointerInside() noexcept;

    Win32Platform& platform;
    Win32Platform::State& state;
    Surface surface;
    HWND window = nullptr;
    const wchar_t* windowClass = nullptr;  // held while this object lives
    HDC memory = nullptr;                  // holds the DIB section selected
    HBITMAP section = nullptr;
    HGDIOBJ sectionBefore = nullptr;
    std::uint32_t* bits = nullptr;                   // the section's pixels, top row first, 0x00RRGGBB
    HCURSOR cursor = nullptr;                        // the shape shown now; null = the class's arrow
    std::unique_ptr<win32::DropRegistration> drops;  // OLE and the drop target, while drops are taken
    bool open = false;
    WindowEvents* handler = nullptr;
    // Text input: the window takes the keyboard only while an edit box is open, or a pointer
    // resting over the editor would take the host's keys.
    TextInputEvents* textReceiver = nullptr;
    HWND focusBefore = nullptr;
    wchar_t highSurrogate = 0;
    // Keys for a clicked control: held only while the pointer rests over the window.
    bool keyFocusHeld = false;
    HWND keyFocusBefore = nullptr;
};

}  // namespace flanger::platform
