// The process-wide choice of platform the toolkit reads live state through.
#include "platform/Platform.h"

#include <atomic>
#include <cstdint>

#include "platform/NullPlatform.h"
#include "platform/SystemText.h"

namespace flanger::platform {
namespace {

NullPlatform& fallbackPlatform() noexcept {
    static NullPlatform instance;
    return instance;
}

// Written by the editor's open/close and by tests, read by canvases; both on the GUI thread,
// atomic because hosts may move that thread between calls.
std::atomic<Platform*> installed{nullptr};
// Installed once by the module before any editor opens.
std::atomic<SystemText*> installedText{nullptr};

// Windows-1252 bytes 0x80–0x9F; the rest of the code page equals Unicode.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

std::uint32_t windows1252CodePoint(unsigned char byte) noexcept {
    if (byte >= 0x80 && byte < 0xA0) return kCp1252High[byte - 0x80];
    return byte;
}

Platform& currentPlatform() noexcept {
    Platform* platform = installed.load(std::memory_order_acquire);
    return platform != nullptr ? *platform : fallbackPlatform();
}

void setCurrentPlatform(Platform* platform) noexcept {
    installed.store(platform, std::memory_order_release);
}

SystemText* systemText() noexcept {
    return installedText.load(std::memory_order_acquire);
}

void setSystemText(SystemText* text) noexcept {
    installedText.store(text, std::memory_order_release);
}

}  // namespace flanger::platform
