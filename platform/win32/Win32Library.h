// Loading a DLL and finding its exports, for the Windows test host (the only other place than
// the module's own entry that needs the Windows API today).
#pragma once

#include <string>

namespace flanger::platform::win32 {

// LoadLibraryW with the UTF-8 path converted; null and a message in error (may be null).
void* loadLibrary(const std::string& path, std::string* error) noexcept;
// GetProcAddress; null when the library has no such export.
void* findSymbol(void* library, const char* name) noexcept;
void freeLibrary(void* library) noexcept;

}  // namespace flanger::platform::win32
