// The module's exported entry points. Hosts look up VSTPluginMain first, then main; both
// ask the host's version, build the flanger and hand back its record.
#include <new>

#include "editor/FlangerEditor.h"
#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"

namespace {

// Module instance marker, kept as the module-wide value the resource code may ask for.
const void* moduleInstance = nullptr;

__attribute__((constructor)) void moduleLoaded() {
    moduleInstance = reinterpret_cast<const void*>(&moduleLoaded);
}

flanger::vst::EffectRecord* createEffect(flanger::vst::HostCallback host) noexcept {
    if (host == nullptr) return nullptr;
    try {
        if (host(nullptr, flanger::vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
        flanger::editor::installFlangerEditor();
        auto* effect = new (std::nothrow) flanger::effect::FlangerEffect(host);
        if (effect == nullptr) return nullptr;
        if (!effect->initialise()) {
            delete effect;
            return nullptr;
        }
        return effect->effectRecord();
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
