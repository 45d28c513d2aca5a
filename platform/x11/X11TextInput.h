// Keyboard text for the X11 backend's edit boxes: key events decoded to keysym and Unicode
// without the process locale, and the CLIPBOARD's text read with a bounded wait.
// Only X11Platform.cpp includes this header.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace flanger::platform::x11 {

// The Unicode character a keysym types (Latin-1, the Unicode keysym range, the keypad), or 0.
std::uint32_t keysymToUnicode(unsigned long keysym) noexcept;

// A key press as the edit box takes it.
TextKey decodeKey(XKeyEvent& event) noexcept;

// The CLIPBOARD selection's text as UTF-8 (UTF8_STRING, else Latin-1 STRING), asked for on
// requestor and waited for at most timeoutMs. Large (incremental) transfers are refused.
bool readClipboard(Display* display, ::Window requestor, std::string& out, int timeoutMs) noexcept;

}  // namespace flanger::platform::x11
