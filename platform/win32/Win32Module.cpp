// DllMain: keeps the module's instance handle and asks for no per-thread notifications; the
// module's bitmap resources.
#include "platform/win32/Win32Module.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

HINSTANCE instance = nullptr;

// The file's version block, read once, and the texts converted from it: handed-out pointers
// must stay valid, so nothing is ever removed.
std::mutex versionMutex;
bool versionRead = false;                         // guarded by versionMutex
std::vector<unsigned char> versionBlock;          // likewise
std::map<std::string, std::string> versionTexts;  // likewise

void readVersionBlock() {
    versionRead = true;
    std::vector<wchar_t> file(1024);
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameW(instance, file.data(), static_cast<DWORD>(file.size()));
        if (length == 0) return;
        if (length < file.size()) break;
        if (file.size() >= 32768) return;
        file.resize(file.size() * 2);
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.data(), &ignored);
    if (size == 0) return;
    versionBlock.resize(size);
    if (GetFileVersionInfoW(file.data(), 0, size, versionBlock.data()) == FALSE) versionBlock.clear();
}

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

bool moduleVersionValue(const char* path, const void** value, std::size_t* length) noexcept {
    if (path == nullptr || value == nullptr || length == nullptr) return false;
    try {
        std::lock_guard<std::mutex> lock(versionMutex);
        if (!versionRead) readVersionBlock();
        if (versionBlock.empty()) return false;
        std::wstring widePath;
        for (const char* c = path; *c != 0; ++c)
            widePath += static_cast<wchar_t>(static_cast<unsigned char>(*c));
        void* found = nullptr;
        UINT units = 0;
        if (VerQueryValueW(versionBlock.data(), widePath.c_str(), &found, &units) == FALSE ||
            found == nullptr)
            return false;
        if (widePath.rfind(L"\\StringFileInfo\\", 0) != 0) {
            // Binary values (the translation table) come as they are; units counts bytes.
            *value = found;
            *length = units;
            return true;
        }
        // Text: units counts characters; the module's texts are Windows-1252.
        const auto* wide = static_cast<const wchar_t*>(found);
        const int bytes =
            WideCharToMultiByte(1252, 0, wide, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
        if (bytes > 0)
            WideCharToMultiByte(1252, 0, wide, static_cast<int>(units), text.data(), bytes, nullptr, nullptr);
        if (text.empty() || text.back() != '\0') text.push_back('\0');
        const std::string& kept = versionTexts.emplace(path, std::move(text)).first->second;
        *value = kept.data();
        *length = kept.size();
        return true;
    } catch (...) {
        return false;
    }
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
