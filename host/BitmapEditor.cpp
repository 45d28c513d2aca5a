// The bitmap editor base's host side: default open with an empty frame, close, and the
// editor counter and flag the effect's processing reads.
#include "host/BitmapEditor.h"

#include "host/ExtendedEffect.h"

namespace flanger::host {

BitmapEditor::BitmapEditor(ExtendedEffect* owner, effect::ParameterTable* parameters)
    : FrameEditor(owner), table(parameters) {
    if (effect != nullptr) effect->attachEditor(this);
}

BitmapEditor::~BitmapEditor() {
    // The views hold references on the set's bitmaps: let them go before the set does.
    destroyFrame();
}

int32_t BitmapEditor::open(void* parent) {
    rect = {0, 0, 0, 0};
    FrameEditor::open(parent);
    if (!createFrame({0, 0, rect.right, rect.bottom})) return 0;
    built = true;
    requestRedraw();
    return 1;
}

void BitmapEditor::close() {
    destroyFrame();
    built = false;
}

void BitmapEditor::idle() {
    FrameEditor::idle();
    // Runs on every idle, also while the in-host-idle guard holds the rest back.
    if (table == nullptr) return;
    if (const int counter = table->editorCounter(); counter > 0) table->setEditorCounter(counter - 1);
    table->setEditorFlag(true);
}

}  // namespace flanger::host
