// Resident memory per plug-in instance, as a session with many instances pays it: loads the
// VST 2.x module once, starts 256 instances the way a host does (open, 44.1 kHz, 512-frame
// blocks, mains on, one block processed, editor never opened) and prints the growth of the
// process's resident set divided by the count. One instance is started first, so what the
// module sets up once (tables, the factory programs' texts) is not charged to the average.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host/VstInterface.h"
#include "tools/common/CommandLine.h"

namespace {

using namespace flanger::vst;

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: flanger_instance_memory [--count N] MODULE\n"
                 "Starts N instances (default 256) of a VST 2.x module at 44.1 kHz with 512-frame\n"
                 "blocks and prints the resident memory each one adds, on average.\n"
                 "  --count N    instances to start (1 to 4096)\n"
                 "  -h, --help   this text\n"
                 "examples:\n"
                 "  flanger_instance_memory build/BrackwaterFlanger.so\n");
}

intptr_t answerHost(EffectRecord*, int32_t opcode, int32_t, intptr_t, void*, float) {
    if (opcode == audioMasterVersion) return 2400;
    if (opcode == audioMasterGetSampleRate) return 44100;
    if (opcode == audioMasterGetBlockSize) return 512;
    return 0;
}

long residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

EffectRecord* start(EntryProc entry, std::vector<float>& samples) {
    EffectRecord* effect = entry(answerHost);
    if (!effect) return nullptr;
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 512, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    float* in[2] = {samples.data(), samples.data() + 512};
    float* out[2] = {samples.data() + 1024, samples.data() + 1536};
    effect->processReplacing(effect, in, out, 512);
    return effect;
}

}  // namespace

int main(int argc, char** argv) {
    const flanger::tools::CommandLine commandLine("flanger_instance_memory", usage);
    long long count = 256;
    std::string module;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (flanger::tools::isHelpOption(argument)) return commandLine.help();
        if (argument == "--count") {
            if (i + 1 >= argc) return commandLine.missingValue(argument);
            const auto value = flanger::tools::readInteger(argv[++i], 1, 4096);
            if (!value) return commandLine.badValue(argument, argv[i], "a whole number from 1 to 4096");
            count = *value;
        } else if (flanger::tools::looksLikeOption(argument)) {
            return commandLine.unknownOption(argument);
        } else if (module.empty()) {
            module = argument;
        } else {
            return commandLine.refuse("unexpected argument " + argument);
        }
    }
    if (module.empty()) return commandLine.refuse("no module given");
    void* library = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "flanger_instance_memory: cannot load %s: %s\n", module.c_str(), dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<EntryProc>(dlsym(library, "VSTPluginMain"));
    if (!entry) {
        std::fprintf(stderr, "flanger_instance_memory: %s has no VSTPluginMain\n", module.c_str());
        return 1;
    }

    std::vector<float> samples(2048, 0.25f);
    std::vector<EffectRecord*> effects;
    effects.reserve(static_cast<size_t>(count) + 1);
    effects.push_back(start(entry, samples));
    const long before = residentBytes();
    for (long long i = 0; i < count; ++i) effects.push_back(start(entry, samples));
    const long after = residentBytes();
    for (EffectRecord* effect : effects)
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);

    std::printf("%lld instances at 44.1 kHz, 512-frame blocks: %.1f KiB resident per instance\n", count,
                static_cast<double>(after - before) / static_cast<double>(count) / 1024.0);
    return 0;
}
