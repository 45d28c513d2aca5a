// The flanger's editor: a fixed 370 × 216 window built from the module's bitmaps 1000–1010,
// background 1001. This shell opens the frame with its background; the controls build on it.
#pragma once

#include <cstdint>

#include "effect/ParameterTable.h"
#include "host/BitmapEditor.h"

namespace flanger::editor {

class FlangerEditor : public host::BitmapEditor {
public:
    static constexpr int kFirstBitmap = 1000;
    static constexpr int kBitmapCount = 11;
    static constexpr int kBackgroundBitmap = 1001;
    // The window size when the background cannot be read; also what the background measures.
    static constexpr int kWidth = 370;
    static constexpr int kHeight = 216;

    FlangerEditor(host::ExtendedEffect* owner, effect::ParameterTable* parameters);

    int32_t open(void* parent) override;
};

// Installs the module-wide hooks: the effect's editor factory and the X11 window platform
// that each open editor opens its own display connection with.
void installFlangerEditor() noexcept;

}  // namespace flanger::editor
