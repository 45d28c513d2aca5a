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

// A value of the module file's version resource, as the system's file properties read it
// (GetFileVersionInfo, VerQueryValue): path such as "\StringFileInfo\000004e4\FileVersion" or
// "\VarFileInfo\Translation"; text comes back as 8-bit text with its terminating zero. The values
// stay valid while the module is loaded. False when the file has no such value.
bool moduleVersionValue(const char* path, const void** value, std::size_t* length) noexcept;

}  // namespace flanger::platform::win32
