// Popup menu windows for the Win32 backend: one top-level popup window per open menu level,
// above everything, with the mouse captured on the first. Plain pointers stand for window
// handles, so callers need not see windows.h.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace flanger::platform::win32 {

// A popup over owner (a window of the calling thread) showing pixels at box on the screen as its
// first level; null when the owner is no window of this thread, the box is empty, or no window
// or capture can be had.
std::unique_ptr<Popup> openWin32Popup(void* ownerHwnd, const PixelBox& box, const Surface& pixels) noexcept;

// The work area (the screen less the task bar) of the monitor nearest the window; of the primary
// monitor without one. Empty when the system answers nothing.
PixelBox win32ScreenArea(void* hwndNear) noexcept;

// The popups' window class name: "PluginPopup" and the module handle in hex, so two modules
// loaded together never share a class. Registered while a popup exists.
const wchar_t* win32PopupClassName() noexcept;

}  // namespace flanger::platform::win32
