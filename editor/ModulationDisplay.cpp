// Modulation display: the background from the picture's corner and curves loaded onto the
// bottom row.
#include "editor/ModulationDisplay.h"

namespace flanger::editor {

ModulationDisplay::ModulationDisplay(const gui::Rect& bounds, gui::ValueListener* valueListener,
                                     std::int32_t controlTag, gui::SkinBitmap* backgroundBitmap,
                                     std::int32_t flagBits)
    : CurveDisplay(bounds, valueListener, controlTag, backgroundBitmap, flagBits) {
    backgroundOffset = {0, 0};
    baseline = height;
}

void ModulationDisplay::loadCurve(int which, const float* values, int count) {
    loadScaledCurve(which, values, count, static_cast<float>(height - 1));
}

}  // namespace flanger::editor
