// Counters only: windows and GDI objects may be made on more than one host thread.
#include "platform/win32/LiveObjects.h"

#include <atomic>

namespace flanger::platform::win32 {
namespace {

std::atomic<int> gdiObjects{0};
std::atomic<int> windows{0};

}  // namespace

void noteGdiObjectCreated() noexcept {
    gdiObjects.fetch_add(1, std::memory_order_relaxed);
}

void noteGdiObjectDeleted() noexcept {
    gdiObjects.fetch_sub(1, std::memory_order_relaxed);
}

int liveGdiObjects() noexcept {
    return gdiObjects.load(std::memory_order_relaxed);
}

void noteWindowCreated() noexcept {
    windows.fetch_add(1, std::memory_order_relaxed);
}

void noteWindowDestroyed() noexcept {
    windows.fetch_sub(1, std::memory_order_relaxed);
}

int liveWindows() noexcept {
    return windows.load(std::memory_order_relaxed);
}

}  // namespace flanger::platform::win32
