// Controls drawn partly in code over the skin's art: the knob that fades when it takes no input
// and the lamp whose two frames are smaller than its control.
#pragma once

#include <cstdint>

#include "gui/controls/Buttons.h"
#include "gui/controls/RotaryKnob.h"

namespace flanger::editor {

// A rotary knob that shows when it takes no input: in free mode the sync multiple edits nothing,
// so its cap and handle are drawn faded into the panel, as its field's text is greyed.
class DimmableKnob : public gui::controls::RotaryKnob {
public:
    using RotaryKnob::RotaryKnob;
    void draw(gui::Canvas& canvas) override;

private:
    static std::uint32_t dimmed(std::uint32_t rgb);
};

// The two-frame lamp is 11 × 22 while its control is 12 × 12: drawn as the plain toggle draws,
// the off frame would show the on frame's first row and the on frame would read past the
// bitmap. One frame's pixels are drawn and the rest of the rectangle shows the editor behind it.
class LampButton : public gui::controls::ToggleButton {
public:
    using ToggleButton::ToggleButton;
    void draw(gui::Canvas& canvas) override;
};

}  // namespace flanger::editor
