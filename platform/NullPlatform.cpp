// The null platform: every window request fails, time is real.
#include "platform/NullPlatform.h"

#include <chrono>
#include <thread>

namespace flanger::platform {

std::unique_ptr<Window> NullPlatform::createChildWindow(NativeParent, int, int) noexcept {
    return nullptr;
}

std::uint32_t NullPlatform::tickCountMs() noexcept {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void NullPlatform::sleepMs(int milliseconds) noexcept {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace flanger::platform
