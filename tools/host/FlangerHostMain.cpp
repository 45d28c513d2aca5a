// flanger-host: loads a VST 2.x module, a VST3 bundle or a CLAP module through the test hosts and
// prints what a host sees, shows its editor (X11 or Win32) or renders raw stereo float audio
// through it, as flanger-render cuts it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/ClapHost.h"
#include "tools/common/CommandLine.h"
#include "tools/common/TestHost.h"
#include "tools/common/Vst3Host.h"
#include "tools/render/StereoRender.h"
#if FLANGER_HOST_EDITOR
#include "tools/common/EditorWindow.h"
#endif

namespace {

using flanger::tools::ClapPlugin;
using flanger::tools::PluginInstance;
using flanger::tools::Vst3Plugin;
namespace clap = flanger::clap;
namespace vst = flanger::vst;
namespace vst3 = flanger::vst3;

void usage(std::FILE* to);
const flanger::tools::CommandLine commandLine("flanger-host", usage);

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

// Options after "--render PLUGIN IN.f32 OUT.f32".
struct RenderArguments {
    std::string input;
    std::string output;
    int32_t program = -1;  // -1: the plug-in's own start program
    int sampleRate = 44100;
    int32_t block = 512;
    double tempo = 120.0;
};

std::optional<int> parseRenderArguments(int argc, char** argv, int first, RenderArguments& parsed) {
    for (int i = first; i < argc; ++i) {
        const std::string option = argv[i];
        if (flanger::tools::isHelpOption(option)) return commandLine.help();
        const bool takesValue =
            option == "--program" || option == "--rate" || option == "--block" || option == "--tempo";
        if (!takesValue) {
            if (flanger::tools::looksLikeOption(option)) return commandLine.unknownOption(option);
            return commandLine.refuse("--render takes one input and one output (" + option + ")");
        }
        if (i + 1 >= argc) return commandLine.missingValue(option);
        const char* value = argv[++i];
        if (option == "--program") {
            const auto n = flanger::tools::readInteger(value, 0, 1 << 20);
            if (!n) return commandLine.badValue(option, value, "a program number");
            parsed.program = static_cast<int32_t>(*n);
        } else if (option == "--rate") {
            const auto n = flanger::tools::readInteger(value, flanger::tools::kMinimumSampleRate,
                                                       flanger::tools::kMaximumSampleRate);
            if (!n) return commandLine.badValue(option, value, "a sample rate from 8000 to 192000 Hz");
            parsed.sampleRate = static_cast<int>(*n);
        } else if (option == "--block") {
            const auto n = flanger::tools::readInteger(value, 1, 65536);
            if (!n) return commandLine.badValue(option, value, "1 to 65536 frames");
            parsed.block = static_cast<int32_t>(*n);
        } else {
            const auto bpm = flanger::tools::readReal(value);
            if (!bpm || *bpm <= 0.0 || *bpm > 999.0)
                return commandLine.badValue(option, value, "a BPM above 0 up to 999");
            parsed.tempo = *bpm;
        }
    }
    return std::nullopt;
}

// Raw interleaved stereo 32-bit floats in the machine's byte order, in and out, so the same
// render runs where no sound-file library is built.
struct StereoAudio {
    std::vector<float> left, right;
};

std::optional<StereoAudio> readRawStereo(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "flanger-host: cannot open %s\n", path.c_str());
        return std::nullopt;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr size_t kFrameBytes = 2 * sizeof(float);
    if (in.bad() || bytes.size() % kFrameBytes != 0) {
        std::fprintf(stderr, "flanger-host: %s is not whole stereo float frames\n", path.c_str());
        return std::nullopt;
    }
    const size_t frames = bytes.size() / kFrameBytes;
    std::vector<float> interleaved(frames * 2);
    std::memcpy(interleaved.data(), bytes.data(), bytes.size());
    StereoAudio audio{std::vector<float>(frames), std::vector<float>(frames)};
    for (size_t i = 0; i < frames; ++i) {
        audio.left[i] = interleaved[2 * i];
        audio.right[i] = interleaved[2 * i + 1];
    }
    return audio;
}

