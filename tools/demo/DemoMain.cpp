// flanger-demo: writes the generated demo signal and its renders through every program of
// the plug-in (the flanger's eight factory programs by default) into one folder.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "tools/common/CommandLine.h"
#include "tools/demo/DemoSignal.h"
#include "tools/render/Render.h"

namespace {

using namespace flanger::tools;

std::string slug(const std::string& name) {
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u))
            out += static_cast<char>(std::tolower(u));
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out.empty() ? "program" : out;
}

double decibels(double linear) {
    return linear > 0.0 ? 20.0 * std::log10(linear) : -999.0;
}

struct Levels {
    double peak = 0.0;
    double rms = 0.0;
};

Levels measure(const std::vector<float>& left, const std::vector<float>& right) {
    Levels l;
    double sum = 0.0;
    for (size_t i = 0; i < left.size(); ++i) {
        l.peak = std::max({l.peak, std::fabs(double{left[i]}), std::fabs(double{right[i]})});
        sum += double{left[i]} * left[i] + double{right[i]} * right[i];
    }
    l.rms = left.empty() ? 0.0 : std::sqrt(sum / (2.0 * static_cast<double>(left.size())));
    return l;
}

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: flanger-demo [--plugin PATH] [--out DIR]\n"
                 "Writes the generated demo signal (dry.wav) and its render through every program of the\n"
                 "plug-in (N-NAME.wav) into DIR, with each file's peak, loudness and change.\n"
                 "  --plugin PATH   the VST 2.x module (default: the flanger module of this build tree)\n"
                 "  --out DIR       the folder, made when missing (default: out/demo)\n"
                 "  -h, --help      this text\n"
                 "examples:\n"
                 "  flanger-demo\n"
                 "  flanger-demo --plugin build/BrackwaterFlanger.so --out /tmp/demo\n");
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine commandLine("flanger-demo", usage);
    std::string pluginPath = defaultPluginPath();
    std::string folder = "out/demo";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" || arg == "--out") {
            if (i + 1 >= argc) return commandLine.missingValue(arg);
            (arg == "--plugin" ? pluginPath : folder) = argv[++i];
        } else if (isHelpOption(arg)) {
            return commandLine.help();
        } else if (looksLikeOption(arg)) {
            return commandLine.unknownOption(arg);
        } else {
            return commandLine.refuse("unexpected argument " + arg + " (the folder goes after --out)");
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "flanger-demo: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }

    const StereoSignal dry = makeDemoSignal();
    const double seconds = static_cast<double>(dry.left.size()) / dry.sampleRate;
    std::string error;
    const std::string dryPath = (std::filesystem::path(folder) / "dry.wav").string();
    if (!writeStereoWav(dryPath, dry.left, dry.right, dry.sampleRate, &error)) {
        std::fprintf(stderr, "flanger-demo: %s\n", error.c_str());
        return 1;
    }
    const Levels dryLevels = measure(dry.left, dry.right);
    std::printf("dry            %-34s peak %6.1f dBFS  rms %6.1f dBFS  %.1f s\n", dryPath.c_str(),
                decibels(dryLevels.peak), decibels(dryLevels.rms), seconds);

    HostOptions options;
    options.sampleRate = static_cast<float>(dry.sampleRate);
    options.blockSize = kAnnouncedBlockSize;
    int32_t programs = 1;
    for (int32_t p = 0; p < programs; ++p) {
        // A fresh instance per program, so every render starts from the same state.
        auto plugin = PluginInstance::load(pluginPath, options, &error);
        if (!plugin) {
            std::fprintf(stderr, "flanger-demo: the plug-in does not load: %s\n", error.c_str());
            return 1;
        }
        programs = std::max(plugin->programCount(), 1);
        plugin->answers().setTempo(kDemoTempoBpm);
        prepareForRender(*plugin, options.sampleRate, 512);
        plugin->setProgram(p);
        const std::string name = plugin->programName();
        std::vector<float> left = dry.left;
        std::vector<float> right = dry.right;
        const auto started = std::chrono::steady_clock::now();
        plugin->resume();
        preroll(*plugin);
        StereoRenderer renderer(*plugin, 512);
        renderer.process(left.data(), right.data(), left.data(), right.data(),
                         static_cast<int64_t>(left.size()));
        plugin->suspend();
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        plugin->close();

        char leaf[128];
        std::snprintf(leaf, sizeof leaf, "%d-%s.wav", p, slug(name).c_str());
        const std::string path = (std::filesystem::path(folder) / leaf).string();
        if (!writeStereoWav(path, left, right, dry.sampleRate, &error)) {
            std::fprintf(stderr, "flanger-demo: %s\n", error.c_str());
            return 1;
        }
        std::vector<float> changeL(left.size()), changeR(left.size());
        for (size_t i = 0; i < left.size(); ++i) {
            changeL[i] = left[i] - dry.left[i];
            changeR[i] = right[i] - dry.right[i];
        }
        const Levels levels = measure(left, right);
        const Levels change = measure(changeL, changeR);
        std::printf(
            "%d %-12s %-34s peak %6.1f dBFS  rms %6.1f dBFS  change %6.1f dB  %.3f s (%.0fx real time)\n", p,
            name.c_str(), path.c_str(), decibels(levels.peak), decibels(levels.rms),
            decibels(change.rms) - decibels(dryLevels.rms), took, took > 0.0 ? seconds / took : 0.0);
    }
    return 0;
}
