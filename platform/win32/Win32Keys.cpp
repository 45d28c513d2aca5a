// The virtual-key table (letters are the same codes in either case) and the button messages.
#include "platform/win32/Win32Keys.h"

#include <windows.h>

namespace flanger::platform::win32 {

Key keyOfVirtualKey(unsigned virtualKey, bool extended) noexcept {
    switch (virtualKey) {
        case VK_BACK:
            return Key::Backspace;
        case VK_RETURN:
            return extended ? Key::KeypadEnter : Key::Return;
        case VK_ESCAPE:
            return Key::Escape;
        case VK_INSERT:
            return Key::Insert;
        case VK_DELETE:
            return Key::Delete;
        case VK_HOME:
            return Key::Home;
        case VK_END:
            return Key::End;
        case VK_LEFT:
            return Key::Left;
        case VK_RIGHT:
            return Key::Right;
        case VK_UP:
            return Key::Up;
        case VK_DOWN:
            return Key::Down;
        case 'A':
            return Key::LetterA;
        case 'V':
            return Key::LetterV;
        default:
            return Key::Other;
    }
}

std::uint32_t physicalButtonOfMessage(unsigned message, bool swapped) noexcept {
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            return swapped ? kRightButton : kLeftButton;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            return swapped ? kLeftButton : kRightButton;
        case WM_MBUTTONDOWN:
        case WM_MBUTTONUP:
            return kMiddleButton;
        default:
            return 0;
    }
}

}  // namespace flanger::platform::win32
