// The Windows module's editor: none until the Win32 window backend exists, so hosts show their
// own parameter controls. DllMain comes with the Win32 backend this module links.
#include "module/EditorChoice.h"

namespace flanger::module {

host::EditorFactory editorFactory() noexcept {
    return nullptr;
}

}  // namespace flanger::module
