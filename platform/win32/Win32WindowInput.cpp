// The Win32 backend's window input: the messages its window procedure handles, text input, the
// keyboard focus held for a clicked control and discarded clicks.
#include "platform/win32/Win32Window.h"

#include <windows.h>

#include "platform/win32/Win32Keys.h"

namespace flanger::platform {
namespace {

bool isPress(UINT message) noexcept {
    return message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN;
}
}  // namespace

using win32::keyDown;
using win32::signedHigh;
using win32::signedLow;

bool Win32Window::beginTextInput(TextInputEvents* receiver, std::uint32_t /*clickTimeMs*/) noexcept {
    if (receiver == nullptr || window == nullptr) return false;
    focusBefore = GetFocus();
    if (keyFocusHeld) {
        // Held for a control already: the edit gives the focus back to whoever had it before.
        keyFocusHeld = false;
        focusBefore = keyFocusBefore;
    }
    textReceiver = receiver;
    highSurrogate = 0;
    if (GetFocus() != window) SetFocus(window);
    return true;
}

void Win32Window::endTextInput() noexcept {
    if (textReceiver == nullptr) return;
    textReceiver = nullptr;
    // Given back only while still ours: whoever took it since keeps it.
    if (window != nullptr && GetFocus() == window && focusBefore != window && IsWindow(focusBefore) != FALSE)
        SetFocus(focusBefore);
}

void Win32Window::holdKeyFocus() noexcept {
    if (keyFocusHeld || textReceiver != nullptr || window == nullptr) return;
    // A drag that ended outside the window leaves the keys where they were.
    if (!pointerInside()) return;
    keyFocusBefore = GetFocus();
    if (keyFocusBefore == window) return;
    SetFocus(window);
    TRACKMOUSEEVENT leave{};
    leave.cbSize = sizeof leave;
    leave.dwFlags = TME_LEAVE;
    leave.hwndTrack = window;
    TrackMouseEvent(&leave);
    keyFocusHeld = true;
}

void Win32Window::releaseKeyFocus() noexcept {
    if (!keyFocusHeld) return;
    keyFocusHeld = false;
    if (window != nullptr && GetFocus() == window && IsWindow(keyFocusBefore) != FALSE)
        SetFocus(keyFocusBefore);
}

void Win32Window::discardPendingButtons(int count) noexcept {
    if (window == nullptr) return;
    // Counted by presses: the releases in between go with them. Moves and wheel steps stay.
    MSG message;
    for (int dropped = 0; dropped < count;) {
        if (PeekMessageW(&message, window, WM_LBUTTONDOWN, WM_MBUTTONDBLCLK, PM_REMOVE | PM_NOYIELD) == FALSE)
            break;
        if (isPress(message.message)) ++dropped;
    }
    if (GetCapture() == window) ReleaseCapture();
}

void Win32Window::pointerMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    MSG taken{};
    taken.hwnd = window;
    taken.message = message;
    taken.wParam = wParam;
    taken.lParam = lParam;
    state.takePointerMessage(taken);
    if (!isPress(message)) return;
    // The release must reach this window wherever the pointer goes during the drag.
    SetCapture(window);
    if (handler != nullptr)
        handler->onButtonPress(signedLow(lParam), signedHigh(lParam),
                               win32::physicalButtonOfMessage(message, state.swapped));
}

void Win32Window::keyDownMessage(WPARAM virtualKey, LPARAM flags) noexcept {
    TextKey key;
    key.key = win32::keyOfVirtualKey(static_cast<unsigned>(virtualKey), (flags & (1 << 24)) != 0);
    key.shift = keyDown(VK_SHIFT);
    key.control = keyDown(VK_CONTROL);
    if (textReceiver != nullptr) {
        // Characters come as WM_CHAR; here only the editing keys and the Control shortcuts.
        const bool letter = key.key == Key::LetterA || key.key == Key::LetterV;
        if (key.key == Key::Other || (letter && !key.control)) return;
        textReceiver->onTextKey(key);
        return;
    }
    if (!keyFocusHeld) return;
    // Shift on its own comes before Shift+Up: it keeps the keyboard.
    if (virtualKey == VK_SHIFT || virtualKey == VK_CONTROL || virtualKey == VK_MENU) return;
    const UINT typed = MapVirtualKeyW(static_cast<UINT>(virtualKey), 2 /*MAPVK_VK_TO_CHAR*/) & 0x7FFFu;
    key.character = (typed >= 'A' && typed <= 'Z' && !key.shift) ? typed + ('a' - 'A') : typed;
    // Escape, or a key no control uses (the host's shortcut), hands the keyboard back.
    if (key.key == Key::Escape || handler == nullptr || !handler->onKey(key)) releaseKeyFocus();
}

void Win32Window::characterMessage(WPARAM unit) noexcept {
    if (textReceiver == nullptr) return;
    std::uint32_t code = static_cast<std::uint16_t>(unit);
    if (code >= 0xD800 && code < 0xDC00) {
        highSurrogate = static_cast<wchar_t>(code);
        return;
    }
    if (code >= 0xDC00 && code < 0xE000) {
        if (highSurrogate == 0) return;
        code = 0x10000 + ((static_cast<std::uint32_t>(highSurrogate) - 0xD800) << 10) + (code - 0xDC00);
    }
    highSurrogate = 0;
    // Control characters come from keys already delivered by WM_KEYDOWN (Backspace, Return, ^V).
    if (code < 0x20 || code == 0x7F) return;
    TextKey key;
    key.character = code;
    key.shift = keyDown(VK_SHIFT);
    textReceiver->onTextKey(key);
}

LRESULT Win32Window::receive(HWND self, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    // Messages sent while CreateWindowEx runs come before it has answered the handle.
    if (window == nullptr && open == false && message != WM_DESTROY) window = self;
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the backing paints every pixel
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            pointerMessage(message, wParam, lParam);
            return 0;
        case WM_MOUSEWHEEL: {
            POINT at{signedLow(lParam), signedHigh(lParam)};  // on the screen
            ScreenToClient(window, &at);
            const float steps = static_cast<float>(static_cast<short>(HIWORD(wParam))) / WHEEL_DELTA;
            if (handler != nullptr && steps != 0.0f) handler->onWheel(at.x, at.y, steps);
            return 0;
        }
        case WM_SETCURSOR:
            if (cursor != nullptr && LOWORD(lParam) == HTCLIENT) {
                SetCursor(cursor);
                return TRUE;
            }
            break;
        case WM_KEYDOWN:
            if (textReceiver != nullptr || keyFocusHeld) {
                keyDownMessage(wParam, lParam);
                return 0;
            }
            break;
        case WM_CHAR:
            if (textReceiver != nullptr) {
                characterMessage(wParam);
                return 0;
            }
            break;
        case WM_KILLFOCUS:
            if (textReceiver != nullptr) textReceiver->onTextFocusLost();
            keyFocusHeld = false;  // someone else took the keys: nothing to give back later
            break;
        case WM_MOUSELEAVE:
            releaseKeyFocus();
            return 0;
        case WM_DESTROY:
            destroyed();
            return DefWindowProcW(self, message, wParam, lParam);
        default:
            break;
    }
    return DefWindowProcW(self, message, wParam, lParam);
}

}  // namespace flanger::platform
