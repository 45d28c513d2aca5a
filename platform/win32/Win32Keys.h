// Windows virtual-key codes as the toolkit's keys: one table for every window of the backend
// that reads WM_KEYDOWN.
#pragma once

#include "platform/Platform.h"

namespace flanger::platform::win32 {

// extended: bit 24 of the key message's lParam, which tells the keypad's Enter from Return.
Key keyOfVirtualKey(unsigned virtualKey, bool extended) noexcept;

}  // namespace flanger::platform::win32
