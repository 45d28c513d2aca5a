// The Linux module's editor: the flanger's editor on the X11 backend.
#include <memory>

#include "editor/FlangerEditor.h"
#include "gui/FrameView.h"
#include "gui/editor/FrameEditor.h"
#include "host/ExtendedEffect.h"
#include "module/EditorChoice.h"
#include "platform/x11/X11Platform.h"

namespace flanger::module {

namespace {

std::unique_ptr<platform::Platform> openX11() noexcept {
    // Hosts differ in what effEditOpen's value carries: the editor always opens its own connection.
    return platform::X11Platform::open(nullptr);
}

std::unique_ptr<platform::Platform> openX11InContainer() noexcept {
    auto opened = platform::X11Platform::open(nullptr);
    if (opened != nullptr) opened->setOwnContainer(true);
    return opened;
}

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, &openX11);
}

host::EditorBase* createContainedEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, &openX11InContainer);
}

}  // namespace

host::EditorFactory editorFactory(bool ownContainer) noexcept {
    return ownContainer ? &createContainedEditor : &createEditor;
}

int editorConnectionFd(vst::EffectRecord* record) noexcept {
    auto* effect = record != nullptr
                       ? static_cast<host::ExtendedEffect*>(static_cast<host::EffectBase*>(record->object))
                       : nullptr;
    auto* editor = effect != nullptr ? dynamic_cast<gui::editor::FrameEditor*>(effect->editor()) : nullptr;
    if (editor == nullptr || editor->frameView() == nullptr || editor->frameView()->nativeWindow() == nullptr)
        return -1;
    auto* x11 = dynamic_cast<platform::X11Platform*>(&editor->frameView()->nativeWindow()->owner());
    return x11 != nullptr && x11->connected() ? x11->connectionFd() : -1;
}

}  // namespace flanger::module
