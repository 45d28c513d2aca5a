// The module's own handle on Windows, kept from the loader's notification to DllMain, for the
// services that read the module's resources or name its window class, and its bitmap resources.
#pragma once

#include <cstddef>

namespace flanger::platform::win32 {

// The HINSTANCE the loader gave the module (null in a program that is no DLL).
void* moduleInstance() noexcept;

// The module's bitmap resource id as the system keeps it (a packed bitmap: info header, palette,
// pixels); in a program that is no DLL, the program's own. False when there is none.
bool moduleBitmap(int id, const unsigned char** data, std::size_t* size) noexcept;

}  // namespace flanger::platform::win32
