// Popup menu windows for the X11 backend: override-redirect windows on the editor's own
// connection, one per open menu level, with the pointer and keyboard grabbed on the first.
// Only the backend's own sources include this header.
#pragma once

#include <X11/Xlib.h>

#include <memory>

#include "platform/Platform.h"

namespace flanger::platform {

class X11Platform;

namespace x11 {

// A popup above everything showing pixels at box, its inputs taken while owner (the editor's
// window) lives; null when the pointer or keyboard grab is refused or no window can be made.
std::unique_ptr<Popup> openPopup(X11Platform& platform, Display* display, ::Window owner, const PixelBox& box,
                                 const Surface& pixels) noexcept;

}  // namespace x11
}  // namespace flanger::platform
