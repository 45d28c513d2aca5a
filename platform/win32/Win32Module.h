// The module's own handle on Windows, kept from the loader's notification to DllMain, for the
// services that read the module's resources or name its window class.
#pragma once

namespace flanger::platform::win32 {

// The HINSTANCE the loader gave the module (null in a program that is no DLL).
void* moduleInstance() noexcept;

}  // namespace flanger::platform::win32
