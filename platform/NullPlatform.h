// The platform with no window system: no windows open, the pointer rests at the origin with no
// button down, the clock is the process's steady clock. The module falls back on it when no
// backend was chosen, so the shipped code never carries the scripted test backend.
#pragma once

#include "platform/Platform.h"

namespace flanger::platform {

class NullPlatform final : public Platform {
public:
    std::unique_ptr<Window> createChildWindow(NativeParent parent, int width, int height) noexcept override;
    PointerState readPointer() noexcept override { return {}; }
    bool buttonsSwapped() noexcept override { return false; }
    std::uint32_t tickCountMs() noexcept override;
    void sleepMs(int milliseconds) noexcept override;
    void processEvents() noexcept override {}
};

}  // namespace flanger::platform
