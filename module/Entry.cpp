// The module's exported entry points and the one place that puts the plug-in together: it
// creates the flanger, hands it its editor factory and picks the window system the editor
// opens on. Hosts look up VSTPluginMain first, then main.
#include <memory>
#include <new>

#include "editor/FlangerEditor.h"
#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "platform/x11/X11Platform.h"

namespace {

using namespace flanger;

std::unique_ptr<platform::Platform> openX11() noexcept {
    // Hosts differ in what effEditOpen's value carries: the editor always opens its own connection.
    return platform::X11Platform::open(nullptr);
}

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept;

// What the module hands down: the effect's editor factory, and the window system each open
// editor opens for itself.
struct ModuleServices {
    host::EditorFactory editorFactory;
    gui::editor::PlatformOpener openPlatform;
};

constexpr ModuleServices kServices{&createEditor, &openX11};

host::EditorBase* createEditor(host::ExtendedEffect* effect) noexcept {
    return editor::createFlangerEditor(effect, kServices.openPlatform);
}

vst::EffectRecord* createEffect(vst::HostCallback host) noexcept {
    if (host == nullptr) return nullptr;
    try {
        if (host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        auto* made = new (std::nothrow) effect::FlangerEffect(host, kServices.editorFactory);
        if (made == nullptr) return nullptr;
        if (!made->initialise()) {
            delete made;
            return nullptr;
        }
        return made->effectRecord();
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) flanger::vst::EffectRecord* VSTPluginMain(
    flanger::vst::HostCallback host) {
    return createEffect(host);
}

// The interface's historical entry name; the assembler label lets a non-int function carry it.
__attribute__((visibility("default"))) flanger::vst::EffectRecord* legacyMain(
    flanger::vst::HostCallback host) asm("main");
flanger::vst::EffectRecord* legacyMain(flanger::vst::HostCallback host) {
    return createEffect(host);
}
}
