// Pictures of the flanger's real editor: a FlangerEffect with its editor opened on the headless
// backend, painted as a host's first expose would paint it.
#pragma once

#include "platform/Surface.h"

namespace flanger::tools {

// The editor at the factory program "Default"; with aboutOpen, after a click on the title has
// opened the about picture. Empty when the editor cannot be opened.
// At scalePercent (one of the editor's sizes), as a host asking for it would get it.
platform::Surface renderFlangerEditor(bool aboutOpen, int scalePercent = 100);

}  // namespace flanger::tools
