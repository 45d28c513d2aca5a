// flanger-host: loads a VST 2.x module through the test host and prints what a host sees.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/host/EditorWindow.h"
#include "tools/host/TestHost.h"

namespace {

using flanger::tools::PluginInstance;
namespace vst = flanger::vst;

std::string fourCharacters(int32_t id) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
        out += (c >= 32 && c < 127) ? static_cast<char>(c) : '?';
    }
    return out;
}

void printText(const char* what, PluginInstance& plugin, int32_t opcode) {
    const flanger::tools::TextAnswer answer = plugin.text(opcode, 0);
    if (answer.result != 0 || !answer.untouched) std::printf("%-16s %s\n", what, answer.text.c_str());
}

int printInfo(const std::string& path) {
    std::string error;
    auto plugin = PluginInstance::load(path, {}, &error);
    if (!plugin) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    plugin->open();
    const vst::EffectRecord& r = *plugin->record();
    std::printf("module           %s\n", path.c_str());
    std::printf("magic            0x%08X\n", static_cast<uint32_t>(r.magic));
    std::printf("uniqueID         0x%08X '%s'\n", static_cast<uint32_t>(r.uniqueID),
                fourCharacters(r.uniqueID).c_str());
    std::printf("version          %d\n", r.version);
    std::printf("numPrograms      %d\n", r.numPrograms);
    std::printf("numParams        %d\n", r.numParams);
    std::printf("numInputs        %d\n", r.numInputs);
    std::printf("numOutputs       %d\n", r.numOutputs);
    std::printf("flags            %d (0x%X)%s%s%s%s\n", r.flags, static_cast<uint32_t>(r.flags),
                (r.flags & vst::effFlagsHasEditor) ? " editor" : "",
                (r.flags & vst::effFlagsCanMono) ? " mono" : "",
                (r.flags & vst::effFlagsCanReplacing) ? " replacing" : "",
                (r.flags & vst::effFlagsProgramChunks) ? " chunks" : "");
    std::printf("initialDelay     %d\n", r.initialDelay);
    std::printf("ioRatio          %g\n", static_cast<double>(r.ioRatio));
    std::printf("vstVersion       %ld\n", static_cast<long>(plugin->dispatch(vst::effGetVstVersion)));
    std::printf("category         %ld\n", static_cast<long>(plugin->dispatch(vst::effGetPlugCategory)));
    printText("effectName", *plugin, vst::effGetEffectName);
    printText("vendor", *plugin, vst::effGetVendorString);
    printText("product", *plugin, vst::effGetProductString);

    std::printf("parameters:\n");
    for (int32_t i = 0; i < plugin->parameterCount(); ++i) {
        std::printf("  %3d %-16s %-8s %-10s value %.6f\n", i, plugin->parameterName(i).c_str(),
                    plugin->parameterLabel(i).c_str(), plugin->parameterDisplay(i).c_str(),
                    static_cast<double>(plugin->parameter(i)));
    }
    std::printf("programs (current %d):\n", plugin->program());
    for (int32_t i = 0; i < plugin->programCount(); ++i) {
        std::printf("  %3d %s\n", i, plugin->programNameAt(i).c_str());
    }
    if (plugin->hasFlag(vst::effFlagsProgramChunks)) {
        std::printf("chunk bytes      bank %zu, program %zu\n", plugin->chunk(false).size(),
                    plugin->chunk(true).size());
    } else {
        std::printf("chunk bytes      none (parameters are the state)\n");
    }
    plugin->close();
    return 0;
}

int showEditor(const std::string& path, double seconds) {
    std::string error;
    auto plugin = PluginInstance::load(path, {}, &error);
    if (!plugin) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    plugin->open();
    plugin->resume();
    flanger::tools::EditorRunOptions options;
    options.seconds = seconds;
    const int result = flanger::tools::runEditorWindow(*plugin, options);
    plugin->suspend();
    plugin->close();
    return result;
}

void usage() {
    std::fprintf(stderr, "usage: flanger-host --info PLUGIN.so\n"
                         "       flanger-host --editor PLUGIN.so [--seconds S]\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0) return printInfo(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--editor") == 0) return showEditor(argv[2], 0.0);
    if (argc == 5 && std::strcmp(argv[1], "--editor") == 0 && std::strcmp(argv[3], "--seconds") == 0) {
        char* end = nullptr;
        const double seconds = std::strtod(argv[4], &end);
        if (end != argv[4] && *end == 0 && seconds > 0.0) return showEditor(argv[2], seconds);
    }
    usage();
    return 2;
}
