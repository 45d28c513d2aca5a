// The one module-wide knob mode the host selects (effSetEditKnobMode) and knobs read when a
// drag starts: 0 circular, 1 relative circular, 2 linear.
#pragma once

#include <cstdint>

namespace flanger::gui {

std::int32_t knobMode() noexcept;
void setKnobMode(std::int32_t mode) noexcept;

}  // namespace flanger::gui
