// The Windows module's editor: none until the Win32 window backend exists, so hosts show their
// own parameter controls. DllMain comes with the Win32 backend this module links; the skin
// bitmaps are read from the DLL's bitmap resources through it.
#include "module/EditorChoice.h"
#include "platform/win32/Win32Module.h"
#include "resources/SkinBitmaps.h"

namespace flanger::module {

host::EditorFactory editorFactory() noexcept {
    resources::setPackedBitmapReader(&platform::win32::moduleBitmap);
    return nullptr;
}

}  // namespace flanger::module
