// The Linux module's editor: the flanger's editor on the X11 backend.
#include <memory>

#include "editor/FlangerEditor.h"
#include "module/EditorChoice.h"
#include "platform/x11/X11Platform.h"

namespace flanger::module {

namespace {

std::unique_ptr<platform::Platform> openX11() noexcept {
    // Hosts differ in what effEditOpen's value carries: the editor always opens its own connection.
    return platform::X11Platform::open(nullptr);
}

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, &openX11);
}

}  // namespace

host::EditorFactory editorFactory() noexcept {
    return &createEditor;
}

}  // namespace flanger::module
