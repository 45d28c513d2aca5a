// Text on Windows through GDI: the module installs gdiText() as the toolkit's rasteriser
// (platform/SystemText.h). Fonts are made once per request and kept until clearGdiText().
#pragma once

#include "platform/SystemText.h"

namespace flanger::platform::win32 {

// The process's one GDI rasteriser; safe to use from several host threads at once.
SystemText& gdiText() noexcept;

// Deletes every font, device context and bitmap the rasteriser holds; it makes them again when
// next used. Afterwards liveGdiObjects() no longer counts any of them.
void clearGdiText() noexcept;

}  // namespace flanger::platform::win32