bool writeRawStereo(const std::string& path, const StereoAudio& audio) {
    std::vector<float> interleaved(audio.left.size() * 2);
    for (size_t i = 0; i < audio.left.size(); ++i) {
        interleaved[2 * i] = audio.left[i];
        interleaved[2 * i + 1] = audio.right[i];
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(interleaved.data()),
              static_cast<std::streamsize>(interleaved.size() * sizeof(float)));
    out.close();
    if (!out) {
        std::fprintf(stderr, "flanger-host: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// The plug-in is driven as flanger-render drives it: the same start, preroll and block cutting
// (tools/render/StereoRender.h).
int renderRaw(const std::string& path, const RenderArguments& arguments) {
    const std::optional<StereoAudio> input = readRawStereo(arguments.input);
    if (!input) return 1;
    const size_t frames = input->left.size();
    StereoAudio output{std::vector<float>(frames), std::vector<float>(frames)};

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
    renderer.process(input->left.data(), input->right.data(), output.left.data(), output.right.data(),
                     static_cast<int64_t>(frames));
    plugin->suspend();
    plugin->close();
    return writeRawStereo(arguments.output, output) ? 0 : 1;
}

// --- VST3 bundles, driven alike: the same rate, announced block, program before activation, tempo,
// preroll and block cutting, so a bundle and a VST 2.x module of one effect render the same bytes.

std::unique_ptr<Vst3Plugin> loadVst3(const std::string& path) {
    std::string error;
    auto plugin = Vst3Plugin::load(path, &error);
    if (!plugin) std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
    return plugin;
}

// The parameter flagged as the program change, if any.
std::optional<flanger::tools::Vst3ParameterInfo> programParameter(Vst3Plugin& plugin) {
    for (const auto& info : plugin.parameters())
        if ((info.flags & vst3::ParameterInfo::kIsProgramChange) != 0) return info;
    return std::nullopt;
}

std::string flagNames(int32_t flags) {
    std::string text;
    if (flags & vst3::ParameterInfo::kCanAutomate) text += " automate";
    if (flags & vst3::ParameterInfo::kIsReadOnly) text += " read-only";
    if (flags & vst3::ParameterInfo::kIsList) text += " list";
    if (flags & vst3::ParameterInfo::kIsHidden) text += " hidden";
    if (flags & vst3::ParameterInfo::kIsProgramChange) text += " program";
    if (flags & vst3::ParameterInfo::kIsBypass) text += " bypass";
    return text;
}

void printVst3Parameters(Vst3Plugin& plugin) {
    std::printf("parameters:\n");
    for (const auto& info : plugin.parameters()) {
        const double value = plugin.parameter(info.id);
        const std::string shown = plugin.display(info.id, value).value_or("?");
        std::printf("  %3u %-16s %-8s %-10s value %.6f\n", info.id, info.title.c_str(), info.units.c_str(),
                    shown.c_str(), value);
    }
}

int printVst3Info(const std::string& path) {
    std::string error;
    auto module = flanger::tools::Vst3Module::load(path, &error);
    if (!module) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    const flanger::tools::Vst3FactoryInfo factory = module->factoryInfo();
    std::printf("bundle           %s\n", path.c_str());
    std::printf("binary           %s\n", module->binaryPath().c_str());
    std::printf("vendor           %s\n", factory.vendor.c_str());
    std::printf("url              %s\n", factory.url.c_str());
    std::printf("email            %s\n", factory.email.c_str());
    std::printf("factory flags    0x%X\n", static_cast<uint32_t>(factory.flags));
    const auto classes = module->classes();
    const flanger::tools::Vst3ClassInfo* audio = nullptr;
    for (const auto& info : classes) {
        std::printf("class            %s %s \"%s\"\n", flanger::tools::hexUid(info.cid.data()).c_str(),
                    info.category.c_str(), info.name.c_str());
        if (info.extended) {
            std::printf("  subCategories  %s\n", info.subCategories.c_str());
            std::printf("  vendor         %s\n", info.vendor.c_str());
            std::printf("  version        %s\n", info.version.c_str());
            std::printf("  sdkVersion     %s\n", info.sdkVersion.c_str());
            std::printf("  classFlags     0x%X\n", info.classFlags);
        }
        if (audio == nullptr && info.category == "Audio Module Class") audio = &info;
    }
    if (audio == nullptr) {
        std::fprintf(stderr, "flanger-host: %s has no class of category \"Audio Module Class\"\n",
                     path.c_str());
        return 1;
    }
    auto plugin = Vst3Plugin::create(module, audio->cid.data(), &error);
    if (!plugin) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    vst3::TUID controllerId{};
    const bool named = plugin->component()->getControllerClassId(controllerId) == vst3::kResultOk;
    std::printf("controller       %s%s\n",
                plugin->controllerIsComponent() ? "the component itself" : "a class of its own",
                named ? (", class " + flanger::tools::hexUid(controllerId)).c_str() : "");
    for (const int32_t direction : {vst3::kInput, vst3::kOutput}) {
        const int32_t count = plugin->component()->getBusCount(vst3::kAudio, direction);
        std::printf("audio %-10s %d bus(es)\n", direction == vst3::kInput ? "inputs" : "outputs", count);
        for (int32_t i = 0; i < count; ++i) {
            vst3::BusInfo bus{};
            if (plugin->component()->getBusInfo(vst3::kAudio, direction, i, bus) != vst3::kResultOk) continue;
            std::printf("  %d \"%s\" %d channel(s)%s%s\n", i, flanger::tools::fromUtf16(bus.name).c_str(),
                        bus.channelCount, bus.busType == vst3::kMain ? " main" : " aux",
                        (bus.flags & vst3::kDefaultActive) ? " active by default" : "");
        }
    }
    const bool single = plugin->processor()->canProcessSampleSize(vst3::kSample32) == vst3::kResultOk;
    const bool twice = plugin->processor()->canProcessSampleSize(vst3::kSample64) == vst3::kResultOk;
    std::printf("sample sizes     %s%s\n", single ? "32-bit" : "", twice ? " 64-bit" : "");
    std::printf("latency          %u\n", plugin->processor()->getLatencySamples());
    std::printf("tail             %u\n", plugin->processor()->getTailSamples());
    std::printf("parameters       %d\n", plugin->parameterCount());
    for (const auto& info : plugin->parameters()) {
        std::printf("  %3u %-16s %-6s steps %-3d default %.6f%s\n", info.id, info.title.c_str(),
                    info.units.c_str(), info.stepCount, info.defaultValue, flagNames(info.flags).c_str());
    }
    printVst3Parameters(*plugin);
    const auto programs = plugin->programNames();
    std::printf("programs:\n");
    for (size_t i = 0; i < programs.size(); ++i) std::printf("  %3zu %s\n", i, programs[i].c_str());
    vst3::tresult stateResult = vst3::kResultFalse;
    const auto state = plugin->state(&stateResult);
    std::printf("state bytes      %zu%s\n", state.size(),
                stateResult == vst3::kResultOk ? "" : " (getState failed)");
    return 0;
}

int renderVst3(const std::string& path, const RenderArguments& arguments) {
    const std::optional<StereoAudio> input = readRawStereo(arguments.input);
    if (!input) return 1;
    const size_t frames = input->left.size();
    StereoAudio output{std::vector<float>(frames), std::vector<float>(frames)};
    auto plugin = loadVst3(path);
    if (!plugin) return 1;
    std::optional<flanger::tools::Vst3ParameterInfo> program;
    if (arguments.program >= 0) {
        program = programParameter(*plugin);
        const int32_t count = program ? program->stepCount + 1 : 0;
        if (!program || program->stepCount < 1 || arguments.program >= count) {
            std::fprintf(stderr, "flanger-host: %s has %d programs\n", path.c_str(), program ? count : 0);
            return 1;
        }
    }
    plugin->setTempo(arguments.tempo);
    const double rate = arguments.sampleRate;
    const int32_t announced = std::max(arguments.block, flanger::tools::kAnnouncedBlockSize);
    if (plugin->setupProcessing(rate, announced) != vst3::kResultOk ||
        plugin->setBusArrangements(vst3::kArrangementStereo, vst3::kArrangementStereo) != vst3::kResultOk) {
        std::fprintf(stderr, "flanger-host: %s refuses stereo at %d Hz\n", path.c_str(),
                     arguments.sampleRate);
        return 1;
    }
    if (program)
        plugin->setParameter(program->id, static_cast<double>(arguments.program) / program->stepCount);
    if (plugin->setActive(true) != vst3::kResultOk) {
        std::fprintf(stderr, "flanger-host: %s refuses to be activated\n", path.c_str());
        return 1;
    }
    plugin->setProcessing(true);
    std::vector<float> left(flanger::tools::kPrerollFrames, 0.0f), right(left);
    bool ok = flanger::tools::renderStereo(*plugin, left.data(), right.data(), left.data(), right.data(),
                                           flanger::tools::kPrerollFrames, flanger::tools::kPrerollBlock);
    ok = flanger::tools::renderStereo(*plugin, input->left.data(), input->right.data(), output.left.data(),
                                      output.right.data(), static_cast<int64_t>(frames), arguments.block) &&
         ok;
    plugin->stop();
    if (!ok) std::fprintf(stderr, "flanger-host: %s: a process call did not answer ok\n", path.c_str());
    return writeRawStereo(arguments.output, output) && ok ? 0 : 1;
}

// --- CLAP modules, driven alike: the same rate, announced block, tempo, preroll and block cutting;
// the program is the discovery factory's preset of that number, loaded before activation as hosts
// restore a preset.

std::unique_ptr<ClapPlugin> loadClap(const std::string& path) {
    std::string error;
    auto plugin = ClapPlugin::load(path, {}, &error);
    if (!plugin) std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
    return plugin;
}

std::string clapVersionText(const clap::clap_version& v) {
    return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

std::string clapParamFlagNames(uint32_t flags) {
    std::string text;
    if (flags & clap::kParamIsStepped) text += " stepped";
    if (flags & clap::kParamIsPeriodic) text += " periodic";
    if (flags & clap::kParamIsHidden) text += " hidden";
    if (flags & clap::kParamIsReadonly) text += " read-only";
    if (flags & clap::kParamIsBypass) text += " bypass";
    if (flags & clap::kParamIsAutomatable) text += " automate";
    if (flags & clap::kParamIsModulatable) text += " modulate";
    if (flags & clap::kParamIsEnum) text += " enum";
    return text;
}

void printClapParameters(ClapPlugin& plugin) {
    std::printf("parameters:\n");
    for (const auto& info : plugin.parameters()) {
        const double value = plugin.value(info.id).value_or(0.0);
        const std::string shown = plugin.valueToText(info.id, value).value_or("?");
        std::printf("  %3u %-16s %-10s value %.6f\n", info.id, info.name.c_str(), shown.c_str(), value);
    }
}

int printClapInfo(const std::string& path) {
    std::string error;
    auto module = flanger::tools::ClapModule::load(path, &error);
    if (!module) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    std::printf("module           %s\n", path.c_str());
    std::printf("clap version     %s\n", clapVersionText(module->entry().clapVersion).c_str());
    const auto descriptors = module->descriptors();
    for (const auto& d : descriptors) {
        std::printf("plugin           %s \"%s\"\n", d.id.c_str(), d.name.c_str());
        std::printf("  vendor         %s\n", d.vendor.c_str());
        std::printf("  version        %s\n", d.version.c_str());
        std::printf("  clap version   %s\n", clapVersionText(d.clapVersion).c_str());
        std::printf("  url            %s\n", d.url.c_str());
        std::printf("  description    %s\n", d.description.c_str());
        std::string features;
        for (const auto& f : d.features) features += (features.empty() ? "" : " ") + f;
        std::printf("  features       %s\n", features.c_str());
    }
    if (descriptors.empty()) {
        std::fprintf(stderr, "flanger-host: %s lists no plug-in\n", path.c_str());
        return 1;
    }
    auto plugin = ClapPlugin::create(module, descriptors.front().id, {}, &error);
    if (!plugin) {
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return 1;
    }
    std::string extensions;
    for (const char* id :
         {clap::kExtAudioPorts, clap::kExtParams, clap::kExtState, clap::kExtLatency, clap::kExtGui,
          clap::kExtTimerSupport, clap::kExtPosixFdSupport, clap::kExtPresetLoad}) {
        if (plugin->extension(id) != nullptr) extensions += std::string(extensions.empty() ? "" : " ") + id;
    }
    std::printf("extensions       %s\n", extensions.c_str());
    for (const bool input : {true, false}) {
        const auto ports = plugin->audioPorts(input);
        std::printf("audio %-10s %zu port(s)\n", input ? "inputs" : "outputs", ports.size());
        for (const auto& port : ports) {
            std::printf("  %u \"%s\" %u channel(s) %s%s%s\n", port.id, port.name.c_str(), port.channelCount,
                        port.portType.c_str(), (port.flags & clap::kAudioPortIsMain) ? " main" : "",
                        (port.flags & clap::kAudioPortSupports64Bits) ? " 64-bit" : "");
        }
    }
    if (const auto latency = plugin->latency()) std::printf("latency          %u\n", *latency);
    const auto parameters = plugin->parameters();
    std::printf("parameters       %zu\n", parameters.size());
    for (const auto& info : parameters) {
        std::printf("  %3u %-16s min %g max %g default %g%s\n", info.id, info.name.c_str(), info.minValue,
                    info.maxValue, info.defaultValue, clapParamFlagNames(info.flags).c_str());
    }
    printClapParameters(*plugin);
    const flanger::tools::ClapPresetListing presets = module->presets();
    std::printf("presets:\n");
    for (const auto& preset : presets.presets) {
        std::printf("  %-4s %s%s\n", preset.loadKey.value_or("-").c_str(), preset.name.c_str(),
                    preset.locationKind == clap::kPresetLocationPlugin
                        ? ""
                        : (" in " + preset.location.value_or("?")).c_str());
    }
    const auto state = plugin->saveState();
    if (state) {
        std::printf("state bytes      %zu\n", state->size());
    } else {
        std::printf("state bytes      none (no state, or its save failed)\n");
    }
    int width = 0, height = 0;
    if (plugin->editorSize(width, height)) {
        std::printf("editor           %s, %d x %d\n", ClapPlugin::windowApi(), width, height);
    } else {
        std::printf("editor           none for %s\n", ClapPlugin::windowApi());
    }
    return 0;
}

int renderClap(const std::string& path, const RenderArguments& arguments) {
    const std::optional<StereoAudio> input = readRawStereo(arguments.input);
    if (!input) return 1;
    const size_t frames = input->left.size();
    StereoAudio output{std::vector<float>(frames), std::vector<float>(frames)};
    auto plugin = loadClap(path);
    if (!plugin) return 1;
    if (arguments.program >= 0) {
        const auto presets = plugin->module().presets().presets;
        if (arguments.program >= static_cast<int32_t>(presets.size())) {
            std::fprintf(stderr, "flanger-host: %s has %zu programs\n", path.c_str(), presets.size());
            return 1;
        }
        const flanger::tools::ClapPreset& preset = presets[static_cast<size_t>(arguments.program)];
        if (!plugin->loadPreset(preset.locationKind, preset.location ? preset.location->c_str() : nullptr,
                                preset.loadKey ? preset.loadKey->c_str() : nullptr)) {
            std::fprintf(stderr, "flanger-host: %s refuses its preset %d (%s)\n", path.c_str(),
                         arguments.program, preset.name.c_str());
            return 1;
        }
    }
    plugin->setTempo(arguments.tempo);
    const auto announced =
        static_cast<uint32_t>(std::max(arguments.block, flanger::tools::kAnnouncedBlockSize));
    if (!plugin->activate(arguments.sampleRate, 1, announced) || !plugin->startProcessing()) {
        std::fprintf(stderr, "flanger-host: %s refuses to be activated at %d Hz\n", path.c_str(),
                     arguments.sampleRate);
        return 1;
    }
    std::vector<float> left(flanger::tools::kPrerollFrames, 0.0f), right(left);
    bool ok = flanger::tools::renderStereo(*plugin, left.data(), right.data(), left.data(), right.data(),
                                           flanger::tools::kPrerollFrames, flanger::tools::kPrerollBlock);
    ok = flanger::tools::renderStereo(*plugin, input->left.data(), input->right.data(), output.left.data(),
                                      output.right.data(), static_cast<int64_t>(frames),
                                      static_cast<uint32_t>(arguments.block)) &&
         ok;
    plugin->stop();
    if (!ok) std::fprintf(stderr, "flanger-host: %s: a process call answered an error\n", path.c_str());
    return writeRawStereo(arguments.output, output) && ok ? 0 : 1;
}

#if FLANGER_HOST_EDITOR
struct EditorArguments {
    flanger::tools::EditorRunOptions options;
    std::string animate;            // a parameter's name
    bool printParameters = false;   // the values the editor left, once it is closed
    bool idleFromHostIdle = false;  // audioMasterIdle calls effEditIdle back, as some hosts do
    bool printEdits = false;        // the begin and end of every edit the editor reported, in order
};

// The edits the editor reported while it was open, one line each, in the order they came.
void printEdits(PluginInstance& plugin) {
    for (const flanger::tools::HostRequest& request : plugin.requests().snapshot()) {
        if (request.opcode == vst::audioMasterBeginEdit) std::printf("edit begin %d\n", request.index);
        if (request.opcode == vst::audioMasterEndEdit) std::printf("edit end %d\n", request.index);
    }
}

// Reads the options after "--editor PLUGIN.so"; an exit code when the tool must stop here (help,
// or a command line it cannot follow).
std::optional<int> parseEditorArguments(int argc, char** argv, int first, EditorArguments& parsed) {
    for (int i = first; i < argc; ++i) {
        const std::string option = argv[i];
        const bool takesValue =
            option == "--seconds" || option == "--idle-ms" || option == "--animate" || option == "--snapshot";
        if (takesValue && i + 1 >= argc) return commandLine.missingValue(option);
        if (option == "--seconds") {
            const auto seconds = flanger::tools::readReal(argv[++i]);
            if (!seconds || *seconds <= 0.0) return commandLine.badValue(option, argv[i], "seconds above 0");
            parsed.options.seconds = *seconds;
        } else if (option == "--idle-ms") {
            const auto ms = flanger::tools::readInteger(argv[++i], 1, 1000);
            if (!ms) return commandLine.badValue(option, argv[i], "whole milliseconds from 1 to 1000");
            parsed.options.idleMs = static_cast<int>(*ms);
        } else if (option == "--animate") {
            parsed.animate = argv[++i];
        } else if (option == "--idle-from-host-idle") {
            parsed.idleFromHostIdle = true;
        } else if (option == "--no-open") {
            parsed.options.openEditor = false;
        } else if (option == "--cpu") {
#if defined(_WIN32)
            return commandLine.refuse("--cpu is Linux-only");
#else
            parsed.options.reportCpu = true;
#endif
        } else if (option == "--snapshot") {
#if defined(_WIN32)
            parsed.options.snapshotPath = argv[++i];
#else
            return commandLine.refuse(
                "--snapshot is Windows-only (flanger-screenshot takes pictures on Linux)");
#endif
        } else if (option == "--edits") {
            parsed.printEdits = true;
        } else if (option == "--parameters") {
            parsed.printParameters = true;
        } else if (flanger::tools::isHelpOption(option)) {
            return commandLine.help();
        } else if (flanger::tools::looksLikeOption(option)) {
            return commandLine.unknownOption(option);
        } else {
            return commandLine.refuse("one module at a time (" + option + ")");
        }
    }
    return std::nullopt;
}

// A VST3 editor in the tool's window: its timers and descriptors run from the window's loop.
class Vst3Editor final : public flanger::tools::EditorClient {
public:
    explicit Vst3Editor(Vst3Plugin& p) : plugin(p) {}
    bool hasEditor() override {
        vst3::IPlugView* view = plugin.controller() ? plugin.controller()->createView("editor") : nullptr;
        if (view != nullptr) view->release();
        return view != nullptr;
    }
    std::string path() override { return plugin.module().bundlePath(); }
    std::string name() override { return plugin.name(); }
    void size(int& width, int& height) override {
        if (!plugin.editorSize(width, height)) {
            width = 400;
            height = 300;
        }
    }
    bool open(void*, void* parent) override {
        std::string error;
        if (plugin.openEditor(parent, &error)) return true;
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return false;
    }
    void idle() override { plugin.runLoopOnce(0); }
    void close() override { plugin.closeEditor(); }
    void setParameter(int32_t id, float normalised) override {
        plugin.setParameter(static_cast<vst3::ParamID>(id), normalised);
    }
    std::vector<int> wakeDescriptors() override { return plugin.runLoop().descriptors(); }
    int waitMs(int idleMs) override { return plugin.runLoop().msUntilNextTimer(idleMs); }

private:
    Vst3Plugin& plugin;
};

// A CLAP editor in the tool's window: its timers and descriptors run from the window's loop, and
// the values it reports reach the host through flush (the plug-in is active, not processing).
class ClapEditor final : public flanger::tools::EditorClient {
public:
    explicit ClapEditor(ClapPlugin& p) : plugin(p), parameters(p.parameters()) {}
    bool hasEditor() override { return plugin.hasEditor(); }
    std::string path() override { return plugin.module().path(); }
    std::string name() override { return plugin.name(); }
    void size(int& width, int& height) override {
        if (!plugin.editorSize(width, height)) {
            width = 400;
            height = 300;
        }
    }
    bool open(void*, void* parent) override {
        std::string error;
        if (plugin.openEditor(parent, &error)) return true;
        std::fprintf(stderr, "flanger-host: %s\n", error.c_str());
        return false;
    }
    void idle() override { plugin.runLoopOnce(0); }
    void close() override { plugin.closeEditor(); }
    // --animate: the normalised value mapped onto the parameter's plain range, as automation.
    void setParameter(int32_t id, float normalised) override {
        for (const auto& info : parameters) {
            if (info.id != static_cast<clap::clap_id>(id)) continue;
            double plain = info.minValue + (info.maxValue - info.minValue) * normalised;
            if (info.flags & clap::kParamIsStepped) plain = std::round(plain);
            plugin.addValue(info.id, 0, plain);
            plugin.flush();
        }
    }
    std::vector<int> wakeDescriptors() override { return plugin.runLoop().descriptors(); }
    int waitMs(int idleMs) override { return plugin.runLoop().msUntilNextTimer(idleMs); }

private:
    ClapPlugin& plugin;
    std::vector<flanger::tools::ClapParamInfo> parameters;
};

int editorExit(flanger::tools::EditorRunEnd end) {
    using flanger::tools::EditorRunEnd;
    switch (end) {
        case EditorRunEnd::Closed:
        case EditorRunEnd::Terminated:
            return 0;
        case EditorRunEnd::Interrupted:
            return 130;  // 128 + SIGINT, as a shell reports it: a script's loop or && chain stops here
        case EditorRunEnd::NotShown:
            break;
    }
    return 1;
}

// The parameter --animate names, looked up in a VST3 or CLAP plug-in; false (said) when it has none.
template <class Plugin>
bool findAnimated(Plugin& plugin, const std::string& path, EditorArguments& arguments) {
    if (arguments.animate.empty()) return true;
    const auto id = plugin.findParameter(arguments.animate);
    if (!id) {
        std::fprintf(stderr, "flanger-host: %s has no parameter \"%s\"\n", path.c_str(),
                     arguments.animate.c_str());
        return false;
    }
    arguments.options.animateParameter = static_cast<int32_t>(*id);
    return true;
}

// --edits: the begin and end of every edit the editor reported, as for VST 2.x modules.
template <class Edit>
void printEdits(const std::vector<Edit>& edits) {
    for (const Edit& edit : edits) {
        if (edit.kind == Edit::Kind::Begin) std::printf("edit begin %u\n", edit.id);
        if (edit.kind == Edit::Kind::End) std::printf("edit end %u\n", edit.id);
    }
}

int showVst3Editor(const std::string& path, EditorArguments arguments) {
    if (arguments.idleFromHostIdle) return commandLine.refuse("--idle-from-host-idle is for VST 2.x modules");
    auto plugin = loadVst3(path);
    if (!plugin) return 1;
    plugin->start(44100.0, 1024);
    if (!findAnimated(*plugin, path, arguments)) return 1;
    Vst3Editor editor(*plugin);
    using flanger::tools::EditorRunEnd;
    const EditorRunEnd end = flanger::tools::runEditorWindow(editor, arguments.options);
    if (end != EditorRunEnd::NotShown && arguments.printEdits) printEdits(plugin->handler().edits());
    if (end != EditorRunEnd::NotShown && arguments.printParameters) printVst3Parameters(*plugin);
    plugin->stop();
    return editorExit(end);
}

int showClapEditor(const std::string& path, EditorArguments arguments) {
    if (arguments.idleFromHostIdle) return commandLine.refuse("--idle-from-host-idle is for VST 2.x modules");
    auto plugin = loadClap(path);
    if (!plugin) return 1;
    plugin->activate(44100.0, 1, 1024);
    if (!findAnimated(*plugin, path, arguments)) return 1;
    ClapEditor editor(*plugin);
    using flanger::tools::EditorRunEnd;
    const EditorRunEnd end = flanger::tools::runEditorWindow(editor, arguments.options);
    if (end != EditorRunEnd::NotShown && arguments.printEdits) printEdits(plugin->outputEvents().edits());
    if (end != EditorRunEnd::NotShown && arguments.printParameters) printClapParameters(*plugin);
    plugin->stop();
    return editorExit(end);
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
    using flanger::tools::EditorRunEnd;
    const EditorRunEnd end = flanger::tools::runEditorWindow(*plugin, arguments.options);
    // An interrupted run still prints what the editor left: that is what Ctrl+C was waiting for.
    if (end != EditorRunEnd::NotShown && arguments.printEdits) printEdits(*plugin);
    if (end != EditorRunEnd::NotShown && arguments.printParameters) printParameters(*plugin);
    plugin->suspend();
    plugin->close();
    return editorExit(end);
}

#endif

void usage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: flanger-host --info PLUGIN\n"
#if FLANGER_HOST_EDITOR
        "       flanger-host --editor PLUGIN [options]\n"
#endif
        "       flanger-host --render PLUGIN IN.f32 OUT.f32 [--program N] [--rate HZ] [--block N] [--tempo "
        "BPM]\n"
        "       flanger-host --help\n"
        "PLUGIN is a VST 2.x module, a VST3 bundle (a folder, or a file, whose name ends in .vst3) or a\n"
        "CLAP module (a file whose name ends in .clap).\n"
        "--info prints what a host sees of the module: its record, parameters, programs and chunk sizes\n"
        "(of a bundle: its factory, classes, buses, parameters, programs and state size; of a CLAP\n"
        "module: its plug-ins, extensions, ports, parameters, presets, state size and editor).\n"
        "--render renders raw interleaved stereo 32-bit floats as flanger-render does (start, preroll,\n"
        "block cutting): --program N (default: the module's own; a bundle's through its program\n"
        "parameter; a CLAP module's preset N as its preset discovery lists them), --rate HZ (default\n"
        "44100), --block N (default 512), --tempo BPM (default 120).\n");
#if FLANGER_HOST_EDITOR
    std::fprintf(
        to,
        "--editor shows its editor in a window of its own, idled as hosts do, until the window is closed\n"
        "or Ctrl+C.\n"
        "options of --editor:\n"
        "  --seconds S      close by itself after S seconds (default: stay open until closed)\n"
        "  --idle-ms MS     idle every MS milliseconds, 1 to 1000 (default 20; hosts use 20 to 66); a\n"
        "                   bundle's or CLAP module's editor also runs whenever its own timers and\n"
        "                   descriptors ask\n"
        "  --idle-from-host-idle\n"
        "                   also call effEditIdle from inside the plug-in's audioMasterIdle, as some\n"
        "                   hosts do (default: only from the idle loop; VST 2.x only)\n"
        "  --animate NAME   move the parameter NAME before every idle (default: none)\n"
        "  --no-open        the window and idle loop without opening the editor, the host alone\n"
        "                   (default: open it)\n"
#if defined(_WIN32)
        "  --snapshot FILE  write the editor's pixels to FILE (binary PPM) before closing it (default: "
        "none)\n"
#else
        "  --cpu            print the process's CPU time per second of wall time at the end (default: off)\n"
#endif
        "  --edits          print every edit's begin and end, with its parameter, once closed (default: "
        "off)\n"
        "  --parameters     print the parameters once the window has closed (default: off)\n");
#endif
    std::fprintf(
        to,
        "  -h, --help       this text\n"
        "exit status: 0 done, 1 the module, its editor or the display failed, 2 a bad command line,\n"
        "130 interrupted by Ctrl+C (the editor closed and --parameters printed first)\n"
        "examples:\n"
        "  flanger-host --info build/BrackwaterFlanger.so\n"
#if FLANGER_HOST_EDITOR
#if defined(_WIN32)
        "  flanger-host --editor BrackwaterFlanger.dll --seconds 5 --snapshot editor.ppm --parameters\n"
        "  flanger-host --render BrackwaterFlanger.dll in.f32 out.f32 --program 4\n"
#else
        "  flanger-host --editor build/BrackwaterFlanger.so --idle-ms 66 --parameters\n"
        "  flanger-host --render build/vst3/BrackwaterFlanger.vst3 in.f32 out.f32 --program 4\n"
        "  flanger-host --info build/clap/BrackwaterFlanger.clap\n"
#endif
#endif
    );
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (flanger::tools::isHelpOption(mode)) return commandLine.help();
    if (mode != "--info" && mode != "--editor" && mode != "--render") {
        if (mode.empty()) return commandLine.refuse("say --info, --editor or --render, and the module");
        if (flanger::tools::looksLikeOption(mode)) return commandLine.unknownOption(mode);
        return commandLine.refuse("say --info, --editor or --render before the module (" + mode + ")");
    }
    if (argc < 3) return commandLine.refuse(mode + " needs the module");
    const std::string module = argv[2];
    if (flanger::tools::isHelpOption(module)) return commandLine.help();
    if (flanger::tools::looksLikeOption(module)) return commandLine.refuse(mode + " needs the module first");
    if (mode == "--info") {
        for (int i = 3; i < argc; ++i) {
            const std::string extra = argv[i];
            if (flanger::tools::isHelpOption(extra)) return commandLine.help();
            if (flanger::tools::looksLikeOption(extra)) return commandLine.unknownOption(extra);
            return commandLine.refuse("one module at a time (" + extra + ")");
        }
        if (flanger::tools::ClapModule::isClapFile(module)) return printClapInfo(module);
        return flanger::tools::Vst3Module::isBundle(module) ? printVst3Info(module) : printInfo(module);
    }
    if (mode == "--render") {
        if (argc < 5) return commandLine.refuse("--render needs the module, IN.f32 and OUT.f32");
        RenderArguments render;
        render.input = argv[3];
        render.output = argv[4];
        if (const auto stop = parseRenderArguments(argc, argv, 5, render)) return *stop;
        if (flanger::tools::ClapModule::isClapFile(module)) return renderClap(module, render);
        return flanger::tools::Vst3Module::isBundle(module) ? renderVst3(module, render)
                                                            : renderRaw(module, render);
    }
#if FLANGER_HOST_EDITOR
    EditorArguments editor;
    if (const auto stop = parseEditorArguments(argc, argv, 3, editor)) return *stop;
    if (flanger::tools::ClapModule::isClapFile(module)) return showClapEditor(module, editor);
    return flanger::tools::Vst3Module::isBundle(module) ? showVst3Editor(module, editor)
                                                        : showEditor(module, editor);
#else
    return commandLine.refuse("this build has no editor window (--editor)");
#endif
}
