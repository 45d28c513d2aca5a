// LoadLibraryW / GetProcAddress / FreeLibrary behind plain pointers and UTF-8 paths.
#include "platform/win32/Win32Library.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace flanger::platform::win32 {

namespace {

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string describe(DWORD code) {
    char buffer[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    char number[32];
    std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
    return text.empty() ? std::string(number) : text + " (" + number + ")";
}

}  // namespace

void* loadLibrary(const std::string& path, std::string* error) noexcept {
    try {
        const std::wstring wide = widen(path);
        // No "cannot find" dialog boxes from a test run; the caller reports the failure.
        const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
        HMODULE module = wide.empty() ? nullptr : LoadLibraryW(wide.c_str());
        const DWORD code = GetLastError();
        SetErrorMode(previousMode);
        if (module == nullptr && error != nullptr) *error = describe(code);
        return reinterpret_cast<void*>(module);
    } catch (...) {
        if (error != nullptr) *error = "out of memory";
        return nullptr;
    }
}

void* findSymbol(void* library, const char* name) noexcept {
    if (library == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void freeLibrary(void* library) noexcept {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace flanger::platform::win32
