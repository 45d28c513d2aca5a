// The desktop's scale on X11: Xft.dpi from the X resource database (what xrdb and the desktops'
// settings daemons set), read without Xlib's resource parser or the process locale.
#pragma once

namespace flanger::platform::x11 {

// Xft.dpi in resources (RESOURCE_MANAGER text: "name:\tvalue" lines, the last of a name winning)
// in percent of 96 dpi, rounded; 0 when resources is null or holds no exact Xft.dpi whose value
// is a positive number (digits, optionally a fraction).
int desktopScaleOfResources(const char* resources) noexcept;

}  // namespace flanger::platform::x11
