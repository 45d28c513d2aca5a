// The editor each system's module offers: made on the X11 backend on Linux, on Win32 on Windows.
#pragma once

#include "host/EditorBase.h"

namespace flanger::module {

// Null: the effect has no editor (its record then carries no editor flag and effEditOpen answers 0).
host::EditorFactory editorFactory() noexcept;

}  // namespace flanger::module
