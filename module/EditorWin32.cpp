// The Windows module's editor: the flanger's editor on the Win32 backend. DllMain comes with the
// backend this module links; the skin bitmaps are read from the DLL's bitmap resources through
// it, the about texts from its version resource, and text is drawn by GDI.
#include <memory>

#include "editor/FlangerEditor.h"
#include "module/EditorChoice.h"
#include "platform/SystemText.h"
#include "platform/win32/GdiText.h"
#include "platform/win32/Win32Module.h"
#include "platform/win32/Win32Platform.h"
#include "resources/SkinBitmaps.h"
#include "resources/VersionInfo.h"

namespace flanger::module {

namespace {

std::unique_ptr<platform::Platform> openWin32() noexcept {
    return platform::Win32Platform::open();
}

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, &openWin32);
}

}  // namespace

host::EditorFactory editorFactory(bool) noexcept {
    resources::setPackedBitmapReader(&platform::win32::moduleBitmap);
    // The about texts come from the file's version resource, as its properties show them.
    resources::setVersionQuery(&platform::win32::moduleVersionValue);
    platform::setSystemText(&platform::win32::gdiText());
    return &createEditor;
}

// Windows delivers the editor's window messages through the thread's own queue.
int editorConnectionFd(vst::EffectRecord*) noexcept {
    return -1;
}

}  // namespace flanger::module
