// The pixels of an X window as the server shows them, as a surface (tests and test tools only).
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>

#include "platform/Surface.h"

namespace flanger::testing {

// Empty when the window cannot be read (gone, unmapped, or smaller than asked).
inline platform::Surface grabWindow(Display* display, ::Window window, int width, int height) {
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return {};
    platform::Surface surface(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            surface.setPixel(x, y, static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF);
    XDestroyImage(image);
    return surface;
}

}  // namespace flanger::testing
