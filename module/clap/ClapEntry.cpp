// The CLAP module's one export: the entry (init and deinit counted, as hosts may call them more
// than once), the plug-in factory and the preset discovery factory that lists the eight factory
// programs for hosts' preset browsers.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "effect/FlangerEffect.h"
#include "host/VstInterface.h"
#include "module/clap/ClapInterface.h"
#include "module/clap/ClapPlugin.h"

namespace flanger::clap {
namespace {

std::atomic<int> entries{0};  // writers: the host's init and deinit calls, on any thread

bool CLAP_CALL entryInit(const char*) {
    entries.fetch_add(1, std::memory_order_relaxed);
    return true;
}

// A deinit without a matching init is taken as well, and leaves the count at zero.
void CLAP_CALL entryDeinit() {
    int now = entries.load(std::memory_order_relaxed);
    while (now > 0 && !entries.compare_exchange_weak(now, now - 1, std::memory_order_relaxed)) {
    }
}

// ---- the plug-in factory

uint32_t CLAP_CALL pluginCount(const clap_plugin_factory*) {
    return 1;
}

const clap_plugin_descriptor* CLAP_CALL pluginDescriptor(const clap_plugin_factory*, uint32_t index) {
    return index == 0 ? &flangerDescriptor() : nullptr;
}

const clap_plugin* CLAP_CALL createPlugin(const clap_plugin_factory*, const clap_host* host, const char* id) {
    if (host == nullptr || id == nullptr || std::strcmp(id, kPluginId) != 0) return nullptr;
    if (!versionIsCompatible(host->clapVersion)) return nullptr;
    return FlangerClap::create(host);
}

const clap_plugin_factory kPluginFactory{pluginCount, pluginDescriptor, createPlugin};

// ---- the preset discovery factory: one provider, one location inside the plug-in

constexpr const char* kProviderId = "urn:brackwater:flanger:factory-programs";
const clap_preset_discovery_provider_descriptor kProviderDescriptor{
    kClapVersion, kProviderId, "BrackwaterFlanger factory programs", kVendor};

intptr_t answerNothing(vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct Provider {
    clap_preset_discovery_provider table{};
    const clap_preset_discovery_indexer* indexer = nullptr;
};

Provider* providerOf(const clap_preset_discovery_provider* provider) noexcept {
    if (provider == nullptr || provider->desc != &kProviderDescriptor) return nullptr;
    return static_cast<Provider*>(provider->providerData);
}

bool CLAP_CALL providerInit(const clap_preset_discovery_provider* provider) {
    Provider* self = providerOf(provider);
    if (self == nullptr || self->indexer->declareLocation == nullptr) return false;
    const clap_preset_discovery_location location{kPresetIsFactoryContent, "Factory programs",
                                                  kPresetLocationPlugin, nullptr};
    return self->indexer->declareLocation(self->indexer, &location);
}

void CLAP_CALL providerDestroy(const clap_preset_discovery_provider* provider) {
    delete providerOf(provider);
}

bool CLAP_CALL providerMetadata(const clap_preset_discovery_provider* provider, uint32_t kind, const char*,
                                const clap_preset_discovery_metadata_receiver* receiver) {
    if (providerOf(provider) == nullptr || receiver == nullptr || receiver->beginPreset == nullptr ||
        kind != kPresetLocationPlugin)
        return false;
    try {
        // The programs' names, from an effect that is never processed.
        effect::FlangerEffect names(&answerNothing, nullptr);
        if (!names.initialise()) return false;
        vst::EffectRecord* record = names.effectRecord();
        const clap_universal_plugin_id ours{"clap", kPluginId};
        for (int32_t program = 0; program < record->numPrograms; ++program) {
            char name[80] = {};
            record->dispatcher(record, vst::effGetProgramNameIndexed, program, 0, name, 0.0f);
            name[sizeof name - 1] = 0;
            char key[16];
            std::snprintf(key, sizeof key, "%d", static_cast<int>(program));
            if (!receiver->beginPreset(receiver, name, key)) break;
            if (receiver->addPluginId != nullptr) receiver->addPluginId(receiver, &ours);
            if (receiver->setFlags != nullptr) receiver->setFlags(receiver, kPresetIsFactoryContent);
        }
        return true;
    } catch (...) {
        return false;
    }
}

const void* CLAP_CALL providerExtension(const clap_preset_discovery_provider*, const char*) {
    return nullptr;
}

uint32_t CLAP_CALL providerCount(const clap_preset_discovery_factory*) {
    return 1;
}

const clap_preset_discovery_provider_descriptor* CLAP_CALL
providerDescriptor(const clap_preset_discovery_factory*, uint32_t index) {
    return index == 0 ? &kProviderDescriptor : nullptr;
}

const clap_preset_discovery_provider* CLAP_CALL createProvider(const clap_preset_discovery_factory*,
                                                               const clap_preset_discovery_indexer* indexer,
                                                               const char* id) {
    if (indexer == nullptr || id == nullptr || std::strcmp(id, kProviderId) != 0) return nullptr;
    auto* made = new (std::nothrow) Provider;
    if (made == nullptr) return nullptr;
    made->indexer = indexer;
    made->table = {&kProviderDescriptor, made, providerInit, providerDestroy, providerMetadata,
                   providerExtension};
    return &made->table;
}

const clap_preset_discovery_factory kDiscoveryFactory{providerCount, providerDescriptor, createProvider};

const void* CLAP_CALL entryFactory(const char* id) {
    if (id == nullptr) return nullptr;
    if (std::strcmp(id, kPluginFactoryId) == 0) return &kPluginFactory;
    if (std::strcmp(id, kPresetDiscoveryFactoryId) == 0 ||
        std::strcmp(id, kPresetDiscoveryFactoryIdCompat) == 0)
        return &kDiscoveryFactory;
    return nullptr;
}

}  // namespace
}  // namespace flanger::clap

extern "C" {
#if defined(_WIN32)
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
    extern const flanger::clap::clap_plugin_entry clap_entry;
const flanger::clap::clap_plugin_entry clap_entry{flanger::clap::kClapVersion, flanger::clap::entryInit,
                                                  flanger::clap::entryDeinit, flanger::clap::entryFactory};
}
