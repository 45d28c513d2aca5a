// The process-wide choice of platform the toolkit reads live state through.
#include "platform/Platform.h"

#include <atomic>

#include "platform/NullPlatform.h"

namespace flanger::platform {
namespace {

NullPlatform& fallbackPlatform() noexcept {
    static NullPlatform instance;
    return instance;
}

// Written by the editor's open/close and by tests, read by canvases; both on the GUI thread,
// atomic because hosts may move that thread between calls.
std::atomic<Platform*> installed{nullptr};

}  // namespace

Platform& currentPlatform() noexcept {
    Platform* platform = installed.load(std::memory_order_acquire);
    return platform != nullptr ? *platform : fallbackPlatform();
}

void setCurrentPlatform(Platform* platform) noexcept {
    installed.store(platform, std::memory_order_release);
}

}  // namespace flanger::platform
