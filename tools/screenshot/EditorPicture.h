// Draws the editor's pictures through the toolkit's Canvas into a headless surface: the
// background with the controls' bitmaps at their default positions, and the about picture.
#pragma once

#include "platform/Surface.h"

namespace flanger::tools {

// The background 1001 with the knobs, faders, lamp and number-field backgrounds drawn where the
// editor places them, at the parameters' default values.
platform::Surface renderEditorPreview();
// The about picture 1000 with its version line.
platform::Surface renderAboutPreview();

}  // namespace flanger::tools
