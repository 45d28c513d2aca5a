// DllMain: keeps the module's instance handle and asks for no per-thread notifications; the
// module's bitmap resources.
#include "platform/win32/Win32Module.h"

#include <windows.h>

namespace {

HINSTANCE instance = nullptr;

}  // namespace

namespace flanger::platform::win32 {

void* moduleInstance() noexcept {
    return instance;
}

bool moduleBitmap(int id, const unsigned char** data, std::size_t* size) noexcept {
    if (data == nullptr || size == nullptr || id < 0 || id > 0xffff) return false;
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));  // RT_BITMAP
    if (found == nullptr) return false;
    // A module's resources stay mapped while it is loaded: nothing to free.
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD length = SizeofResource(instance, found);
    if (bytes == nullptr || length == 0) return false;
    *data = static_cast<const unsigned char*>(bytes);
    *size = length;
    return true;
}

}  // namespace flanger::platform::win32

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        instance = module;
        // Hosts start and stop audio threads freely; the module keeps no per-thread state.
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
