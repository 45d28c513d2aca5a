// The Win32 backend's platform object: the windows it makes on the calling thread, the pump of
// their messages, the clipboard and popups.
#include "platform/win32/Win32Platform.h"
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/Win32Popup.h"
#include "platform/win32/Win32Window.h"

namespace flanger::platform {
namespace {

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 of at most `units` code units (stopping at a NUL) as UTF-8; lone surrogates are dropped.
std::string utf8OfUtf16(const wchar_t* text, std::size_t units) {
    std::string out;
    for (std::size_t i = 0; i < units && text[i] != 0; ++i) {
        std::uint32_t code = static_cast<std::uint16_t>(text[i]);
        if (code >= 0xD800 && code < 0xDC00) {
            if (i + 1 >= units) break;
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low < 0xDC00 || low >= 0xE000) continue;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (code >= 0xDC00 && code < 0xE000) {
            continue;
        }
        appendUtf8(out, code);
    }
    return out;
}

}  // namespace
Win32Platform::Win32Platform(std::unique_ptr<State> opened) noexcept : state(std::move(opened)) {}

Win32Platform::~Win32Platform() = default;

std::unique_ptr<Win32Platform> Win32Platform::open() noexcept {
    try {
        auto state = std::make_unique<State>();
        // The left-handed setting, read once as the toolkit expects.
        state->swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
        return std::unique_ptr<Win32Platform>(new Win32Platform(std::move(state)));
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<Window> Win32Platform::createChildWindow(NativeParent parent, int width,
                                                         int height) noexcept {
    const HWND parentWindow = reinterpret_cast<HWND>(parent);
    if (parent == 0 || width <= 0 || height <= 0 || IsWindow(parentWindow) == FALSE) return nullptr;
    try {
        state->windows.reserve(state->windows.size() + 1);
        auto window = std::make_unique<Win32Window>(*this, *state, width, height);
        if (!window->create(parentWindow)) return nullptr;
        state->windows.push_back(window.get());
        return window;
    } catch (...) {
        return nullptr;
    }
}
PointerState Win32Platform::readPointer() noexcept {
    return state->pointerAfter(false);
}

PointerState Win32Platform::trackPointer() noexcept {
    return state->pointerAfter(true);
}

bool Win32Platform::buttonsSwapped() noexcept {
    return state->swapped;
}

std::uint32_t Win32Platform::tickCountMs() noexcept {
    return GetTickCount();
}

void Win32Platform::sleepMs(int milliseconds) noexcept {
    if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

void Win32Platform::processEvents() noexcept {
    // Only this platform's windows: the host's own messages stay for the host's loop.
    const std::vector<Win32Window*> windows = state->windows;
    for (const Win32Window* window : windows) {
        const HWND handle = window->handle();
        MSG message;
        for (int handled = 0; handle != nullptr && handled < 256 &&
                              PeekMessageW(&message, handle, 0, 0, PM_REMOVE | PM_NOYIELD) != FALSE;
             ++handled) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
            // The window may have gone with the message (its parent destroyed).
            if (!state->ownsWindow(handle)) break;
        }
    }
}

bool Win32Platform::processOneExpose() noexcept {
    for (const Win32Window* window : state->windows) {
        MSG message;
        if (window->handle() != nullptr &&
            PeekMessageW(&message, window->handle(), WM_PAINT, WM_PAINT, PM_REMOVE | PM_NOYIELD) != FALSE) {
            DispatchMessageW(&message);
            return true;
        }
    }
    return false;
}

bool Win32Platform::readClipboardText(std::string& out) noexcept {
    HWND owner = state->windows.empty() ? nullptr : state->windows.front()->handle();
    // Another program may hold the clipboard open for a moment.
    bool opened = false;
    for (int attempt = 0; attempt < 25 && !opened; ++attempt) {
        opened = OpenClipboard(owner) != FALSE;
        if (!opened) Sleep(10);
    }
    if (!opened) return false;
    bool found = false;
    try {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            const auto* text = static_cast<const wchar_t*>(GlobalLock(data));
            if (text != nullptr) {
                // The block's size bounds the read: its text need not end in a NUL.
                out = utf8OfUtf16(text, GlobalSize(data) / sizeof(wchar_t));
                GlobalUnlock(data);
                found = true;
            }
        }
    } catch (...) {
        found = false;
    }
    CloseClipboard();
    return found;
}

bool Win32Platform::offersPopups() const noexcept {
    return true;
}

PixelBox Win32Platform::screenArea() noexcept {
    // The work area of the monitor the editor is on.
    return win32::win32ScreenArea(state->windows.empty() ? nullptr : state->windows.front()->handle());
}

int Win32Platform::desktopScalePercent(NativeParent parent) noexcept {
    // Looked up at run time: Windows before 10 (1607) and older Wine have no GetDpiForWindow.
    using DpiForWindow = UINT(WINAPI*)(HWND);
    static const auto dpiForWindow = []() noexcept -> DpiForWindow {
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        if (user32 == nullptr) return nullptr;
        return reinterpret_cast<DpiForWindow>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
    }();
    UINT dpi = 0;
    const HWND window = reinterpret_cast<HWND>(parent);
    if (dpiForWindow != nullptr && window != nullptr && IsWindow(window) != FALSE) {
        // The top-level window's: a host may give its child windows another awareness.
        const HWND top = GetAncestor(window, GA_ROOT);
        dpi = dpiForWindow(top != nullptr ? top : window);
    }
    if (dpi == 0) {
        if (HDC screen = GetDC(nullptr)) {
            const int pixels = GetDeviceCaps(screen, LOGPIXELSX);
            ReleaseDC(nullptr, screen);
            if (pixels > 0) dpi = static_cast<UINT>(pixels);
        }
    }
    return dpi == 0 ? 0 : static_cast<int>((dpi * 100 + 48) / 96);
}

std::unique_ptr<Popup> Win32Platform::openPopup(Window& owner, const PixelBox& box,
                                                const Surface& pixels) noexcept {
    if (&owner.owner() != this || !owner.isOpen()) return nullptr;
    return win32::openWin32Popup(nativeWindowHandle(owner), box, pixels);
}
}  // namespace flanger::platform
