// The real editor through the headless backend: the effect, its editor factory, an open into a
// scripted window, one expose and idle, and for the about picture one scripted click.
#include "tools/screenshot/FlangerEditorPicture.h"

#include <memory>
#include <new>

#include "editor/FlangerEditor.h"
#include "effect/FlangerEffect.h"
#include "gui/FrameView.h"
#include "platform/headless/HeadlessPlatform.h"

namespace flanger::tools {
namespace {

// A host that only says which version it speaks: the editor asks it for nothing else.
intptr_t quietHost(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

std::unique_ptr<platform::Platform> openHeadless() noexcept {
    return std::unique_ptr<platform::Platform>(new (std::nothrow) platform::HeadlessPlatform);
}

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, &openHeadless);
}

}  // namespace

platform::Surface renderFlangerEditor(bool aboutOpen, int scalePercent) {
    platform::Surface picture;
    {
        effect::FlangerEffect flanger(&quietHost, &createEditor);
        host::EditorBase* editor = flanger.initialise() ? flanger.editor() : nullptr;
        auto* frameEditor = dynamic_cast<gui::editor::FrameEditor*>(editor);
        // Said as a host would, so no user's saved size or desktop changes the picture.
        if (frameEditor != nullptr) frameEditor->setHostScale(scalePercent);
        if (frameEditor != nullptr && frameEditor->open(reinterpret_cast<void*>(1)) == 1) {
            auto& headless =
                static_cast<platform::HeadlessPlatform&>(frameEditor->frameView()->windowPlatform());
            auto* window = static_cast<platform::HeadlessWindow*>(frameEditor->frameView()->nativeWindow());
            window->postExpose({0, 0, window->backing().width(), window->backing().height()});
            frameEditor->idle();
            if (aboutOpen) {
                // The title lettering opens the about picture.
                const gui::Point title =
                    frameEditor->frameView()->pixelScale().toPhysical(gui::Point{30, 12});
                headless.setPointer(title.h, title.v);
                headless.setButtons(platform::kLeftButton);
                window->postButtonPress(title.h, title.v, platform::kLeftButton);
                frameEditor->idle();  // a click: the splash reads the button once, no drag loop
                headless.setButtons(0);
                frameEditor->idle();
            }
            picture = window->screen();
            frameEditor->close();
        }
    }
    return picture;
}

}  // namespace flanger::tools
