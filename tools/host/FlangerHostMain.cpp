// flanger-host: loads a VST 2.x module through the test host and prints what a host sees, shows
// its editor (X11 only) or renders raw stereo float audio through it, as flanger-render cuts it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/common/TestHost.h"
#include "tools/render/StereoRender.h"
#if FLANGER_HOST_EDITOR
#include "tools/common/EditorWindow.h"
#endif

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

void printParameters(PluginInstance& plugin) {
    std::printf("parameters:\n");
    for (int32_t i = 0; i < plugin.parameterCount(); ++i) {
        std::printf("  %3d %-16s %-8s %-10s value %.6f\n", i, plugin.parameterName(i).c_str(),
                    plugin.parameterLabel(i).c_str(), plugin.parameterDisplay(i).c_str(),
                    static_cast<double>(plugin.parameter(i)));
    }
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

    printParameters(*plugin);
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

bool positiveNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == 0 && out > 0.0;
}

// Options after "--render IN.f32 OUT.f32"; false for one it does not know or a bad value.
struct RenderArguments {
    std::string input;
    std::string output;
    int32_t program = -1;  // -1: the plug-in's own start program
    int sampleRate = 44100;
    int32_t block = 512;
    double tempo = 120.0;
};

bool wholeNumber(const char* text, long minimum, long maximum, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == 0 && out >= minimum && out <= maximum;
}

bool parseRenderArguments(int argc, char** argv, int first, RenderArguments& parsed) {
    for (int i = first; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        long number = 0;
        double real = 0.0;
        if (option == "--program" && wholeNumber(value, 0, 1 << 20, number)) {
            parsed.program = static_cast<int32_t>(number);
        } else if (option == "--rate" && wholeNumber(value, flanger::tools::kMinimumSampleRate,
                                                     flanger::tools::kMaximumSampleRate, number)) {
            parsed.sampleRate = static_cast<int>(number);
        } else if (option == "--block" && wholeNumber(value, 1, 65536, number)) {
            parsed.block = static_cast<int32_t>(number);
        } else if (option == "--tempo" && positiveNumber(value, real) && std::isfinite(real)) {
            parsed.tempo = real;
        } else {
            return false;
        }
    }
    return true;
}

