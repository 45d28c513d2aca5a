// Storage of the module-wide knob mode.
#include "gui/KnobMode.h"

#include <atomic>

namespace flanger::gui {
namespace {
// Writer: effSetEditKnobMode on the host's GUI thread; reader: knobs on the window thread.
// Hosts may move their GUI work between threads, hence atomic.
std::atomic<std::int32_t> mode{0};
}  // namespace

std::int32_t knobMode() noexcept {
    return mode.load(std::memory_order_relaxed);
}
void setKnobMode(std::int32_t newMode) noexcept {
    mode.store(newMode, std::memory_order_relaxed);
}

}  // namespace flanger::gui
