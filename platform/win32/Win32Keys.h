// Windows input messages in the toolkit's terms: virtual-key codes as its keys and mouse-button
// messages as its physical buttons, one table for every window of the backend.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace flanger::platform::win32 {

// extended: bit 24 of the key message's lParam, which tells the keypad's Enter from Return.
Key keyOfVirtualKey(unsigned virtualKey, bool extended) noexcept;

// The PhysicalButton of a button-down or button-up message (0 for any other). Messages name
// logical buttons; with the left-handed setting (swapped) the left one is the physical right.
std::uint32_t physicalButtonOfMessage(unsigned message, bool swapped) noexcept;

}  // namespace flanger::platform::win32
