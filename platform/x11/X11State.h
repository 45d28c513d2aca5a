// The X11 backend's shared connection state: one per X11Platform, read by its windows. Only the
// backend's own sources include this header.
#pragma once

#include <X11/Xlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/x11/X11Platform.h"

namespace flanger::platform {

class X11Window;

struct X11Platform::State {
    Display* display = nullptr;
    // Set by Xlib's I/O-error exit hook on the thread that hit the broken connection; read before
    // every request. Once set, the connection is never used again (only closed).
    std::atomic<bool> lost{false};
    int slot = -1;
    ::Window root = 0;
    std::array<unsigned char, 256> logicalOfPhysical{};  // pointer mapping, read once
    int mappedButtons = 0;
    bool swapped = false;
    bool allowSharedMemory = true;
    bool ownContainer = false;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::vector<X11Window*> windows;

    // Physical button (1–3) whose press produced this logical button, or 0.
    unsigned physicalOf(unsigned logical) const noexcept {
        for (int p = 0; p < std::min(mappedButtons, 3); ++p) {
            if (logicalOfPhysical[static_cast<std::size_t>(p)] == logical)
                return static_cast<unsigned>(p + 1);
        }
        return logical <= 3 && mappedButtons == 0 ? logical : 0;
    }
    // The PhysicalButton bit of a logical button, 0 for the wheel and beyond.
    std::uint32_t physicalBit(unsigned logical) const noexcept {
        static constexpr std::uint32_t kBits[4] = {0, kLeftButton, kMiddleButton, kRightButton};
        const unsigned physical = physicalOf(logical);
        return physical <= 3 ? kBits[physical] : 0;
    }
    // Buttons and modifiers of an X state mask (logical buttons, as the server reports them).
    void readMask(unsigned mask, PointerState& out) const noexcept {
        const unsigned logicalMasks[3] = {Button1Mask, Button2Mask, Button3Mask};
        out.buttons = 0;
        for (unsigned logical = 1; logical <= 3; ++logical) {
            if ((mask & logicalMasks[logical - 1]) != 0) out.buttons |= physicalBit(logical);
        }
        out.shift = (mask & ShiftMask) != 0;
        out.control = (mask & ControlMask) != 0;
        out.alt = (mask & Mod1Mask) != 0;
    }

    // The pointer as the pointer events handled so far leave it. Presses are delivered from the
    // host's idle, often after their release has happened: controls must see the press's state,
    // then the release and motions in order, not the live state that is already past them.
    PointerState pointer;
    bool ownsPointerEvent(const XEvent& event) const noexcept;
    void takePointerEvent(const XEvent& event) noexcept;
    bool pointerEventQueued() noexcept;
    PointerState pointerAfter(bool takeNext) noexcept;
    bool queryPointer(PointerState& out) noexcept;
};

}  // namespace flanger::platform
