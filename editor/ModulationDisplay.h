// The flanger's modulation display: a curve display whose curves stand on the bottom row
// instead of the middle.
#pragma once

#include <cstdint>

#include "editor/CurveDisplay.h"

namespace flanger::editor {

// The flanger's display: background from the picture's corner, curves of 0 … 1 standing on the
// bottom row, a value v lying v × (height − 1) pixels above it.
class ModulationDisplay : public CurveDisplay {
public:
    ModulationDisplay(const gui::Rect& size, gui::ValueListener* listener, std::int32_t tag,
                      gui::SkinBitmap* background, std::int32_t flags);

    virtual void loadCurve(int which, const float* values, int count);
};

}  // namespace flanger::editor
