// The flanger editor shell and the module hooks that create it and give it an X11 window.
#include "editor/FlangerEditor.h"

#include <new>

#include "effect/FlangerEffect.h"
#include "platform/x11/X11Platform.h"

namespace flanger::editor {

namespace {

host::EditorBase* makeFlangerEditor(host::ExtendedEffect* owner) noexcept {
    auto* flanger = dynamic_cast<effect::FlangerEffect*>(owner);
    if (flanger == nullptr) return nullptr;
    // Attaches itself to the effect, which owns it from then on.
    return new (std::nothrow) FlangerEditor(flanger, flanger->flangerParameters());
}

std::unique_ptr<platform::Platform> openX11() noexcept {
    // Hosts differ in what effEditOpen's value carries: the editor always opens its own connection.
    return platform::X11Platform::open(nullptr);
}

}  // namespace

FlangerEditor::FlangerEditor(host::ExtendedEffect* owner, effect::ParameterTable* parameters)
    : BitmapEditor(owner, parameters) {
    bitmaps.load(kFirstBitmap, kBitmapCount, kBackgroundBitmap);
    const int width = bitmaps.getWidth(kBackgroundBitmap);
    const int height = bitmaps.getHeight(kBackgroundBitmap);
    // Hosts size their window from this before opening: never answer an empty rectangle.
    rect = {0, 0, static_cast<int16_t>(height > 0 ? height : kHeight), static_cast<int16_t>(width > 0 ? width : kWidth)};
}

int32_t FlangerEditor::open(void* parent) {
    if (parent == nullptr) return 0;
    FrameEditor::open(parent);
    if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
    frame->setBackground(bitmaps.get(kBackgroundBitmap));
    built = true;
    requestRedraw();
    return 1;
}

void installFlangerEditor() noexcept {
    host::setEditorFactory(&makeFlangerEditor);
    host::FrameEditor::setPlatformOpener(&openX11);
}

}  // namespace flanger::editor
