// The editor each system's module offers: made on the X11 backend on Linux, on Win32 on Windows.
#pragma once

#include "host/EditorBase.h"

namespace flanger::module {

// Null: the effect has no editor (its record then carries no editor flag and effEditOpen answers 0).
// ownContainer: the editor's window sits in a container window of its own, for hosts that adopt
// the first window made in their parent and stretch it over their area (X11 only).
host::EditorFactory editorFactory(bool ownContainer = false) noexcept;

// The descriptor a host's run loop watches for the open editor's window events (its own X
// connection on Linux), or -1 where there is none.
int editorConnectionFd(vst::EffectRecord* record) noexcept;

}  // namespace flanger::module
