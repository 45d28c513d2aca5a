// The VST3 module's entry points and its factory of one class. Hosts may enter and leave the
// module more than once; each entry is counted and each exit matched.
#include <atomic>
#include <cstring>

#include "module/vst3/Vst3Interface.h"
#include "module/vst3/Vst3Plugin.h"
#include "module/vst3/Vst3Text.h"

#if defined(_WIN32)
#define FLANGER_ENTRY extern "C"
#else
#define FLANGER_ENTRY extern "C" __attribute__((visibility("default")))
#endif

#ifndef FLANGER_VERSION
#error "FLANGER_VERSION must be defined by the build"
#endif

namespace flanger::vst3 {

namespace {

std::atomic<int> entries{0};  // writers: the host's entry and exit calls, on any thread

void enter() noexcept {
    entries.fetch_add(1, std::memory_order_relaxed);
}

// An exit without a matching entry is answered as well, and leaves the count at zero.
void leave() noexcept {
    int now = entries.load(std::memory_order_relaxed);
    while (now > 0 && !entries.compare_exchange_weak(now, now - 1, std::memory_order_relaxed)) {
    }
}

// What every version of the class information starts with.
template <class Info>
void describeClass(Info& info) noexcept {
    info = Info{};
    std::memcpy(info.cid, kFlangerClassId.bytes, sizeof info.cid);
    info.cardinality = kManyInstances;
    copyBytes(info.category, sizeof info.category, kClassCategory);
}

class Factory final : public IPluginFactory3 {
public:
    tresult VST3_CALL queryInterface(const TUID iid, void** object) override {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (!sameUid(iid, kFUnknownIid) && !sameUid(iid, kPluginFactoryIid) &&
            !sameUid(iid, kPluginFactory2Iid) && !sameUid(iid, kPluginFactory3Iid))
            return kNoInterface;
        *object = static_cast<IPluginFactory3*>(this);
        return kResultOk;
    }
    // The factory lives as long as the module: counting its references would change nothing.
    uint32_t VST3_CALL addRef() override { return 1; }
    uint32_t VST3_CALL release() override { return 1; }

    tresult VST3_CALL getFactoryInfo(PFactoryInfo* info) override {
        if (info == nullptr) return kInvalidArgument;
        *info = PFactoryInfo{};
        copyBytes(info->vendor, sizeof info->vendor, kVendor);
        info->flags = PFactoryInfo::kUnicode;
        return kResultOk;
    }
    int32_t VST3_CALL countClasses() override { return 1; }

    tresult VST3_CALL getClassInfo(int32_t index, PClassInfo* info) override {
        if (index != 0 || info == nullptr) return kInvalidArgument;
        describeClass(*info);
        copyBytes(info->name, sizeof info->name, kClassName);
        return kResultOk;
    }
    tresult VST3_CALL getClassInfo2(int32_t index, PClassInfo2* info) override {
        if (index != 0 || info == nullptr) return kInvalidArgument;
        describeClass(*info);
        copyBytes(info->name, sizeof info->name, kClassName);
        copyBytes(info->subCategories, sizeof info->subCategories, kSubCategories);
        copyBytes(info->vendor, sizeof info->vendor, kVendor);
        copyBytes(info->version, sizeof info->version, FLANGER_VERSION);
        copyBytes(info->sdkVersion, sizeof info->sdkVersion, kInterfaceVersion);
        return kResultOk;
    }
    tresult VST3_CALL getClassInfoUnicode(int32_t index, PClassInfoW* info) override {
        if (index != 0 || info == nullptr) return kInvalidArgument;
        describeClass(*info);
        copyToUtf16(info->name, 64, kClassName);
        copyBytes(info->subCategories, sizeof info->subCategories, kSubCategories);
        copyToUtf16(info->vendor, 64, kVendor);
        copyToUtf16(info->version, 64, FLANGER_VERSION);
        copyToUtf16(info->sdkVersion, 64, kInterfaceVersion);
        return kResultOk;
    }
    tresult VST3_CALL setHostContext(FUnknown*) override { return kResultOk; }

    tresult VST3_CALL createInstance(FIDString cid, FIDString iid, void** object) override {
        if (object == nullptr) return kInvalidArgument;
        *object = nullptr;
        if (cid == nullptr || iid == nullptr || !sameUid(cid, kFlangerClassId)) return kNoInterface;
        FlangerVst3* made = FlangerVst3::create();
        if (made == nullptr) return kResultFalse;
        const tresult answer = made->queryInterface(iid, object);
        made->release();  // the host's reference, if it asked for something we are, keeps it
        return answer;
    }
};

Factory factory;

}  // namespace

}  // namespace flanger::vst3

FLANGER_ENTRY flanger::vst3::IPluginFactory* GetPluginFactory() {
    return &flanger::vst3::factory;
}

#if defined(_WIN32)
FLANGER_ENTRY bool InitDll() {
    flanger::vst3::enter();
    return true;
}

FLANGER_ENTRY bool ExitDll() {
    flanger::vst3::leave();
    return true;
}
#else
FLANGER_ENTRY bool ModuleEntry(void*) {
    flanger::vst3::enter();
    return true;
}

FLANGER_ENTRY bool ModuleExit() {
    flanger::vst3::leave();
    return true;
}
#endif
