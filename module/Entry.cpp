// The module's exported entry points and the one place that puts the plug-in together: it
// creates the flanger and hands it the editor factory of this system's backend (EditorChoice.h).
// Hosts look up VSTPluginMain first, then main.
#include <new>

#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "module/EditorChoice.h"

// Exports: the version script keeps the two entry points public on Linux; on Windows the .def
// file names them (the visibility attribute means nothing to a PE module).
#if defined(_WIN32)
#define FLANGER_ENTRY
#else
#define FLANGER_ENTRY __attribute__((visibility("default")))
#endif

namespace {

using namespace flanger;

vst::EffectRecord* createEffect(vst::HostCallback host) noexcept {
    if (host == nullptr) return nullptr;
    try {
        if (host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        auto* made = new (std::nothrow) effect::FlangerEffect(host, module::editorFactory());
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

FLANGER_ENTRY flanger::vst::EffectRecord* VSTPluginMain(flanger::vst::HostCallback host) {
    return createEffect(host);
}

// The interface's historical entry name; the assembler label lets a non-int function carry it.
FLANGER_ENTRY flanger::vst::EffectRecord* legacyMain(flanger::vst::HostCallback host) asm("main");
flanger::vst::EffectRecord* legacyMain(flanger::vst::HostCallback host) {
    return createEffect(host);
}
}