// Raw interleaved stereo 32-bit floats in the machine's byte order, in and out, so the same
// render runs where no sound-file library is built. The plug-in is driven as flanger-render
// drives it: the same start, preroll and block cutting (tools/render/StereoRender.h).
int renderRaw(const std::string& path, const RenderArguments& arguments) {
    std::ifstream in(arguments.input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "flanger-host: cannot open %s\n", arguments.input.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr size_t kFrameBytes = 2 * sizeof(float);
    if (in.bad() || bytes.size() % kFrameBytes != 0) {
        std::fprintf(stderr, "flanger-host: %s is not whole stereo float frames\n", arguments.input.c_str());
        return 1;
    }
    const size_t frames = bytes.size() / kFrameBytes;
    std::vector<float> interleaved(frames * 2);
    std::memcpy(interleaved.data(), bytes.data(), bytes.size());
    std::vector<float> left(frames), right(frames), outLeft(frames), outRight(frames);
    for (size_t i = 0; i < frames; ++i) {
        left[i] = interleaved[2 * i];
        right[i] = interleaved[2 * i + 1];
    }

    const auto rate = static_cast<float>(arguments.sampleRate);
    flanger::tools::HostOptions options;
    options.sampleRate = rate;
    options.blockSize = std::max(arguments.block, flanger::tools::kAnnouncedBlockSize);
    std::string error;
    auto plugin = PluginInstance::load(path, options, &error);
    if (!plugin) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    if (plugin->inputCount() < 1 || plugin->outputCount() < 1) {
        std::fprintf(stderr, "flanger-host: %s has no audio inputs and outputs\n", path.c_str());
        return 1;
    }
    if (arguments.program >= plugin->programCount()) {
        std::fprintf(stderr, "flanger-host: %s has %d programs\n", path.c_str(), plugin->programCount());
        return 1;
    }
    plugin->answers().setTempo(arguments.tempo);
    plugin->answers().setTimeFlags(vst::kVstTempoValid | vst::kVstTransportPlaying);
    flanger::tools::prepareForRender(*plugin, rate, arguments.block);
    if (arguments.program >= 0) plugin->setProgram(arguments.program);
    flanger::tools::StereoRenderer renderer(*plugin, arguments.block);
    plugin->resume();
    flanger::tools::preroll(*plugin);
    renderer.process(left.data(), right.data(), outLeft.data(), outRight.data(),
                     static_cast<int64_t>(frames));
    plugin->suspend();
    plugin->close();

    for (size_t i = 0; i < frames; ++i) {
        interleaved[2 * i] = outLeft[i];
        interleaved[2 * i + 1] = outRight[i];
    }
    std::ofstream out(arguments.output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(interleaved.data()),
              static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    out.close();
    if (!out) {
        std::fprintf(stderr, "flanger-host: cannot write %s\n", arguments.output.c_str());
        return 1;
    }
    return 0;
}

#if FLANGER_HOST_EDITOR
// Options after "--editor PLUGIN.so"; false for one it does not know or a bad value.
struct EditorArguments {
    flanger::tools::EditorRunOptions options;
    std::string animate;            // a parameter's name
    bool printParameters = false;   // the values the editor left, once it is closed
    bool idleFromHostIdle = false;  // audioMasterIdle calls effEditIdle back, as some hosts do
};

bool parseEditorArguments(int argc, char** argv, int first, EditorArguments& parsed) {
    for (int i = first; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        double number = 0.0;
        if (option == "--seconds" && hasValue && positiveNumber(argv[i + 1], number)) {
            parsed.options.seconds = number;
            ++i;
        } else if (option == "--idle-ms" && hasValue && positiveNumber(argv[i + 1], number) &&
                   number <= 1000.0 && number == static_cast<int>(number)) {
            parsed.options.idleMs = static_cast<int>(number);
            ++i;
        } else if (option == "--animate" && hasValue) {
            parsed.animate = argv[++i];
        } else if (option == "--idle-from-host-idle") {
            parsed.idleFromHostIdle = true;
        } else if (option == "--no-open") {
            parsed.options.openEditor = false;
        } else if (option == "--cpu") {
            parsed.options.reportCpu = true;
        } else if (option == "--parameters") {
            parsed.printParameters = true;
        } else {
            return false;
        }
    }
    return true;
}

int showEditor(const std::string& path, EditorArguments arguments) {
    std::string error;
    auto plugin = PluginInstance::load(path, {}, &error);
    if (!plugin) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    plugin->open();
    plugin->resume();
    plugin->answers().setIdleCallsEditIdle(arguments.idleFromHostIdle);
    if (!arguments.animate.empty()) {
        arguments.options.animateParameter = plugin->findParameter(arguments.animate);
        if (arguments.options.animateParameter < 0) {
            std::fprintf(stderr, "flanger-host: %s has no parameter \"%s\"\n", path.c_str(),
                         arguments.animate.c_str());
            plugin->suspend();
            plugin->close();
            return 1;
        }
    }
    const int result = flanger::tools::runEditorWindow(*plugin, arguments.options);
    if (result == 0 && arguments.printParameters) printParameters(*plugin);
    plugin->suspend();
    plugin->close();
    return result;
}
#endif

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: flanger-host --info PLUGIN\n"
                 "       flanger-host --help\n"
                 "       flanger-host --render PLUGIN IN.f32 OUT.f32 [--program N] [--rate HZ] [--block N]\n"
                 "                    [--tempo BPM]\n"
                 "  IN.f32, OUT.f32  raw interleaved stereo 32-bit floats, rendered as flanger-render does\n"
                 "                   (rate 44100, block 512, tempo 120 unless given)\n");
#if FLANGER_HOST_EDITOR
    std::fprintf(to,
                 "       flanger-host --editor PLUGIN [--seconds S] [--idle-ms MS] [--animate PARAMETER]\n"
                 "                    [--idle-from-host-idle] [--no-open] [--cpu] [--parameters]\n"
                 "  --seconds S      close by itself after S seconds\n"
                 "  --idle-ms MS     idle every MS milliseconds, 1 to 1000 (default 20; hosts use 20 to 66)\n"
                 "  --idle-from-host-idle\n"
                 "                   also call effEditIdle from inside the plug-in's audioMasterIdle, as "
                 "some hosts do\n"
                 "  --animate NAME   move the parameter NAME before every idle\n"
                 "  --no-open        the window and idle loop without opening the editor (the host alone)\n"
                 "  --cpu            print the process's CPU time per second of wall time at the end\n"
                 "  --parameters     print the parameters once the window has closed\n");
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        usage(stdout);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0) return printInfo(argv[2]);
    RenderArguments render;
    if (argc >= 5 && std::strcmp(argv[1], "--render") == 0) {
        render.input = argv[3];
        render.output = argv[4];
        if (parseRenderArguments(argc, argv, 5, render)) return renderRaw(argv[2], render);
    }
#if FLANGER_HOST_EDITOR
    EditorArguments editor;
    if (argc >= 3 && std::strcmp(argv[1], "--editor") == 0 && parseEditorArguments(argc, argv, 3, editor)) {
        return showEditor(argv[2], editor);
    }
#endif
    usage(stderr);
    return 2;
}
