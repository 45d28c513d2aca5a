// DllMain: keeps the module's instance handle and asks for no per-thread notifications.
#include "platform/win32/Win32Module.h"

#include <windows.h>

namespace {

HINSTANCE instance = nullptr;

}  // namespace

namespace flanger::platform::win32 {

void* moduleInstance() noexcept {
    return instance;
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
