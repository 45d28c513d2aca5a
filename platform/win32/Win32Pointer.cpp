// The Win32 backend's pointer state: what the pointer messages handled so far say, the live state
// when nothing queued contradicts it.
#include <windows.h>

#include <algorithm>

#include "platform/win32/Win32Window.h"

namespace flanger::platform {
namespace {

// Pointer messages the tracking loops take in order: moves and the three buttons' presses and
// releases. Wheel messages lie above this range and stay queued.
constexpr UINT kFirstPointerMessage = WM_MOUSEMOVE;
constexpr UINT kLastPointerMessage = WM_MBUTTONDBLCLK;
// The PhysicalButton bits of the logical buttons a message's key state names: the toolkit
// applies the left-handed swap itself, so it is undone here.
std::uint32_t physicalButtons(WPARAM keys, bool swapped) noexcept {
    std::uint32_t bits = 0;
    if ((keys & MK_LBUTTON) != 0) bits |= swapped ? kRightButton : kLeftButton;
    if ((keys & MK_RBUTTON) != 0) bits |= swapped ? kLeftButton : kRightButton;
    if ((keys & MK_MBUTTON) != 0) bits |= kMiddleButton;
    return bits;
}
}  // namespace

using win32::keyDown;
using win32::signedHigh;
using win32::signedLow;

bool Win32Platform::State::ownsWindow(HWND handle) const noexcept {
    if (handle == nullptr) return false;
    return std::any_of(windows.begin(), windows.end(),
                       [handle](const Win32Window* window) { return window->handle() == handle; });
}

void Win32Platform::State::takePointerMessage(const MSG& message) noexcept {
    POINT at{signedLow(message.lParam), signedHigh(message.lParam)};
    ClientToScreen(message.hwnd, &at);
    pointer.position = {at.x, at.y};
    // The key state a message carries is the one after it: a press includes its button.
    pointer.buttons = physicalButtons(message.wParam, swapped);
    pointer.shift = (message.wParam & MK_SHIFT) != 0;
    pointer.control = (message.wParam & MK_CONTROL) != 0;
    pointer.alt = keyDown(VK_MENU);
    // The last button up ends the drag: the capture taken at its press goes.
    if (pointer.buttons == 0 && message.message != WM_MOUSEMOVE && ownsWindow(GetCapture())) ReleaseCapture();
}

bool Win32Platform::State::pointerMessageQueued() noexcept {
    MSG message;
    for (const Win32Window* window : windows) {
        if (window->handle() != nullptr &&
            PeekMessageW(&message, window->handle(), kFirstPointerMessage, kLastPointerMessage,
                         PM_NOREMOVE | PM_NOYIELD) != FALSE)
            return true;
    }
    return false;
}

PointerState Win32Platform::State::pointerAfter(bool takeNext) noexcept {
    MSG message;
    if (takeNext) {
        for (const Win32Window* window : windows) {
            if (window->handle() != nullptr &&
                PeekMessageW(&message, window->handle(), kFirstPointerMessage, kLastPointerMessage,
                             PM_REMOVE | PM_NOYIELD) != FALSE) {
                takePointerMessage(message);
                return pointer;
            }
        }
    } else if (pointerMessageQueued()) {
        return pointer;
    }
    // Nothing queued contradicts the live state. The asynchronous key state reads the physical
    // buttons, as the toolkit wants them.
    POINT at{};
    if (GetCursorPos(&at) != FALSE) pointer.position = {at.x, at.y};
    pointer.buttons = 0;
    if ((GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0) pointer.buttons |= kLeftButton;
    if ((GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0) pointer.buttons |= kRightButton;
    if ((GetAsyncKeyState(VK_MBUTTON) & 0x8000) != 0) pointer.buttons |= kMiddleButton;
    pointer.shift = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
    pointer.control = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
    pointer.alt = (GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
    return pointer;
}
}  // namespace flanger::platform
