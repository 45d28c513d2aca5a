// The built module as a host sees it: entry points, the fresh record and the dispatcher's
// answers, loaded through the test host.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include "platform/win32/Win32Library.h"
#else
#include <dlfcn.h>
#endif

#include <cstring>
#include <memory>
#include <string>

#include "tools/common/TestHost.h"

namespace flanger {
namespace {

using tools::PluginInstance;

std::unique_ptr<PluginInstance> loadModule(tools::HostOptions options = {}) {
    std::string error;
    auto instance = PluginInstance::load(FLANGER_MODULE_PATH, options, &error);
    EXPECT_TRUE(error.empty()) << error;
    return instance;
}

TEST(ModuleEntry, HostAnsweringVersionZeroGetsNoRecord) {
    tools::HostOptions options;
    options.hostVersion = 0;
    std::string error;
    auto instance = PluginInstance::load(FLANGER_MODULE_PATH, options, &error);
    EXPECT_TRUE(instance == nullptr || !instance->isOpen());
}

#if defined(_WIN32)
void* openModule() {
    std::string error;
    void* library = platform::win32::loadLibrary(FLANGER_MODULE_PATH, &error);
    EXPECT_NE(library, nullptr) << error;
    return library;
}
void* moduleSymbol(void* library, const char* name) {
    return platform::win32::findSymbol(library, name);
}
void closeModule(void* library) {
    platform::win32::freeLibrary(library);
}
#else
void* openModule() {
    void* library = dlopen(FLANGER_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << dlerror();
    return library;
}
void* moduleSymbol(void* library, const char* name) {
    return dlsym(library, name);
}
void closeModule(void* library) {
    dlclose(library);
}
#endif

TEST(ModuleEntry, BothEntryNamesBuildARecord) {
    void* library = openModule();
    ASSERT_NE(library, nullptr);
    for (const char* name : {"VSTPluginMain", "main"}) {
        auto entry = reinterpret_cast<vst::EntryProc>(moduleSymbol(library, name));
        ASSERT_NE(entry, nullptr) << name;
        auto host = [](vst::EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) -> intptr_t {
            return opcode == vst::audioMasterVersion ? 2400 : 0;
        };
        vst::EffectRecord* record = entry(host);
        ASSERT_NE(record, nullptr) << name;
        EXPECT_EQ(record->magic, vst::kEffectMagic);
        EXPECT_EQ(record->dispatcher(record, vst::effClose, 0, 0, nullptr, 0), 1);
    }
    closeModule(library);
}

TEST(ModuleRecord, FreshRecordDescribesTheFlanger) {
    auto plugin = loadModule();
    ASSERT_TRUE(plugin && plugin->isOpen());
    const vst::EffectRecord* r = plugin->record();
    EXPECT_EQ(r->magic, 0x56737450);
    EXPECT_EQ(r->numPrograms, 8);
    EXPECT_EQ(r->numParams, 11);
    EXPECT_EQ(r->numInputs, 2);
    EXPECT_EQ(r->numOutputs, 2);
    EXPECT_EQ(r->flags & ~vst::effFlagsHasEditor, 56);
    EXPECT_EQ(r->uniqueID, vst::fourCharacters('K', 'Z', 'T', 'M'));
    EXPECT_EQ(r->version, 1);
    EXPECT_EQ(r->ioRatio, 1.0f);
    EXPECT_NE(r->processReplacing, nullptr);
    // Newer hosts look for a double-precision entry here: it must be absent.
    void* doubleEntry = nullptr;
    std::memcpy(&doubleEntry, r->future, sizeof doubleEntry);
    EXPECT_EQ(doubleEntry, nullptr);
}

TEST(ModuleDispatcher, AnswersHostsRelyOn) {
    auto plugin = loadModule();
    ASSERT_TRUE(plugin && plugin->isOpen());
    // Some hosts configure before opening; every order must be safe.
    plugin->dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    plugin->dispatch(vst::effSetBlockSize, 0, 512);
    EXPECT_EQ(plugin->dispatch(vst::effIdentify), 0x4E764566);
    plugin->open();
    EXPECT_EQ(plugin->dispatch(vst::effGetVstVersion), 2200);
    EXPECT_EQ(plugin->dispatch(vst::effKeysRequired), 1);
    EXPECT_EQ(plugin->dispatch(vst::effGetCurrentMidiProgram), -1);
    EXPECT_EQ(plugin->dispatch(vst::effGetPlugCategory), vst::kPlugCategEffect);
    char capability[] = "receiveVstTimeInfo";
    EXPECT_EQ(plugin->dispatch(vst::effCanDo, 0, 0, capability), 0);
    for (int32_t opcode = 69; opcode < 128; ++opcode) EXPECT_EQ(plugin->dispatch(opcode), 0) << opcode;
    EXPECT_EQ(plugin->dispatch(-1), 0);
    plugin->resume();
    plugin->suspend();
    EXPECT_EQ(plugin->close(), 1);
    EXPECT_FALSE(plugin->isOpen());
}

}  // namespace
}  // namespace flanger
