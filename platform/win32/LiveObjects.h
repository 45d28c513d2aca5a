// The backend's own count of the GDI objects and windows it has made and not yet destroyed.
// Wine answers 0 to GetGuiResources, so tests of open/close cycles read these instead.
#pragma once

namespace flanger::platform::win32 {

void noteGdiObjectCreated() noexcept;
void noteGdiObjectDeleted() noexcept;
int liveGdiObjects() noexcept;

void noteWindowCreated() noexcept;
void noteWindowDestroyed() noexcept;
int liveWindows() noexcept;

}  // namespace flanger::platform::win32
